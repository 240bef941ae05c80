#include "qvd3/platform/ui/qt/qt_person.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>

namespace qv::qt_person {

namespace {

QWidget& KeyTarget(QWidget& window) {
  QWidget* focus = window.focusWidget();
  return focus != nullptr ? *focus : window;
}

}  // namespace

void PressKey(QWidget& window, int qtKey, Qt::KeyboardModifiers modifiers, const QString& text) {
  // The window may go away while the key is handled (a dialog that ends).
  QPointer<QWidget> target = &KeyTarget(window);
  QKeyEvent override(QEvent::ShortcutOverride, qtKey, modifiers, text);
  QApplication::sendEvent(target, &override);
  QKeyEvent press(QEvent::KeyPress, qtKey, modifiers, text);
  QApplication::sendEvent(target, &press);
  if (!target) return;
  QKeyEvent release(QEvent::KeyRelease, qtKey, modifiers, text);
  QApplication::sendEvent(target, &release);
}

void TypeText(QWidget& window, const QString& text) {
  QPointer<QWidget> guard = &window;
  for (QChar ch : text) {
    if (!guard) return;
    const char16_t upper = ch.toUpper().unicode();
    int key = Qt::Key_unknown;
    if (upper >= 'A' && upper <= 'Z') key = Qt::Key_A + (upper - 'A');
    else if (upper >= '0' && upper <= '9') key = Qt::Key_0 + (upper - '0');
    else if (upper == ' ') key = Qt::Key_Space;
    PressKey(window, key, ch.isUpper() ? Qt::ShiftModifier : Qt::NoModifier, QString(ch));
  }
}

void Click(QWidget& widget, int x, int y) {
  const QPointF local(x >= 0 ? x : widget.width() / 2, y >= 0 ? y : widget.height() / 2);
  const QPointF global = widget.mapToGlobal(local);
  QPointer<QWidget> target = &widget;
  QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
  if (!target) return;
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(target, &release);
}

void Choose(QAction& action) { action.trigger(); }

bool AnswerMessage(QMessageBox& box, const QString& buttonText) {
  for (QAbstractButton* button : box.buttons())
    if (button->text() == buttonText) {
      button->click();
      return true;
    }
  return false;
}

}  // namespace qv::qt_person
