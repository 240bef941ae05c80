// A file replaced whole, so that no reader ever sees half of it and nothing
// but the file itself changes:
//
//   TReplacementFile file(path, ModeOfFileOr(path, 0600));
//   std::ostream out(&file);
//   out << ...;
//   file.Commit();   // without it (an error on the way) the file stays as it was
//
// The text goes into a temporary file created exclusively in the file's
// folder under a random name (never an existing file, never a link someone
// planted), with the mode given, and replaces the file only at Commit,
// flushed to disk first. A replacement destroyed without Commit removes its
// temporary file. Errors are qv::Exception naming the file.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <streambuf>

namespace qv {

// The permission bits of `file`, or `fallback` when it does not exist.
mode_t ModeOfFileOr(const std::filesystem::path& file, mode_t fallback);

class TReplacementFile : public std::streambuf {
 public:
  TReplacementFile(const std::filesystem::path& file, mode_t mode);
  ~TReplacementFile() override;
  TReplacementFile(const TReplacementFile&) = delete;
  TReplacementFile& operator=(const TReplacementFile&) = delete;

  // Writes what is buffered, flushes it to disk and renames the temporary
  // file over the file.
  void Commit();

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  bool Drain();
  [[noreturn]] void Fail(const char* what, int error) const;

  std::filesystem::path file_, temp_;
  int fd_ = -1;
  char buffer_[1 << 16];
};

}  // namespace qv
