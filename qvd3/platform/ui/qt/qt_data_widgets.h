// The Qt faces of the lookup list, the record navigator and the date
// picker. Internal to the Qt backend.
//
// Qt keeps the lookup list's drop-down and the picker's calendar and text
// (they are separate windows or need Qt's own editing); what the person
// picks there reaches the model through the callback given at creation,
// as the model's ChooseByPerson / ChangeByPerson.
#pragma once

#include <QComboBox>
#include <QDateEdit>
#include <QWidget>
#include <functional>
#include <vector>

#include "qvd3/platform/db/value.h"
#include "qvd3/platform/ui/data_controls.h"
#include "qvd3/platform/ui/date_picker.h"

class QToolButton;

namespace qv::qt_detail {

// Runs a person's action in the model (errors go to the application's
// error display, the showing's end is looked at afterwards).
using Deliverer = std::function<void(const std::function<void()>&)>;

class LookupWidget : public QComboBox {
 public:
  LookupWidget(TDBLookupComboBox& box, QWidget* parent, Deliverer deliver);
  // Lists the list source's rows again when they changed and shows the
  // model's choice.
  void Refresh();

 private:
  TDBLookupComboBox& box_;
  std::vector<qv::Value> keys_;
  std::vector<QString> texts_;
};

class NavigatorWidget : public QWidget {
 public:
  explicit NavigatorWidget(TDBNavigator& navigator, QWidget* parent);
  // Shows the visible buttons, enabled as the dataset's state allows.
  void Refresh();
  // The button under `pos` (in this widget's coordinates), or -1.
  int ButtonAt(QPoint pos) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Place();
  TDBNavigator& navigator_;
  std::vector<QToolButton*> buttons_;
};

class DatePickerWidget : public QDateEdit {
 public:
  DatePickerWidget(TDateTimePicker& picker, QWidget* parent, Deliverer deliver);
  // Shows the model's date in the process's short date format.
  void Refresh();

 private:
  TDateTimePicker& picker_;
};

// Qt's date display format for a short date pattern ("dd/mm/yyyy" gives
// "dd/MM/yyyy").
QString QtDateFormat(const std::string& pattern);

}  // namespace qv::qt_detail
