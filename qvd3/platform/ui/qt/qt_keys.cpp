#include "qvd3/platform/ui/qt/qt_keys.h"

namespace qv::qt_detail {

bool TranslateKey(int qtKey, Qt::KeyboardModifiers modifiers, Word& key, TShiftState& shift) {
  shift = {};
  if (modifiers & Qt::ShiftModifier) shift.Include(ssShift);
  if (modifiers & Qt::AltModifier) shift.Include(ssAlt);
  if (modifiers & Qt::ControlModifier) shift.Include(ssCtrl);
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
    key = static_cast<Word>('A' + (qtKey - Qt::Key_A));
    return true;
  }
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
    key = static_cast<Word>('0' + (qtKey - Qt::Key_0));
    return true;
  }
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
    key = static_cast<Word>(VK_F1 + (qtKey - Qt::Key_F1));
    return true;
  }
  switch (qtKey) {
    case Qt::Key_Backtab:
      // Qt reports Shift+Tab as its own key; the model sees Tab with Shift.
      shift.Include(ssShift);
      key = VK_TAB;
      return true;
    case Qt::Key_Tab: key = VK_TAB; return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: key = VK_RETURN; return true;
    case Qt::Key_Escape: key = VK_ESCAPE; return true;
    case Qt::Key_Backspace: key = VK_BACK; return true;
    case Qt::Key_Delete: key = VK_DELETE; return true;
    case Qt::Key_Insert: key = VK_INSERT; return true;
    case Qt::Key_Space: key = VK_SPACE; return true;
    case Qt::Key_Home: key = VK_HOME; return true;
    case Qt::Key_End: key = VK_END; return true;
    case Qt::Key_Left: key = VK_LEFT; return true;
    case Qt::Key_Right: key = VK_RIGHT; return true;
    case Qt::Key_Up: key = VK_UP; return true;
    case Qt::Key_Down: key = VK_DOWN; return true;
    case Qt::Key_PageUp: key = VK_PRIOR; return true;
    case Qt::Key_PageDown: key = VK_NEXT; return true;
    case Qt::Key_Shift: key = VK_SHIFT; return true;
    case Qt::Key_Control: key = VK_CONTROL; return true;
    case Qt::Key_Alt: key = VK_MENU; return true;
    default: return false;
  }
}

std::u32string TypedCharacters(const QKeyEvent& event) {
  if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return {};
  std::u32string out;
  for (char32_t ch : event.text().toUcs4())
    if (ch >= 32 && ch != 127) out.push_back(ch);
  return out;
}

}  // namespace qv::qt_detail
