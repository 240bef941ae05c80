// A date box with a drop-down calendar. It holds a date only (no time).
#pragma once

#include "qvd3/platform/sys/date_time.h"
#include "qvd3/platform/ui/controls.h"

namespace qv {

class TDateTimePicker : public TControl {
 public:
  explicit TDateTimePicker(TComponent* owner);
  // The date, always without time of day. Setting it by code does not run
  // OnChange. Starts as today.
  TDateTime Date() const { return date_; }
  void SetDate(TDateTime date);
  // The person changed the date (typed or picked from the calendar).
  TNotifyEvent OnChange;
  // The person chose `date`: focus, store, OnChange when it differs.
  void ChangeByPerson(TDateTime date);
  bool AcceptsFocus() const override { return true; }

 protected:
  virtual void DateChanged();

 private:
  TDateTime date_;
};

}  // namespace qv
