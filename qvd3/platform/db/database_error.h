// EDatabaseError: every failure of the data-access layer. It carries the
// engine's message and a list of error codes, most general first, so callers
// can test for a kind of failure without knowing which engine ran.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "qvd3/platform/sys/exception.h"

namespace qv {

// A unique or primary-key violation. On either engine such an error reports
// this code first, followed by the engine's own code.
inline constexpr int kKeyViolation = 0x2601;
// The connection to a database server was lost (the server stopped or
// restarted, the network failed): reported first, so callers can tell it
// from an error of the statement itself. The connection is opened again by
// the next statement; a transaction that was active is lost with it.
inline constexpr int kConnectionLost = 0x0806;

class EDatabaseError : public Exception {
 public:
  explicit EDatabaseError(const std::string& message, std::vector<int> codes = {})
      : Exception(message), codes_(std::move(codes)) {}

  // The codes, most general first; empty for errors of the layer itself
  // (an unknown field, a dataset in the wrong state).
  const std::vector<int>& Codes() const { return codes_; }

  // The first code, or 0 when there is none.
  int FirstCode() const { return codes_.empty() ? 0 : codes_.front(); }

  bool IsKeyViolation() const { return FirstCode() == kKeyViolation; }
  bool IsConnectionLost() const { return FirstCode() == kConnectionLost; }

 private:
  std::vector<int> codes_;
};

}  // namespace qv
