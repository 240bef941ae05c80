#include "qvd3/platform/ui/pages.h"

#include <algorithm>

#include "qvd3/platform/ui/form.h"

namespace qv {

TTabSheet::~TTabSheet() {
  if (page_control_ != nullptr) page_control_->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* control) {
  if (control == page_control_) return;
  if (page_control_ != nullptr) page_control_->RemovePage(this);
  if (control != nullptr) control->InsertPage(this);
}

int TTabSheet::PageIndex() const {
  if (page_control_ == nullptr) return -1;
  auto& pages = page_control_->pages_;
  return static_cast<int>(std::find(pages.begin(), pages.end(), this) - pages.begin());
}

void TTabSheet::SetPageIndex(int index) {
  if (page_control_ == nullptr) return;
  auto& pages = page_control_->pages_;
  index = std::clamp(index, 0, static_cast<int>(pages.size()) - 1);
  pages.erase(pages.begin() + PageIndex());
  pages.insert(pages.begin() + index, this);
  page_control_->NotifyPeer(chItems);
}

TPageControl::TPageControl(TComponent* owner) : TWinControl(owner) { SetTabStop(true); }

TPageControl::~TPageControl() {
  for (TTabSheet* page : pages_) page->page_control_ = nullptr;
}

void TPageControl::SetTabHeight(int v) {
  tab_height_ = v < 0 ? 0 : v;
  NotifyPeer(chAppearance);
  Realign();
}

TTabSheet* TPageControl::Pages(int index) const {
  if (index < 0 || index >= PageCount())
    throw ERangeError("Page index out of bounds (" + std::to_string(index) + ")");
  return pages_[static_cast<std::size_t>(index)];
}

void TPageControl::InsertPage(TTabSheet* page) {
  pages_.push_back(page);
  page->page_control_ = this;
  page->SetParent(this);
  page->SetAlign(alClient);
  page->SetVisible(active_ == nullptr);
  if (active_ == nullptr) active_ = page;
  NotifyPeer(chItems);
}

void TPageControl::RemovePage(TTabSheet* page) {
  pages_.erase(std::remove(pages_.begin(), pages_.end(), page), pages_.end());
  page->page_control_ = nullptr;
  if (active_ == page) {
    active_ = nullptr;
    if (!pages_.empty() && !Destroying()) SetActivePage(pages_.front());
  }
  NotifyPeer(chItems);
}

int TPageControl::ActivePageIndex() const { return active_ == nullptr ? -1 : active_->PageIndex(); }

void TPageControl::SetActivePageIndex(int index) { SetActivePage(index < 0 ? nullptr : Pages(index)); }

// Switches pages as the framework does: a focus inside the old page first
// moves to the page control (so the old page's controls get OnExit; a
// handler that keeps the focus there keeps the page too), then the new page
// shows and, when the focus had been on the old page, its first control
// takes the focus.
void TPageControl::SetActivePage(TTabSheet* page) {
  if (page == active_) return;
  if (page != nullptr && page->page_control_ != this)
    throw EInvalidOperation("The page does not belong to this page control");
  TForm* form = ParentForm();
  bool focusWasOnOldPage = false;
  if (form != nullptr && form->Showing() && active_ != nullptr && active_->ContainsControl(form->ActiveControl())) {
    focusWasOnOldPage = true;
    if (CanFocus()) SetFocus(); else form->SetActiveControl(nullptr);
    if (active_->ContainsControl(form->ActiveControl())) return;
  }
  TTabSheet* old = active_;
  active_ = page;
  if (page != nullptr) page->SetVisible(true);
  if (old != nullptr) old->SetVisible(false);
  NotifyPeer(chActivePage);
  if (focusWasOnOldPage && page != nullptr && form->ActiveControl() == this) {
    std::vector<TControl*> inner = page->TabOrderList();
    for (TControl* c : inner)
      if (c->CanFocus() && c->TabStop()) {
        c->SetFocus();
        break;
      }
  }
}

void TPageControl::SelectPageByPerson(TTabSheet* page) {
  if (page == nullptr || page->page_control_ != this || !page->Enabled() || !page->TabVisible()) return;
  if (!FocusForPerson()) return;
  if (page == active_) return;
  bool allow = true;
  if (OnChanging) OnChanging(*this, allow);
  if (!allow) return;
  SetActivePage(page);
  if (active_ == page && OnChange) OnChange(*this);
}

void TPageControl::DoKeyDown(Word& key, TShiftState shift) {
  if (key != VK_TAB || !shift.Contains(ssCtrl) || pages_.empty()) return;
  key = 0;
  const int n = PageCount();
  int i = std::max(ActivePageIndex(), 0);
  for (int step = 0; step < n; ++step) {
    i = shift.Contains(ssShift) ? (i + n - 1) % n : (i + 1) % n;
    TTabSheet* candidate = pages_[static_cast<std::size_t>(i)];
    if (candidate->Enabled() && candidate->TabVisible()) {
      SelectPageByPerson(candidate);
      return;
    }
  }
}

bool TPageControl::DoAccelerator(char32_t upper) {
  for (TTabSheet* page : pages_)
    if (page->TabVisible() && page->Enabled() && GetHotkey(page->Caption()) == upper) {
      SelectPageByPerson(page);
      return true;
    }
  return false;
}

}  // namespace qv
