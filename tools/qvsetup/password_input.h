// Where qvsetup takes the master password from when it is not on the command
// line: a terminal prompt that does not echo, a file, or standard input. The
// command line is visible to every user of the machine (ps) and is kept in
// the shell's history; these are not.
#pragma once

#include <istream>
#include <optional>
#include <ostream>
#include <string>

namespace qv::setup {

// The first line of `source` without its line end: `source` is a file name,
// or "-" for `in`. Raises qv::Exception naming the file and `what` (the
// password it was to hold) when it cannot be read or is empty, and when
// somebody else may have planted or read it: a symbolic link, or a regular
// file of another user or open to group or others (chmod 600 is expected).
std::string ReadPasswordFrom(const std::string& source, std::istream& in,
                             const std::string& what = "master password");

// Asks for the password twice on the terminal, echo switched off, writing the
// prompts ("<What>: ", "<What> again: ") to `prompt`. Returns nothing when
// standard input is not a terminal. Raises qv::Exception when the two
// entries differ.
std::optional<std::string> PromptPassword(std::ostream& prompt, const std::string& what = "Master password");

}  // namespace qv::setup
