#include "qvd3/platform/sys/replacement_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "qvd3/platform/sys/exception.h"

namespace qv {

mode_t ModeOfFileOr(const std::filesystem::path& file, mode_t fallback) {
  struct stat present {};
  return ::stat(file.c_str(), &present) == 0 ? (present.st_mode & 07777) : fallback;
}

TReplacementFile::TReplacementFile(const std::filesystem::path& file, mode_t mode) : file_(file) {
  const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  std::string pattern = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
  fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) Fail("cannot create a temporary file beside it", errno);
  temp_ = pattern;
  if (::fchmod(fd_, mode) != 0) Fail("cannot set the mode of the temporary file", errno);
  setp(buffer_, buffer_ + sizeof buffer_);
}

TReplacementFile::~TReplacementFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

void TReplacementFile::Commit() {
  if (!Drain()) Fail("cannot write the temporary file", errno);
  if (::fsync(fd_) != 0) Fail("cannot flush the temporary file", errno);
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0) Fail("cannot close the temporary file", errno);
  if (::rename(temp_.c_str(), file_.c_str()) != 0) Fail("cannot replace it", errno);
  temp_.clear();
}

TReplacementFile::int_type TReplacementFile::overflow(int_type c) {
  if (!Drain()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) sputc(traits_type::to_char_type(c));
  return traits_type::not_eof(c);
}

int TReplacementFile::sync() { return Drain() ? 0 : -1; }

bool TReplacementFile::Drain() {
  if (fd_ < 0) return false;
  for (char* at = pbase(); at < pptr();) {
    const ssize_t n = ::write(fd_, at, static_cast<std::size_t>(pptr() - at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
  }
  setp(buffer_, buffer_ + sizeof buffer_);
  return true;
}

void TReplacementFile::Fail(const char* what, int error) const {
  throw Exception(file_.string() + ": " + what + (error ? std::string(" (") + std::strerror(error) + ")" : ""));
}

}  // namespace qv
