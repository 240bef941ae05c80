// Small value types shared by the window model: sets of flags, key codes,
// shift states, modal results, alignment, cursors and colours.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace qv {

// A set of values of a small enumeration (at most 32 members), used for the
// framework's flag sets: shift state, border icons, message buttons...
template <class E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> values) {
    for (E v : values) bits_ |= Bit(v);
  }
  constexpr bool Contains(E v) const { return (bits_ & Bit(v)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr TSet& Include(E v) { bits_ |= Bit(v); return *this; }
  constexpr TSet& Exclude(E v) { bits_ &= ~Bit(v); return *this; }
  constexpr std::uint32_t Bits() const { return bits_; }
  friend constexpr TSet operator|(TSet a, TSet b) { a.bits_ |= b.bits_; return a; }
  friend constexpr bool operator==(TSet a, TSet b) = default;

 private:
  static constexpr std::uint32_t Bit(E v) { return std::uint32_t{1} << static_cast<unsigned>(v); }
  std::uint32_t bits_ = 0;
};

using Word = std::uint16_t;

// Modifier keys and mouse buttons held during a key or mouse event.
enum TShiftStateFlag { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateFlag>;

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// Key codes of KeyDown. Letters and digits use their upper-case character
// code ('A' is 65, '0' is 48).
constexpr Word VK_BACK = 8;
constexpr Word VK_TAB = 9;
constexpr Word VK_RETURN = 13;
constexpr Word VK_SHIFT = 16;
constexpr Word VK_CONTROL = 17;
constexpr Word VK_MENU = 18;  // the Alt key itself
constexpr Word VK_ESCAPE = 27;
constexpr Word VK_SPACE = 32;
constexpr Word VK_PRIOR = 33;
constexpr Word VK_NEXT = 34;
constexpr Word VK_END = 35;
constexpr Word VK_HOME = 36;
constexpr Word VK_LEFT = 37;
constexpr Word VK_UP = 38;
constexpr Word VK_RIGHT = 39;
constexpr Word VK_DOWN = 40;
constexpr Word VK_INSERT = 45;
constexpr Word VK_DELETE = 46;
constexpr Word VK_F1 = 112;

// Results of a modal showing and of a message box.
using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;
constexpr TModalResult mrAll = 8;
constexpr TModalResult mrNoToAll = 9;
constexpr TModalResult mrYesToAll = 10;

// Where a control places itself inside its parent's client area.
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

// The shapes of the screen cursor.
enum TCursor { crDefault, crArrow, crHourGlass, crSQLWait, crIBeam, crHandPoint };

// Colours: a 0x00BBGGRR value, or one of the negative system colours that a
// backend maps to its own palette.
using TColor = std::int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clGreen = 0x008000;
constexpr TColor clBtnFace = -15;
constexpr TColor clWindow = -5;
constexpr TColor clWindowText = -8;
constexpr TColor clActiveCaption = -2;
constexpr TColor clCaptionText = -9;

}  // namespace qv
