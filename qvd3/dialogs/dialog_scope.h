// A dialog for the length of one use: created without an owner, published in
// its global (uLogin, uMudaPwd) while it exists, and freed, the global
// cleared first, when the scope ends, also when an error leaves it.
#pragma once

#include <memory>

namespace qv {

template <class Dialog>
class DialogScope {
 public:
  explicit DialogScope(Dialog*& global) : global_(global), dialog_(std::make_unique<Dialog>(nullptr)) {
    global_ = dialog_.get();
  }
  ~DialogScope() {
    global_ = nullptr;
    dialog_.reset();
  }
  DialogScope(const DialogScope&) = delete;
  DialogScope& operator=(const DialogScope&) = delete;

  Dialog& operator*() const { return *dialog_; }
  Dialog* operator->() const { return dialog_.get(); }

 private:
  Dialog*& global_;
  std::unique_ptr<Dialog> dialog_;
};

}  // namespace qv
