// Small checks shared by the dialog tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qvd3/platform/ui/form.h"

namespace qv::testing {

// The name of the control holding the focus, "(none)" when none does.
inline std::string FocusedName(const TForm& form) {
  return form.ActiveControl() != nullptr ? form.ActiveControl()->Name() : std::string("(none)");
}

inline std::vector<std::string> TabOrderNames(const TForm& form) {
  std::vector<std::string> names;
  for (TControl* c : form.TabOrderList()) names.push_back(c->Name());
  return names;
}

// A backend draws what the model holds: every control placed on `panel`
// needs a size and must lie wholly inside it.
inline void ExpectControlsFitIn(const TWinControl& panel) {
  for (int i = 0; i < panel.ControlCount(); ++i) {
    const TControl* c = panel.Controls(i);
    SCOPED_TRACE(c->Name());
    EXPECT_GT(c->Width(), 0);
    EXPECT_GT(c->Height(), 0);
    EXPECT_GE(c->Left(), 0);
    EXPECT_GE(c->Top(), 0);
    EXPECT_LE(c->Left() + c->Width(), panel.Width());
    EXPECT_LE(c->Top() + c->Height(), panel.Height());
  }
}

}  // namespace qv::testing
