// Keeps the library non-empty while its layers are being filled in.
