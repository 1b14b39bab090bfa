// Editor commands, key strokes and the default key map of the SQL editor.
//
// Every keyboard action of the editor is a numbered command. A key stroke maps one key,
// or a sequence of two keys, each with its shift state, to a command. Keys are the
// virtual-key codes below (the codes the editor's key maps are written in); Qt key events
// are turned into them by QmTranslateKeyEvent, the one place that knows Qt's key numbers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "components/editor/QmEditTypes.h"
#include "engine/Exception.h"

class QKeyEvent;

// ---------------------------------------------------------------------------------------
// Commands

using TQmEditorCommand = std::uint16_t;

constexpr TQmEditorCommand ecNone = 0;
constexpr TQmEditorCommand ecLeft = 1;
constexpr TQmEditorCommand ecRight = 2;
constexpr TQmEditorCommand ecUp = 3;
constexpr TQmEditorCommand ecDown = 4;
constexpr TQmEditorCommand ecWordLeft = 5;
constexpr TQmEditorCommand ecWordRight = 6;
constexpr TQmEditorCommand ecLineStart = 7;
constexpr TQmEditorCommand ecLineEnd = 8;
constexpr TQmEditorCommand ecPageUp = 9;
constexpr TQmEditorCommand ecPageDown = 10;
constexpr TQmEditorCommand ecPageLeft = 11;
constexpr TQmEditorCommand ecPageRight = 12;
constexpr TQmEditorCommand ecPageTop = 13;
constexpr TQmEditorCommand ecPageBottom = 14;
constexpr TQmEditorCommand ecEditorTop = 15;
constexpr TQmEditorCommand ecEditorBottom = 16;
constexpr TQmEditorCommand ecGotoXY = 17;
// The selecting twin of a move is the move plus ecSelection.
constexpr TQmEditorCommand ecSelection = 100;
constexpr TQmEditorCommand ecSelLeft = 101;
constexpr TQmEditorCommand ecSelRight = 102;
constexpr TQmEditorCommand ecSelUp = 103;
constexpr TQmEditorCommand ecSelDown = 104;
constexpr TQmEditorCommand ecSelWordLeft = 105;
constexpr TQmEditorCommand ecSelWordRight = 106;
constexpr TQmEditorCommand ecSelLineStart = 107;
constexpr TQmEditorCommand ecSelLineEnd = 108;
constexpr TQmEditorCommand ecSelPageUp = 109;
constexpr TQmEditorCommand ecSelPageDown = 110;
constexpr TQmEditorCommand ecSelPageLeft = 111;
constexpr TQmEditorCommand ecSelPageRight = 112;
constexpr TQmEditorCommand ecSelPageTop = 113;
constexpr TQmEditorCommand ecSelPageBottom = 114;
constexpr TQmEditorCommand ecSelEditorTop = 115;
constexpr TQmEditorCommand ecSelEditorBottom = 116;
constexpr TQmEditorCommand ecSelGotoXY = 117;
constexpr TQmEditorCommand ecSelWord = 198;
constexpr TQmEditorCommand ecSelectAll = 199;
constexpr TQmEditorCommand ecCopy = 201;
constexpr TQmEditorCommand ecScrollUp = 211;
constexpr TQmEditorCommand ecScrollDown = 212;
constexpr TQmEditorCommand ecScrollLeft = 213;
constexpr TQmEditorCommand ecScrollRight = 214;
constexpr TQmEditorCommand ecInsertMode = 221;
constexpr TQmEditorCommand ecOverwriteMode = 222;
constexpr TQmEditorCommand ecToggleMode = 223;
constexpr TQmEditorCommand ecNormalSelect = 231;
constexpr TQmEditorCommand ecColumnSelect = 232;
constexpr TQmEditorCommand ecLineSelect = 233;
constexpr TQmEditorCommand ecMatchBracket = 250;
constexpr TQmEditorCommand ecCommentBlock = 251;
constexpr TQmEditorCommand ecGotoMarker0 = 301;
constexpr TQmEditorCommand ecGotoMarker1 = 302;
constexpr TQmEditorCommand ecGotoMarker2 = 303;
constexpr TQmEditorCommand ecGotoMarker3 = 304;
constexpr TQmEditorCommand ecGotoMarker4 = 305;
constexpr TQmEditorCommand ecGotoMarker5 = 306;
constexpr TQmEditorCommand ecGotoMarker6 = 307;
constexpr TQmEditorCommand ecGotoMarker7 = 308;
constexpr TQmEditorCommand ecGotoMarker8 = 309;
constexpr TQmEditorCommand ecGotoMarker9 = 310;
constexpr TQmEditorCommand ecSetMarker0 = 351;
constexpr TQmEditorCommand ecSetMarker1 = 352;
constexpr TQmEditorCommand ecSetMarker2 = 353;
constexpr TQmEditorCommand ecSetMarker3 = 354;
constexpr TQmEditorCommand ecSetMarker4 = 355;
constexpr TQmEditorCommand ecSetMarker5 = 356;
constexpr TQmEditorCommand ecSetMarker6 = 357;
constexpr TQmEditorCommand ecSetMarker7 = 358;
constexpr TQmEditorCommand ecSetMarker8 = 359;
constexpr TQmEditorCommand ecSetMarker9 = 360;
// Sent by the editor to itself when it gains and loses the focus (reach events only).
constexpr TQmEditorCommand ecGotFocus = 480;
constexpr TQmEditorCommand ecLostFocus = 481;
constexpr TQmEditorCommand ecContextHelp = 490;
constexpr TQmEditorCommand ecDeleteLastChar = 501;
constexpr TQmEditorCommand ecDeleteChar = 502;
constexpr TQmEditorCommand ecDeleteWord = 503;
constexpr TQmEditorCommand ecDeleteLastWord = 504;
constexpr TQmEditorCommand ecDeleteBOL = 505;
constexpr TQmEditorCommand ecDeleteEOL = 506;
constexpr TQmEditorCommand ecDeleteLine = 507;
constexpr TQmEditorCommand ecClearAll = 508;
constexpr TQmEditorCommand ecLineBreak = 509;
constexpr TQmEditorCommand ecInsertLine = 510;
constexpr TQmEditorCommand ecChar = 511;
constexpr TQmEditorCommand ecImeStr = 550;
constexpr TQmEditorCommand ecUndo = 601;
constexpr TQmEditorCommand ecRedo = 602;
constexpr TQmEditorCommand ecCut = 603;
constexpr TQmEditorCommand ecPaste = 604;
constexpr TQmEditorCommand ecBlockIndent = 610;
constexpr TQmEditorCommand ecBlockUnindent = 611;
constexpr TQmEditorCommand ecTab = 612;
constexpr TQmEditorCommand ecShiftTab = 613;
constexpr TQmEditorCommand ecUpperCase = 620;
constexpr TQmEditorCommand ecLowerCase = 621;
constexpr TQmEditorCommand ecToggleCase = 622;
constexpr TQmEditorCommand ecTitleCase = 623;
constexpr TQmEditorCommand ecUpperCaseBlock = 625;
constexpr TQmEditorCommand ecLowerCaseBlock = 626;
constexpr TQmEditorCommand ecToggleCaseBlock = 627;
constexpr TQmEditorCommand ecString = 630;
constexpr TQmEditorCommand ecAutoCompletion = 650;
// Commands from here on are free for the users of the editor.
constexpr TQmEditorCommand ecUserFirst = 1001;

// The command table: number and name of every named command, in table order.
struct TQmEditorCommandEntry {
  TQmEditorCommand Value;
  const char *Name;
};
const std::vector<TQmEditorCommandEntry> &EditorCommandTable();

// Name of a command ("ecUndo"); empty when the table has none.
std::optional<std::string> EditorCommandToIdent(TQmEditorCommand Command);
// Command of a name, letter case ignored; empty when the table has none.
std::optional<TQmEditorCommand> IdentToEditorCommand(const std::string &Ident);
// The name, or the number in decimal when the command has no name.
std::string EditorCommandToCodeString(TQmEditorCommand Command);

// ---------------------------------------------------------------------------------------
// Shift states, virtual keys and shortcuts

// Virtual-key codes. Letters and main-row digits are their upper-case ASCII codes.
namespace vk {
constexpr std::uint16_t Back = 0x08, Tab = 0x09, Clear = 0x0C, Return = 0x0D, Shift = 0x10,
                        Control = 0x11, Menu = 0x12, Pause = 0x13, Capital = 0x14, Kana = 0x15,
                        Kanji = 0x19, Escape = 0x1B, Convert = 0x1C, NonConvert = 0x1D,
                        Space = 0x20, Prior = 0x21, Next = 0x22, End = 0x23, Home = 0x24,
                        Left = 0x25, Up = 0x26, Right = 0x27, Down = 0x28, Snapshot = 0x2C,
                        Insert = 0x2D, Delete = 0x2E, Help = 0x2F, Key0 = 0x30, KeyA = 0x41,
                        LWin = 0x5B, Apps = 0x5D, Numpad0 = 0x60, Multiply = 0x6A, Add = 0x6B,
                        Subtract = 0x6D, Decimal = 0x6E, Divide = 0x6F, F1 = 0x70, F24 = 0x87,
                        NumLock = 0x90, Scroll = 0x91, Oem1 = 0xBA, OemPlus = 0xBB,
                        OemComma = 0xBC, OemMinus = 0xBD, OemPeriod = 0xBE, Oem2 = 0xBF,
                        Oem3 = 0xC0, Oem4 = 0xDB, Oem5 = 0xDC, Oem6 = 0xDD, Oem7 = 0xDE,
                        Oem102 = 0xE2;
}  // namespace vk

// A shortcut: the key code in the low bits and the modifier keys in the high bits.
using TShortCut = std::uint16_t;
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;
constexpr TShortCut scNone = 0;

TShortCut ShortCut(std::uint16_t Key, TShiftState Shift);
void ShortCutToKey(TShortCut Value, std::uint16_t &Key, TShiftState &Shift);
// Readable form, such as "Ctrl+Shift+Z"; empty for no shortcut.
std::string ShortCutToText(TShortCut Value);

// A key event in the editor's terms: the virtual key (0 for a key with none) and the
// modifier keys held.
struct TQmKey {
  std::uint16_t Key = 0;
  TShiftState Shift = 0;
};

// The virtual key and shift state of a Qt key event. Shift+Tab (Backtab) is Tab with
// Shift; keypad Enter is Enter; keypad digits and operators keep their own codes; a digit
// or letter key whose symbol differs on the active layout (Shift+digit on most layouts)
// still gives the digit or letter, found from the key's position on the keyboard.
TQmKey QmTranslateKeyEvent(const QKeyEvent &Event);

// The same from the event's parts (what the event carries is all that is used).
// PlatformName is the Qt platform plug-in's name: it tells how to read the native codes.
TQmKey QmTranslateKey(int QtKey, unsigned QtModifiers, std::uint32_t NativeScanCode,
                      std::uint32_t NativeVirtualKey, const std::string &PlatformName);

// ---------------------------------------------------------------------------------------
// Key strokes

class EQmKeyError : public Exception {
 public:
  using Exception::Exception;
  const char *ClassName() const override { return "EQmKeyError"; }
};

class TQmEditKeyStrokes;

class TQmEditKeyStroke : public TPersistent {
 public:
  explicit TQmEditKeyStroke(TQmEditKeyStrokes *Collection = nullptr)
      : FCollection(Collection) {}
  const char *ClassName() const override { return "TQmEditKeyStroke"; }

  // From another stroke: command, both keys and both shift states.
  void Assign(const TPersistent &Source) override;

  TQmEditorCommand Command() const { return FCommand; }
  void SetCommand(TQmEditorCommand Value) {
    if (Value != FCommand) FCommand = Value;
  }
  std::uint16_t Key() const { return FKey; }
  void SetKey(std::uint16_t Value) {
    if (Value != FKey) FKey = Value;
  }
  TShiftState Shift() const { return FShift; }
  void SetShift(TShiftState Value) {
    if (Value != FShift) FShift = Value;
  }
  std::uint16_t Key2() const { return FKey2; }
  void SetKey2(std::uint16_t Value) {
    if (Value != FKey2) FKey2 = Value;
  }
  TShiftState Shift2() const { return FShift2; }
  void SetShift2(TShiftState Value) {
    if (Value != FShift2) FShift2 = Value;
  }

  TShortCut GetShortCut() const { return ::ShortCut(FKey, FShift); }
  TShortCut GetShortCut2() const { return ::ShortCut(FKey2, FShift2); }
  // Raise EQmKeyError "Shortcut already exists" when another stroke of the collection has
  // the same pair of shortcuts; the stroke then stays as it was.
  void SetShortCut(TShortCut Value);
  void SetShortCut2(TShortCut Value);

  // For lists of the key map: "ecUndo - Ctrl+Z", with the second key after a blank.
  std::string DisplayName() const;

  TQmEditKeyStrokes *Collection() const { return FCollection; }

 private:
  friend class TQmEditKeyStrokes;
  TQmEditKeyStrokes *FCollection;
  TQmEditorCommand FCommand = ecNone;
  std::uint16_t FKey = 0;
  TShiftState FShift = 0;
  std::uint16_t FKey2 = 0;
  TShiftState FShift2 = 0;
};

// The key map of one editor, which owns it.
class TQmEditKeyStrokes : public TPersistent {
 public:
  explicit TQmEditKeyStrokes(TPersistent *Editor = nullptr) : FOwner(Editor) {}
  const char *ClassName() const override { return "TQmEditKeyStrokes"; }

  TPersistent *Owner() const { return FOwner; }

  TQmEditKeyStroke *Add();
  // A single-key stroke for Command.
  TQmEditKeyStroke *AddKey(TQmEditorCommand Command, std::uint16_t Key, TShiftState Shift);
  // From another collection: clears and copies every stroke in order.
  void Assign(const TPersistent &Source) override;
  void Clear() { FItems.clear(); }
  void Delete(int Index);

  int Count() const { return static_cast<int>(FItems.size()); }
  // Out of range raises std::out_of_range.
  TQmEditKeyStroke *Items(int Index) const;

  // The first single-key stroke with this key and shift state, or -1.
  int IndexOfKey(std::uint16_t Key, TShiftState Shift) const;
  // The first two-key stroke with all four equal, or -1.
  int IndexOfKeyPair(std::uint16_t Key, TShiftState Shift, std::uint16_t Key2,
                     TShiftState Shift2) const;
  int IndexOfShortCuts(TShortCut ShortCut, TShortCut ShortCut2) const;

  // Clears the collection and fills it with the editor's default key map.
  void LoadDefaultBindings();

 private:
  TPersistent *FOwner;
  std::vector<std::unique_ptr<TQmEditKeyStroke>> FItems;
};
