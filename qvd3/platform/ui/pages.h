// Page controls: a set of tab sheets of which one, the active page, is
// shown. Controls on other pages are hidden and cannot take the focus.
#pragma once

#include <functional>

#include "qvd3/platform/ui/controls.h"

namespace qv {

class TPageControl;

// One page. Its Caption is the tab's text; its children are the page's
// controls. Give it a page control with SetPageControl (not SetParent).
class TTabSheet : public TWinControl {
 public:
  explicit TTabSheet(TComponent* owner) : TWinControl(owner) {}
  ~TTabSheet() override;
  TPageControl* PageControl() const { return page_control_; }
  // Appends the sheet to `control`'s pages (nullptr removes it).
  void SetPageControl(TPageControl* control);
  // The sheet's position among its page control's pages, or -1.
  int PageIndex() const;
  void SetPageIndex(int index);
  // A sheet without a visible tab cannot be chosen by the person.
  bool TabVisible() const { return tab_visible_; }
  void SetTabVisible(bool v) { tab_visible_ = v; NotifyPeer(chVisible); }

 private:
  friend class TPageControl;
  TPageControl* page_control_ = nullptr;
  bool tab_visible_ = true;
};

using TTabChangingEvent = std::function<void(TObject& sender, bool& allowChange)>;

class TPageControl : public TWinControl {
 public:
  explicit TPageControl(TComponent* owner);
  ~TPageControl() override;

  int PageCount() const { return static_cast<int>(pages_.size()); }
  // Raises ERangeError outside 0..PageCount-1.
  TTabSheet* Pages(int index) const;

  // Setting the active page by code raises neither OnChanging nor OnChange.
  // If the focus was on the old page, it moves to the page control (so the
  // old page's controls see OnExit), and then to the first control of the
  // new page when that page has one. The first page added becomes active.
  TTabSheet* ActivePage() const { return active_; }
  void SetActivePage(TTabSheet* page);
  int ActivePageIndex() const;
  void SetActivePageIndex(int index);

  // The person is about to switch pages; allowChange false keeps the page.
  TTabChangingEvent OnChanging;
  // The person switched pages (never raised by SetActivePage).
  TNotifyEvent OnChange;

  // The person clicked the tab of `page`: the page control takes the focus,
  // OnChanging may refuse, the page becomes active and OnChange runs.
  // Ignored for a disabled page, a hidden tab or an unusable page control.
  void SelectPageByPerson(TTabSheet* page);

  bool AcceptsFocus() const override { return true; }

  // Height of the tab strip in pixels. The sheets fill the area below it,
  // inside a frame of kPageFrame pixels, so nothing on a sheet lies under
  // the strip (a backend draws its strip at this height).
  static constexpr int kPageFrame = 2;
  int TabHeight() const { return tab_height_; }
  void SetTabHeight(int v);

 protected:
  int FrameWidth() const override { return kPageFrame; }
  int TopInset() const override { return tab_height_; }
  // Ctrl+Tab and Ctrl+Shift+Tab switch pages, as a person's switch.
  void DoKeyDown(Word& key, TShiftState shift) override;
  bool DoAccelerator(char32_t upper) override;

 private:
  friend class TTabSheet;
  void InsertPage(TTabSheet* page);
  void RemovePage(TTabSheet* page);
  std::vector<TTabSheet*> pages_;
  TTabSheet* active_ = nullptr;
  int tab_height_ = 20;
};

}  // namespace qv
