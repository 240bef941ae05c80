// Translation of Qt key events into the window model's key codes, so that
// what the person types reaches TForm::KeyDown / KeyPress exactly as the
// model expects it.
#pragma once

#include <QKeyEvent>
#include <string>

#include "qvd3/platform/ui/types.h"

namespace qv::qt_detail {

// The model's key code and shift state for a Qt key and its modifiers.
// Returns false for keys the model has no code for (punctuation, media
// keys...); those reach the model only as typed characters.
bool TranslateKey(int qtKey, Qt::KeyboardModifiers modifiers, Word& key, TShiftState& shift);

// The characters the key event types, as the model's KeyPress receives
// them: nothing for control characters or while Ctrl or Alt is held.
std::u32string TypedCharacters(const QKeyEvent& event);

}  // namespace qv::qt_detail
