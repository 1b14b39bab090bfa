// The basic types the controls share: colours in the program's stored form, the scroll-bar
// style, the mouse buttons and the set of modifier keys (and held buttons) of a key or mouse event.
#pragma once

#include <cstdint>

// A colour as the program stores it: 0x00BBGGRR, or a system colour (0xFF000000 plus the
// system colour index), or one of the special values below.
using TColor = std::int32_t;

constexpr TColor SystemColor(int index) { return static_cast<TColor>(0xFF000000u | unsigned(index)); }
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clGray = 0x808080;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clNavy = 0x800000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clWindow = SystemColor(5);
constexpr TColor clWindowText = SystemColor(8);
constexpr TColor clHighlight = SystemColor(13);
constexpr TColor clHighlightText = SystemColor(14);
constexpr TColor clBtnFace = SystemColor(15);
constexpr TColor clBtnShadow = SystemColor(16);
constexpr TColor clGrayText = SystemColor(17);
constexpr TColor clBtnText = SystemColor(18);
constexpr TColor clBtnHighlight = SystemColor(20);
constexpr TColor clInfoText = SystemColor(23);
constexpr TColor clInfoBk = SystemColor(24);

// A colour read from the settings file, where a system colour is 0x80000000 plus its index
// ("80000005" is the window colour), in the form above.
constexpr TColor ColorFromSettings(std::int32_t stored) {
  const auto u = static_cast<std::uint32_t>(stored);
  return (u & 0xFF000000u) == 0x80000000u ? SystemColor(static_cast<int>(u & 0xFF)) : stored;
}

// Which scroll bars a control shows.
enum TScrollStyle : std::uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };

// ---- mouse buttons and shift states ------------------------------------------------------

enum TMouseButton : std::uint8_t { mbLeft, mbRight, mbMiddle };

// A set of the modifier keys (and, for mouse events, the buttons held).
using TShiftState = std::uint8_t;
constexpr TShiftState ssShift = 0x01;
constexpr TShiftState ssAlt = 0x02;
constexpr TShiftState ssCtrl = 0x04;
constexpr TShiftState ssLeft = 0x08;
constexpr TShiftState ssRight = 0x10;
constexpr TShiftState ssMiddle = 0x20;
constexpr TShiftState ssDouble = 0x40;
constexpr TShiftState ssModifierKeys = ssShift | ssAlt | ssCtrl;
