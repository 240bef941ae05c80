#include "tools/qvsetup/password_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <sstream>

#include "qvd3/platform/sys/exception.h"
#include "qvd3/platform/sys/text_case.h"

namespace qv::setup {
namespace {

// Switches the terminal's echo off for its lifetime.
class EchoOff {
 public:
  EchoOff() {
    if (tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  }
  ~EchoOff() {
    if (active_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  termios saved_{};
  bool active_ = false;
};

std::string FirstLine(std::istream& in) {
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string AskOnce(std::ostream& prompt, const std::string& text) {
  prompt << text << std::flush;
  std::string line;
  {
    EchoOff quiet;
    line = FirstLine(std::cin);
  }
  prompt << "\n";
  return line;
}

// Closes a descriptor when it goes.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// The first line of the file `path`, read only when nobody else can have
// planted or read it: the name must not be a symbolic link (a link planted
// in a shared folder would hand over a password its planter knows), and a
// regular file must belong to this user and be closed to group and others.
// Pipes (a named FIFO) are read as they are.
std::string FirstLineOfFile(const std::string& path, const std::string& what) {
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ELOOP)
      throw Exception("the " + what + " file " + path +
                      " is a symbolic link; give the file itself, or - for standard input");
    throw Exception("cannot read the " + what + " file " + path + ": " + std::strerror(errno));
  }
  struct stat info {};
  if (fstat(fd.get(), &info) != 0) throw Exception("cannot read the " + what + " file " + path);
  if (S_ISREG(info.st_mode)) {
    if (info.st_uid != geteuid())
      throw Exception("the " + what + " file " + path + " belongs to another user; nothing was changed");
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0)
      throw Exception("other users of this machine can read or change the " + what + " file " + path +
                      " (chmod 600 it); nothing was changed");
  }
  std::string text;
  char buffer[512];
  for (;;) {
    const ssize_t got = read(fd.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw Exception("cannot read the " + what + " file " + path + ": " + std::strerror(errno));
    if (got == 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
    if (text.find('\n') != std::string::npos) break;
  }
  std::istringstream lines(text);
  return FirstLine(lines);
}

}  // namespace

std::string ReadPasswordFrom(const std::string& source, std::istream& in, const std::string& what) {
  std::string password;
  if (source == "-") {
    password = FirstLine(in);
    if (password.empty()) throw Exception("no " + what + " on standard input");
    return password;
  }
  password = FirstLineOfFile(source, what);
  if (password.empty()) throw Exception("the " + what + " file " + source + " is empty");
  return password;
}

std::optional<std::string> PromptPassword(std::ostream& prompt, const std::string& what) {
  if (!isatty(STDIN_FILENO)) return std::nullopt;
  std::string first = AskOnce(prompt, what + ": ");
  std::string second = AskOnce(prompt, what + " again: ");
  if (first != second) throw Exception("the two entries of the " + AsciiLower(what) + " differ; nothing was changed");
  return first;
}

}  // namespace qv::setup
