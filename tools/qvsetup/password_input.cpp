#include "tools/qvsetup/password_input.h"

#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <iostream>

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

}  // namespace

std::string ReadPasswordFrom(const std::string& source, std::istream& in, const std::string& what) {
  std::string password;
  if (source == "-") {
    password = FirstLine(in);
    if (password.empty()) throw Exception("no " + what + " on standard input");
    return password;
  }
  std::ifstream file(source);
  if (!file) throw Exception("cannot read the " + what + " file " + source);
  password = FirstLine(file);
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
