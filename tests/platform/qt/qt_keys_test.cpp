// The translation of Qt keys into the model's key codes: what decides
// whether Enter, Shift+Tab or Alt+letter mean to the model what they mean
// to the person.
#include <gtest/gtest.h>

#include "qvd3/platform/ui/qt/qt_keys.h"
#include "qvd3/platform/ui/qt/qt_widgets.h"
#include "tests/platform/qt/qt_fixture.h"

namespace qv::test {
namespace {

using qt_detail::TranslateKey;

TEST(QtKeys, TranslatesTheKeysTheModelActsOn) {
  Word key = 0;
  TShiftState shift;
  ASSERT_TRUE(TranslateKey(Qt::Key_Enter, Qt::KeypadModifier, key, shift));
  EXPECT_EQ(key, VK_RETURN);
  EXPECT_TRUE(shift.Empty());
  // Qt's Backtab is the model's Tab with Shift, even without the modifier.
  ASSERT_TRUE(TranslateKey(Qt::Key_Backtab, Qt::NoModifier, key, shift));
  EXPECT_EQ(key, VK_TAB);
  EXPECT_TRUE(shift.Contains(ssShift));
  ASSERT_TRUE(TranslateKey(Qt::Key_S, Qt::AltModifier, key, shift));
  EXPECT_EQ(key, 'S');
  EXPECT_EQ(shift, TShiftState({ssAlt}));
  ASSERT_TRUE(TranslateKey(Qt::Key_7, Qt::ControlModifier | Qt::ShiftModifier, key, shift));
  EXPECT_EQ(key, '7');
  EXPECT_EQ(shift, TShiftState({ssCtrl, ssShift}));
  ASSERT_TRUE(TranslateKey(Qt::Key_F3, Qt::NoModifier, key, shift));
  EXPECT_EQ(key, VK_F1 + 2);
  EXPECT_FALSE(TranslateKey(Qt::Key_Comma, Qt::NoModifier, key, shift));
}

TEST(QtKeys, TypesPrintableTextOnlyWithoutCtrlOrAlt) {
  EXPECT_EQ(qt_detail::TypedCharacters(QKeyEvent(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, "ç")), U"ç");
  EXPECT_EQ(qt_detail::TypedCharacters(QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r")), U"");
  EXPECT_EQ(qt_detail::TypedCharacters(QKeyEvent(QEvent::KeyPress, Qt::Key_S, Qt::AltModifier, "s")), U"");
  EXPECT_EQ(qt_detail::TypedCharacters(QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, "\x01")), U"");
}

TEST(QtKeys, LabelCaptionsUnderlineTheirAcceleratorOnly) {
  EnsureQtApplication();
  EXPECT_EQ(qt_detail::AcceleratorHtml("Digite sua &senha:"), "Digite sua <u>s</u>enha:");
  EXPECT_EQ(qt_detail::AcceleratorHtml("A && B <c>"), "A &amp; B &lt;c&gt;");
  EXPECT_EQ(qt_detail::AcceleratorHtml("&a&b"), "<u>a</u>b");
  EXPECT_EQ(qt_detail::AcceleratorHtml("fim&"), "fim&amp;");
}

}  // namespace
}  // namespace qv::test
