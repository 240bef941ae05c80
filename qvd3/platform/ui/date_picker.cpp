#include "qvd3/platform/ui/date_picker.h"

namespace qv {

TDateTimePicker::TDateTimePicker(TComponent* owner) : TControl(owner), date_(qv::Date()) { SetTabStop(true); }

void TDateTimePicker::SetDate(TDateTime date) {
  date = date.DateOnly();
  if (date == date_) return;
  date_ = date;
  NotifyPeer(chDate);
}

void TDateTimePicker::DateChanged() {
  if (OnChange) OnChange(*this);
}

void TDateTimePicker::ChangeByPerson(TDateTime date) {
  if (!FocusForPerson()) return;
  date = date.DateOnly();
  if (date == date_) return;
  date_ = date;
  NotifyPeer(chDate);
  DateChanged();
}

}  // namespace qv
