// Editor commands, key strokes and the default key map of the SQL editor.
#include "components/editor/QmEditKeyCmds.h"

#include <QGuiApplication>
#include <QKeyEvent>

#include <algorithm>
#include <cstdio>

// ---------------------------------------------------------------------------------------
// Commands

const std::vector<TQmEditorCommandEntry> &EditorCommandTable() {
  static const std::vector<TQmEditorCommandEntry> table = {
    {0, "ecNone"},
    {1, "ecLeft"},
    {2, "ecRight"},
    {3, "ecUp"},
    {4, "ecDown"},
    {5, "ecWordLeft"},
    {6, "ecWordRight"},
    {7, "ecLineStart"},
    {8, "ecLineEnd"},
    {9, "ecPageUp"},
    {10, "ecPageDown"},
    {11, "ecPageLeft"},
    {12, "ecPageRight"},
    {13, "ecPageTop"},
    {14, "ecPageBottom"},
    {15, "ecEditorTop"},
    {16, "ecEditorBottom"},
    {17, "ecGotoXY"},
    {101, "ecSelLeft"},
    {102, "ecSelRight"},
    {103, "ecSelUp"},
    {104, "ecSelDown"},
    {105, "ecSelWordLeft"},
    {106, "ecSelWordRight"},
    {107, "ecSelLineStart"},
    {108, "ecSelLineEnd"},
    {109, "ecSelPageUp"},
    {110, "ecSelPageDown"},
    {111, "ecSelPageLeft"},
    {112, "ecSelPageRight"},
    {113, "ecSelPageTop"},
    {114, "ecSelPageBottom"},
    {115, "ecSelEditorTop"},
    {116, "ecSelEditorBottom"},
    {117, "ecSelGotoXY"},
    {198, "ecSelWord"},
    {199, "ecSelectAll"},
    {501, "ecDeleteLastChar"},
    {502, "ecDeleteChar"},
    {503, "ecDeleteWord"},
    {504, "ecDeleteLastWord"},
    {505, "ecDeleteBOL"},
    {506, "ecDeleteEOL"},
    {507, "ecDeleteLine"},
    {508, "ecClearAll"},
    {509, "ecLineBreak"},
    {510, "ecInsertLine"},
    {511, "ecChar"},
    {550, "ecImeStr"},
    {601, "ecUndo"},
    {602, "ecRedo"},
    {603, "ecCut"},
    {201, "ecCopy"},
    {604, "ecPaste"},
    {211, "ecScrollUp"},
    {212, "ecScrollDown"},
    {213, "ecScrollLeft"},
    {214, "ecScrollRight"},
    {221, "ecInsertMode"},
    {222, "ecOverwriteMode"},
    {223, "ecToggleMode"},
    {610, "ecBlockIndent"},
    {611, "ecBlockUnindent"},
    {612, "ecTab"},
    {613, "ecShiftTab"},
    {250, "ecMatchBracket"},
    {251, "ecCommentBlock"},
    {231, "ecNormalSelect"},
    {232, "ecColumnSelect"},
    {233, "ecLineSelect"},
    {650, "ecAutoCompletion"},
    {1001, "ecUserFirst"},
    {490, "ecContextHelp"},
    {301, "ecGotoMarker0"},
    {302, "ecGotoMarker1"},
    {303, "ecGotoMarker2"},
    {304, "ecGotoMarker3"},
    {305, "ecGotoMarker4"},
    {306, "ecGotoMarker5"},
    {307, "ecGotoMarker6"},
    {308, "ecGotoMarker7"},
    {309, "ecGotoMarker8"},
    {310, "ecGotoMarker9"},
    {351, "ecSetMarker0"},
    {352, "ecSetMarker1"},
    {353, "ecSetMarker2"},
    {354, "ecSetMarker3"},
    {355, "ecSetMarker4"},
    {356, "ecSetMarker5"},
    {357, "ecSetMarker6"},
    {358, "ecSetMarker7"},
    {359, "ecSetMarker8"},
    {360, "ecSetMarker9"},
    {620, "ecUpperCase"},
    {621, "ecLowerCase"},
    {622, "ecToggleCase"},
    {623, "ecTitleCase"},
    {625, "ecUpperCaseBlock"},
    {626, "ecLowerCaseBlock"},
    {627, "ecToggleCaseBlock"},
    {630, "ecString"},
  };
  return table;
}

namespace {

bool SameIdent(const std::string &a, const char *b) {
  std::size_t n = 0;
  for (; b[n]; ++n) {
    if (n >= a.size()) return false;
    unsigned char x = static_cast<unsigned char>(a[n]), y = static_cast<unsigned char>(b[n]);
    if (x >= 'a' && x <= 'z') x -= 0x20;
    if (y >= 'a' && y <= 'z') y -= 0x20;
    if (x != y) return false;
  }
  return n == a.size();
}

}  // namespace

std::optional<std::string> EditorCommandToIdent(TQmEditorCommand Command) {
  for (const auto &e : EditorCommandTable())
    if (e.Value == Command) return std::string(e.Name);
  return std::nullopt;
}

std::optional<TQmEditorCommand> IdentToEditorCommand(const std::string &Ident) {
  for (const auto &e : EditorCommandTable())
    if (SameIdent(Ident, e.Name)) return e.Value;
  return std::nullopt;
}

std::string EditorCommandToCodeString(TQmEditorCommand Command) {
  if (auto name = EditorCommandToIdent(Command)) return *name;
  return std::to_string(Command);
}

// ---------------------------------------------------------------------------------------
// Shortcuts

TShortCut ShortCut(std::uint16_t Key, TShiftState Shift) {
  if (Key == 0 || (Key & 0xFF00) != 0) return scNone;
  TShortCut result = Key;
  if (Shift & ssShift) result |= scShift;
  if (Shift & ssCtrl) result |= scCtrl;
  if (Shift & ssAlt) result |= scAlt;
  return result;
}

void ShortCutToKey(TShortCut Value, std::uint16_t &Key, TShiftState &Shift) {
  Key = Value & static_cast<TShortCut>(~(scShift | scCtrl | scAlt));
  Shift = 0;
  if (Value & scShift) Shift |= ssShift;
  if (Value & scCtrl) Shift |= ssCtrl;
  if (Value & scAlt) Shift |= ssAlt;
}

namespace {

std::string KeyName(std::uint16_t key) {
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return std::string(1, char(key));
  if (key >= vk::F1 && key <= vk::F24) return "F" + std::to_string(key - vk::F1 + 1);
  if (key >= vk::Numpad0 && key <= vk::Numpad0 + 9) return "Num " + std::to_string(key - vk::Numpad0);
  switch (key) {
    case vk::Back: return "BkSp";
    case vk::Tab: return "Tab";
    case vk::Return: return "Enter";
    case vk::Escape: return "Esc";
    case vk::Space: return "Space";
    case vk::Prior: return "PgUp";
    case vk::Next: return "PgDn";
    case vk::End: return "End";
    case vk::Home: return "Home";
    case vk::Left: return "Left";
    case vk::Up: return "Up";
    case vk::Right: return "Right";
    case vk::Down: return "Down";
    case vk::Insert: return "Ins";
    case vk::Delete: return "Del";
    case vk::Multiply: return "Num *";
    case vk::Add: return "Num +";
    case vk::Subtract: return "Num -";
    case vk::Decimal: return "Num .";
    case vk::Divide: return "Num /";
    default: break;
  }
  char buf[8];
  std::snprintf(buf, sizeof buf, "$%02X", key);
  return buf;
}

}  // namespace

std::string ShortCutToText(TShortCut Value) {
  std::uint16_t key;
  TShiftState shift;
  ShortCutToKey(Value, key, shift);
  if (key == 0) return {};
  std::string text;
  if (shift & ssShift) text += "Shift+";
  if (shift & ssCtrl) text += "Ctrl+";
  if (shift & ssAlt) text += "Alt+";
  return text + KeyName(key);
}

// ---------------------------------------------------------------------------------------
// Qt key events to virtual keys

namespace {

// Keys whose code is the same on every layout.
std::uint16_t FixedKey(int k) {
  if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return std::uint16_t(vk::F1 + (k - Qt::Key_F1));
  switch (k) {
    case Qt::Key_Backspace: return vk::Back;
    case Qt::Key_Tab: return vk::Tab;
    case Qt::Key_Backtab: return vk::Tab;
    case Qt::Key_Clear: return vk::Clear;
    case Qt::Key_Return: return vk::Return;
    case Qt::Key_Enter: return vk::Return;
    case Qt::Key_Shift: return vk::Shift;
    case Qt::Key_Control: return vk::Control;
    case Qt::Key_Alt: return vk::Menu;
    case Qt::Key_Pause: return vk::Pause;
    case Qt::Key_CapsLock: return vk::Capital;
    case Qt::Key_Escape: return vk::Escape;
    case Qt::Key_Space: return vk::Space;
    case Qt::Key_PageUp: return vk::Prior;
    case Qt::Key_PageDown: return vk::Next;
    case Qt::Key_End: return vk::End;
    case Qt::Key_Home: return vk::Home;
    case Qt::Key_Left: return vk::Left;
    case Qt::Key_Up: return vk::Up;
    case Qt::Key_Right: return vk::Right;
    case Qt::Key_Down: return vk::Down;
    case Qt::Key_Print: return vk::Snapshot;
    case Qt::Key_Insert: return vk::Insert;
    case Qt::Key_Delete: return vk::Delete;
    case Qt::Key_Help: return vk::Help;
    case Qt::Key_Meta: return vk::LWin;
    case Qt::Key_Menu: return vk::Apps;
    case Qt::Key_NumLock: return vk::NumLock;
    case Qt::Key_ScrollLock: return vk::Scroll;
    case Qt::Key_Kanji:
    case Qt::Key_Zenkaku_Hankaku:
    case Qt::Key_Zenkaku:
    case Qt::Key_Hankaku: return vk::Kanji;
    case Qt::Key_Henkan: return vk::Convert;
    case Qt::Key_Muhenkan: return vk::NonConvert;
    case Qt::Key_Kana_Lock:
    case Qt::Key_Kana_Shift:
    case Qt::Key_Hiragana:
    case Qt::Key_Katakana:
    case Qt::Key_Hiragana_Katakana: return vk::Kana;
    default: return 0;
  }
}

// Keys of the numeric keypad that have codes of their own.
std::uint16_t KeypadKey(int k) {
  if (k >= Qt::Key_0 && k <= Qt::Key_9) return std::uint16_t(vk::Numpad0 + (k - Qt::Key_0));
  switch (k) {
    case Qt::Key_Asterisk: return vk::Multiply;
    case Qt::Key_Plus: return vk::Add;
    case Qt::Key_Minus: return vk::Subtract;
    case Qt::Key_Period:
    case Qt::Key_Comma: return vk::Decimal;
    case Qt::Key_Slash: return vk::Divide;
    default: return 0;
  }
}

// Digit and letter keys by their position: the key numbers of the PC keyboard's main
// block (as the Linux input layer and the PC scan codes number them).
std::uint16_t KeyAtPosition(std::uint32_t code) {
  static const char *const rows[] = {
      "\x02" "1234567890",  // 2..11
      "\x10" "QWERTYUIOP",  // 16..25
      "\x1E" "ASDFGHJKL",   // 30..38
      "\x2C" "ZXCVBNM",     // 44..50
  };
  for (const char *row : rows) {
    std::uint32_t first = static_cast<unsigned char>(row[0]);
    std::size_t n = std::char_traits<char>::length(row + 1);
    if (code >= first && code < first + n) return static_cast<unsigned char>(row[1 + code - first]);
  }
  return 0;
}

// Punctuation keys, named by the symbols of the key's unshifted and shifted face.
std::uint16_t SymbolKey(int k) {
  switch (k) {
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return vk::Oem1;
    case Qt::Key_Equal:
    case Qt::Key_Plus: return vk::OemPlus;
    case Qt::Key_Comma:
    case Qt::Key_Less: return vk::OemComma;
    case Qt::Key_Minus:
    case Qt::Key_Underscore: return vk::OemMinus;
    case Qt::Key_Period:
    case Qt::Key_Greater: return vk::OemPeriod;
    case Qt::Key_Slash:
    case Qt::Key_Question: return vk::Oem2;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde:
    case Qt::Key_At: return vk::Oem3;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return vk::Oem4;
    case Qt::Key_Backslash:
    case Qt::Key_Bar:
    case Qt::Key_yen: return vk::Oem5;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return vk::Oem6;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl:
    case Qt::Key_AsciiCircum: return vk::Oem7;
    default: return 0;
  }
}

}  // namespace

TQmKey QmTranslateKey(int QtKey, unsigned QtModifiers, std::uint32_t NativeScanCode,
                      std::uint32_t NativeVirtualKey, const std::string &PlatformName) {
  TQmKey r;
  if (QtModifiers & Qt::ShiftModifier) r.Shift |= ssShift;
  if (QtModifiers & Qt::ControlModifier) r.Shift |= ssCtrl;
  if (QtModifiers & Qt::AltModifier) r.Shift |= ssAlt;
  if (QtKey == Qt::Key_Backtab) r.Shift |= ssShift;

  if ((QtModifiers & Qt::KeypadModifier) && (r.Key = KeypadKey(QtKey)) != 0) return r;
  if ((r.Key = FixedKey(QtKey)) != 0) return r;
  if ((QtKey >= Qt::Key_0 && QtKey <= Qt::Key_9) || (QtKey >= Qt::Key_A && QtKey <= Qt::Key_Z)) {
    r.Key = static_cast<std::uint16_t>(QtKey);
    return r;
  }
  // The symbol differs from the key's own face (Shift+1 gives "!", other scripts give
  // other letters): the native codes tell which key it is.
  const bool windows = PlatformName == "windows";
  if (windows) {
    if (NativeVirtualKey > 0 && NativeVirtualKey < 0x100) {
      r.Key = static_cast<std::uint16_t>(NativeVirtualKey);
      return r;
    }
  } else {
    // X11 and Wayland number the keys 8 above the PC key numbers.
    if (NativeScanCode > 8 && (r.Key = KeyAtPosition(NativeScanCode - 8)) != 0) return r;
    // Key symbols of digits and Latin letters are their ASCII codes.
    if (NativeVirtualKey >= '0' && NativeVirtualKey <= '9') {
      r.Key = static_cast<std::uint16_t>(NativeVirtualKey);
      return r;
    }
    if (NativeVirtualKey >= 'a' && NativeVirtualKey <= 'z') {
      r.Key = static_cast<std::uint16_t>(NativeVirtualKey - 0x20);
      return r;
    }
  }
  r.Key = SymbolKey(QtKey);
  return r;
}

TQmKey QmTranslateKeyEvent(const QKeyEvent &Event) {
  return QmTranslateKey(Event.key(), static_cast<unsigned>(Event.modifiers().toInt()),
                        Event.nativeScanCode(), Event.nativeVirtualKey(),
                        QGuiApplication::platformName().toStdString());
}

// ---------------------------------------------------------------------------------------
// Key strokes

void TQmEditKeyStroke::Assign(const TPersistent &Source) {
  const auto *src = dynamic_cast<const TQmEditKeyStroke *>(&Source);
  if (!src) return TPersistent::Assign(Source);
  SetCommand(src->FCommand);
  SetKey(src->FKey);
  SetShift(src->FShift);
  SetKey2(src->FKey2);
  SetShift2(src->FShift2);
}

namespace {

bool OtherStrokeHas(const TQmEditKeyStrokes *c, const TQmEditKeyStroke *self, TShortCut s1,
                    TShortCut s2) {
  if (!c) return false;
  for (int i = 0; i < c->Count(); ++i) {
    const TQmEditKeyStroke *k = c->Items(i);
    if (k != self && k->GetShortCut() == s1 && k->GetShortCut2() == s2) return true;
  }
  return false;
}

}  // namespace

void TQmEditKeyStroke::SetShortCut(TShortCut Value) {
  if (Value != scNone && OtherStrokeHas(FCollection, this, Value, GetShortCut2()))
    throw EQmKeyError("Shortcut already exists");
  std::uint16_t key;
  TShiftState shift;
  ShortCutToKey(Value, key, shift);
  SetKey(key);
  SetShift(shift);
}

void TQmEditKeyStroke::SetShortCut2(TShortCut Value) {
  if (Value != scNone && OtherStrokeHas(FCollection, this, GetShortCut(), Value))
    throw EQmKeyError("Shortcut already exists");
  std::uint16_t key;
  TShiftState shift;
  ShortCutToKey(Value, key, shift);
  SetKey2(key);
  SetShift2(shift);
}

std::string TQmEditKeyStroke::DisplayName() const {
  std::string name = EditorCommandToCodeString(FCommand) + " - " + ShortCutToText(GetShortCut());
  if (GetShortCut2() != scNone) name += " " + ShortCutToText(GetShortCut2());
  return name.empty() ? "TQmEditKeyStroke" : name;
}

TQmEditKeyStroke *TQmEditKeyStrokes::Add() {
  FItems.push_back(std::make_unique<TQmEditKeyStroke>(this));
  return FItems.back().get();
}

TQmEditKeyStroke *TQmEditKeyStrokes::AddKey(TQmEditorCommand Command, std::uint16_t Key,
                                            TShiftState Shift) {
  auto stroke = std::make_unique<TQmEditKeyStroke>(this);
  stroke->SetKey(Key);
  stroke->SetShift(Shift);
  stroke->SetCommand(Command);
  FItems.push_back(std::move(stroke));
  return FItems.back().get();
}

void TQmEditKeyStrokes::Assign(const TPersistent &Source) {
  const auto *src = dynamic_cast<const TQmEditKeyStrokes *>(&Source);
  if (!src) return TPersistent::Assign(Source);
  if (src == this) return;
  Clear();
  for (const auto &k : src->FItems) Add()->Assign(*k);
}

void TQmEditKeyStrokes::Delete(int Index) {
  Items(Index);
  FItems.erase(FItems.begin() + Index);
}

TQmEditKeyStroke *TQmEditKeyStrokes::Items(int Index) const {
  if (Index < 0 || Index >= Count())
    throw std::out_of_range("List index out of bounds (" + std::to_string(Index) + ")");
  return FItems[static_cast<std::size_t>(Index)].get();
}

int TQmEditKeyStrokes::IndexOfKey(std::uint16_t Key, TShiftState Shift) const {
  for (int i = 0; i < Count(); ++i) {
    const auto &k = *FItems[static_cast<std::size_t>(i)];
    if (k.FKey == Key && k.FShift == Shift && k.FKey2 == 0) return i;
  }
  return -1;
}

int TQmEditKeyStrokes::IndexOfKeyPair(std::uint16_t Key, TShiftState Shift, std::uint16_t Key2,
                                      TShiftState Shift2) const {
  for (int i = 0; i < Count(); ++i) {
    const auto &k = *FItems[static_cast<std::size_t>(i)];
    if (k.FKey == Key && k.FShift == Shift && k.FKey2 == Key2 && k.FShift2 == Shift2) return i;
  }
  return -1;
}

int TQmEditKeyStrokes::IndexOfShortCuts(TShortCut ShortCut, TShortCut ShortCut2) const {
  for (int i = 0; i < Count(); ++i) {
    const auto &k = *FItems[static_cast<std::size_t>(i)];
    if (k.GetShortCut() == ShortCut && k.GetShortCut2() == ShortCut2) return i;
  }
  return -1;
}

void TQmEditKeyStrokes::LoadDefaultBindings() {
  struct Binding {
    std::uint16_t Key;
    TShiftState Shift;
    TQmEditorCommand Command;
  };
  constexpr TShiftState S = ssShift, C = ssCtrl, A = ssAlt, CS = ssCtrl | ssShift;
  static const Binding bindings[] = {
      {vk::Up, 0, ecUp},
      {vk::Up, S, ecSelUp},
      {vk::Up, C, ecScrollUp},
      {vk::Down, 0, ecDown},
      {vk::Down, S, ecSelDown},
      {vk::Down, C, ecScrollDown},
      {vk::Left, 0, ecLeft},
      {vk::Left, S, ecSelLeft},
      {vk::Left, C, ecWordLeft},
      {vk::Left, CS, ecSelWordLeft},
      {vk::Right, 0, ecRight},
      {vk::Right, S, ecSelRight},
      {vk::Right, C, ecWordRight},
      {vk::Right, CS, ecSelWordRight},
      {vk::Next, 0, ecPageDown},
      {vk::Next, S, ecSelPageDown},
      {vk::Next, C, ecPageBottom},
      {vk::Next, CS, ecSelPageBottom},
      {vk::Prior, 0, ecPageUp},
      {vk::Prior, S, ecSelPageUp},
      {vk::Prior, C, ecPageTop},
      {vk::Prior, CS, ecSelPageTop},
      {vk::Home, 0, ecLineStart},
      {vk::Home, S, ecSelLineStart},
      {vk::Home, C, ecEditorTop},
      {vk::Home, CS, ecSelEditorTop},
      {vk::End, 0, ecLineEnd},
      {vk::End, S, ecSelLineEnd},
      {vk::End, C, ecEditorBottom},
      {vk::End, CS, ecSelEditorBottom},
      {vk::Insert, 0, ecToggleMode},
      {vk::Insert, C, ecCopy},
      {vk::Delete, S, ecCut},
      {vk::Insert, S, ecPaste},
      {vk::Delete, 0, ecDeleteChar},
      {vk::Back, 0, ecDeleteLastChar},
      {vk::Back, S, ecDeleteLastChar},
      {vk::Back, C, ecDeleteLastWord},
      {vk::Back, A, ecUndo},
      {vk::Back, S | A, ecRedo},
      {vk::Return, 0, ecLineBreak},
      {vk::Return, S, ecLineBreak},
      {vk::Tab, 0, ecTab},
      {vk::Tab, S, ecShiftTab},
      {vk::F1, 0, ecContextHelp},
      {'A', C, ecSelectAll},
      {'C', C, ecCopy},
      {'V', C, ecPaste},
      {'X', C, ecCut},
      {'I', CS, ecBlockIndent},
      {'U', CS, ecBlockUnindent},
      {'M', C, ecLineBreak},
      {'N', C, ecInsertLine},
      {'T', C, ecDeleteWord},
      {'Y', C, ecDeleteLine},
      {'Y', CS, ecDeleteEOL},
      {'Z', C, ecUndo},
      {'Z', CS, ecRedo},
      {'0', C, ecGotoMarker0},
      {'1', C, ecGotoMarker1},
      {'2', C, ecGotoMarker2},
      {'3', C, ecGotoMarker3},
      {'4', C, ecGotoMarker4},
      {'5', C, ecGotoMarker5},
      {'6', C, ecGotoMarker6},
      {'7', C, ecGotoMarker7},
      {'8', C, ecGotoMarker8},
      {'9', C, ecGotoMarker9},
      {'0', CS, ecSetMarker0},
      {'1', CS, ecSetMarker1},
      {'2', CS, ecSetMarker2},
      {'3', CS, ecSetMarker3},
      {'4', CS, ecSetMarker4},
      {'5', CS, ecSetMarker5},
      {'6', CS, ecSetMarker6},
      {'7', CS, ecSetMarker7},
      {'8', CS, ecSetMarker8},
      {'9', CS, ecSetMarker9},
      {'N', CS, ecNormalSelect},
      {'C', CS, ecColumnSelect},
      {'L', CS, ecLineSelect},
      {'B', CS, ecMatchBracket},
  };
  Clear();
  for (const Binding &b : bindings) AddKey(b.Command, b.Key, b.Shift);
}
