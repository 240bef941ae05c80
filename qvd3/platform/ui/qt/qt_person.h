// A stand-in for the person at the keyboard, for unattended runs of real Qt
// windows (smoke tests, the demo's scripted tour, screenshots): synthetic Qt
// events sent to a window exactly where the window system would deliver
// them, so they pass through the backend's routing like real input.
#pragma once

#include <QString>
#include <Qt>

class QWidget;
class QAction;
class QMessageBox;

namespace qv::qt_person {

// Presses and releases a key in `window` (delivered to its focus widget,
// else to the window). `text` is what the key types, if anything.
void PressKey(QWidget& window, int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
              const QString& text = {});
// Types each character of `text` as its own key press.
void TypeText(QWidget& window, const QString& text);
// Presses and releases the left mouse button in the middle of `widget`
// (or at `x`, `y` of it when given).
void Click(QWidget& widget, int x = -1, int y = -1);
// Chooses a menu command the way clicking it in an open menu does.
void Choose(QAction& action);
// Clicks the button of an open message box whose text is `buttonText`
// (as shown, e.g. "OK", "Sim"); returns false when there is none.
bool AnswerMessage(QMessageBox& box, const QString& buttonText);

}  // namespace qv::qt_person
