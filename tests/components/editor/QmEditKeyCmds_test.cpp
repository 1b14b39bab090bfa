// Editor commands, the default key map, shortcuts and the Qt key translation.
#include "components/editor/QmEditKeyCmds.h"

#include <QKeyEvent>
#include <gtest/gtest.h>

#include <set>

TEST(QmEditKeyCmds, CommandNamesBothWays) {
  const auto &table = EditorCommandTable();
  EXPECT_EQ(table.size(), 101u);
  std::set<int> values;
  std::set<std::string> names;
  for (const auto &e : table) {
    values.insert(e.Value);
    names.insert(e.Name);
    EXPECT_EQ(EditorCommandToIdent(e.Value).value(), e.Name);
    EXPECT_EQ(IdentToEditorCommand(e.Name).value(), e.Value);
  }
  EXPECT_EQ(values.size(), table.size());
  EXPECT_EQ(names.size(), table.size());

  EXPECT_EQ(IdentToEditorCommand("ECUNDO").value(), ecUndo);
  EXPECT_EQ(IdentToEditorCommand("ecundo").value(), ecUndo);
  EXPECT_FALSE(IdentToEditorCommand("ecUndoX").has_value());
  EXPECT_FALSE(IdentToEditorCommand("ecUnd").has_value());
  EXPECT_EQ(EditorCommandToCodeString(1001), "ecUserFirst");
  EXPECT_EQ(EditorCommandToCodeString(1002), "1002");
  EXPECT_EQ(EditorCommandToCodeString(ecCopy), "ecCopy");
  EXPECT_FALSE(EditorCommandToIdent(480).has_value());
}

TEST(QmEditKeyCmds, DefaultKeyMapLookups) {
  TQmEditKeyStrokes keys;
  keys.LoadDefaultBindings();
  ASSERT_EQ(keys.Count(), 82);

  // No key with its shift state is bound twice.
  std::set<TShortCut> seen;
  for (int i = 0; i < keys.Count(); ++i) {
    EXPECT_EQ(keys.Items(i)->Key2(), 0);
    EXPECT_TRUE(seen.insert(keys.Items(i)->GetShortCut()).second) << keys.Items(i)->DisplayName();
  }

  struct Case {
    std::uint16_t key;
    TShiftState shift;
    TQmEditorCommand command;
  };
  const Case cases[] = {
      {'Z', ssCtrl, ecUndo},
      {vk::Back, ssAlt, ecUndo},
      {vk::Back, ssShift | ssAlt, ecRedo},
      {'Z', ssCtrl | ssShift, ecRedo},
      {vk::Return, 0, ecLineBreak},
      {vk::Return, ssShift, ecLineBreak},
      {'M', ssCtrl, ecLineBreak},
      {vk::Back, 0, ecDeleteLastChar},
      {vk::Back, ssShift, ecDeleteLastChar},
      {vk::Back, ssCtrl, ecDeleteLastWord},
      {vk::Tab, 0, ecTab},
      {vk::Tab, ssShift, ecShiftTab},
      {vk::Insert, ssCtrl, ecCopy},
      {vk::Insert, ssShift, ecPaste},
      {vk::Delete, ssShift, ecCut},
      {vk::Next, ssCtrl | ssShift, ecSelPageBottom},
      {vk::Home, ssCtrl, ecEditorTop},
      {vk::Up, ssCtrl, ecScrollUp},
      {'0', ssCtrl, ecGotoMarker0},
      {'7', ssCtrl, ecGotoMarker7},
      {'0', ssCtrl | ssShift, ecSetMarker0},
      {'9', ssCtrl | ssShift, ecSetMarker9},
      {'C', ssCtrl | ssShift, ecColumnSelect},
      {'B', ssCtrl | ssShift, ecMatchBracket},
      {vk::F1, 0, ecContextHelp},
  };
  for (const Case &c : cases) {
    int i = keys.IndexOfKey(c.key, c.shift);
    ASSERT_GE(i, 0) << ShortCutToText(ShortCut(c.key, c.shift));
    EXPECT_EQ(keys.Items(i)->Command(), c.command) << ShortCutToText(ShortCut(c.key, c.shift));
  }
  EXPECT_EQ(keys.IndexOfKey('Q', ssCtrl), -1);
  EXPECT_EQ(keys.IndexOfKey(vk::Numpad0 + 5, ssCtrl), -1);  // keypad digits are other keys
  EXPECT_EQ(keys.Items(0)->Command(), ecUp);
  EXPECT_EQ(keys.Items(81)->Command(), ecMatchBracket);

  // Loading again replaces the map instead of adding to it.
  keys.AddKey(ecUserFirst, 'Q', ssCtrl);
  keys.LoadDefaultBindings();
  EXPECT_EQ(keys.Count(), 82);
}

TEST(QmEditKeyCmds, TwoKeyStrokesAndAssign) {
  TQmEditKeyStrokes keys;
  TQmEditKeyStroke *k = keys.AddKey(ecUserFirst, 'K', ssCtrl);
  k->SetKey2('B');
  k->SetShift2(0);
  keys.AddKey(ecDeleteWord, 'K', ssCtrl);
  EXPECT_EQ(keys.IndexOfKey('K', ssCtrl), 1);  // the two-key stroke is no single key
  EXPECT_EQ(keys.IndexOfKeyPair('K', ssCtrl, 'B', 0), 0);
  EXPECT_EQ(keys.IndexOfKeyPair('K', ssCtrl, 'B', ssShift), -1);
  EXPECT_EQ(keys.IndexOfShortCuts(ShortCut('K', ssCtrl), ShortCut('B', 0)), 0);
  EXPECT_EQ(k->DisplayName(), "ecUserFirst - Ctrl+K B");

  TQmEditKeyStrokes copy;
  copy.LoadDefaultBindings();
  copy.Assign(keys);
  ASSERT_EQ(copy.Count(), 2);
  EXPECT_EQ(copy.Items(0)->Command(), ecUserFirst);
  EXPECT_EQ(copy.Items(0)->Key2(), 'B');
  EXPECT_EQ(copy.Items(0)->Collection(), &copy);
  EXPECT_THROW(copy.Items(2), std::out_of_range);
}

TEST(QmEditKeyCmds, ShortCutsRefuseDuplicatePairs) {
  EXPECT_EQ(ShortCut('Z', ssCtrl | ssShift), 'Z' | scCtrl | scShift);
  std::uint16_t key;
  TShiftState shift;
  ShortCutToKey(ShortCut(vk::Back, ssShift | ssAlt), key, shift);
  EXPECT_EQ(key, vk::Back);
  EXPECT_EQ(shift, ssShift | ssAlt);
  EXPECT_EQ(ShortCutToText(ShortCut(vk::Next, ssCtrl | ssShift)), "Shift+Ctrl+PgDn");
  EXPECT_EQ(ShortCutToText(scNone), "");

  TQmEditKeyStrokes keys;
  keys.AddKey(ecCopy, 'C', ssCtrl);
  TQmEditKeyStroke *k = keys.AddKey(ecUserFirst, 'Q', ssCtrl);
  try {
    k->SetShortCut(ShortCut('C', ssCtrl));
    ADD_FAILURE() << "no error";
  } catch (const EQmKeyError &e) {
    EXPECT_STREQ(e.what(), "Shortcut already exists");
  }
  EXPECT_EQ(k->Key(), 'Q');  // unchanged
  EXPECT_EQ(k->Shift(), ssCtrl);

  EXPECT_NO_THROW(k->SetShortCut(scNone));
  EXPECT_EQ(k->Key(), 0);
  // With a second key the pair differs from the single Ctrl+C, so it is allowed.
  k->SetShortCut2(ShortCut('X', 0));
  EXPECT_NO_THROW(k->SetShortCut(ShortCut('C', ssCtrl)));
  // Now the pair (Ctrl+C, X) exists; the first stroke cannot take it too.
  EXPECT_THROW(keys.Items(0)->SetShortCut2(ShortCut('X', 0)), EQmKeyError);
  EXPECT_EQ(keys.Items(0)->Key2(), 0);
  // A stroke may be given its own shortcut again.
  EXPECT_NO_THROW(k->SetShortCut(ShortCut('C', ssCtrl)));
}

namespace {

TQmKey Translate(int key, Qt::KeyboardModifiers mods, quint32 scan = 0, quint32 native = 0) {
  QKeyEvent e(QEvent::KeyPress, key, mods, scan, native, 0);
  return QmTranslateKeyEvent(e);
}

}  // namespace

TEST(QmEditKeyCmds, QtKeyEventsBecomeVirtualKeys) {
  struct Case {
    const char *what;
    int key;
    Qt::KeyboardModifiers mods;
    quint32 scan, native;
    std::uint16_t vkey;
    TShiftState shift;
  };
  const Qt::KeyboardModifiers none = Qt::NoModifier, shift = Qt::ShiftModifier,
                              ctrl = Qt::ControlModifier, pad = Qt::KeypadModifier;
  const Case cases[] = {
      {"Shift+Tab arrives as Backtab", Qt::Key_Backtab, shift, 23, 0xfe20, vk::Tab, ssShift},
      {"Backtab without Shift flag", Qt::Key_Backtab, none, 0, 0, vk::Tab, ssShift},
      {"Ctrl+Shift+Tab", Qt::Key_Backtab, ctrl | shift, 0, 0, vk::Tab, ssCtrl | ssShift},
      {"main Enter", Qt::Key_Return, none, 36, 0xff0d, vk::Return, 0},
      {"keypad Enter", Qt::Key_Enter, pad, 104, 0xff8d, vk::Return, 0},
      {"Shift+keypad Enter", Qt::Key_Enter, pad | shift, 104, 0, vk::Return, ssShift},
      {"main 5", Qt::Key_5, ctrl, 14, '5', '5', ssCtrl},
      {"keypad 5", Qt::Key_5, pad | ctrl, 84, 0xffb5, vk::Numpad0 + 5, ssCtrl},
      {"keypad 0", Qt::Key_0, pad, 90, 0xffb0, vk::Numpad0, 0},
      {"keypad *", Qt::Key_Asterisk, pad, 63, 0, vk::Multiply, 0},
      {"keypad Home (NumLock off)", Qt::Key_Home, pad, 79, 0, vk::Home, 0},
      {"Ctrl+Shift+1 on a US layout", Qt::Key_Exclam, ctrl | shift, 10, '!', '1',
       ssCtrl | ssShift},
      {"Ctrl+Shift+2 on a Japanese layout", Qt::Key_QuoteDbl, ctrl | shift, 11, '"', '2',
       ssCtrl | ssShift},
      {"Ctrl+Shift+2 on a US layout", Qt::Key_At, ctrl | shift, 11, '@', '2',
       ssCtrl | ssShift},
      {"Ctrl+Shift+0 on a Japanese layout (no symbol)", 0, ctrl | shift, 19, 0, '0',
       ssCtrl | ssShift},
      {"Ctrl+Shift+9 on a US layout", Qt::Key_ParenLeft, ctrl | shift, 18, '(', '9',
       ssCtrl | ssShift},
      {"Ctrl+Shift+7 on a Japanese layout", Qt::Key_Apostrophe, ctrl | shift, 16, '\'', '7',
       ssCtrl | ssShift},
      {"letter from another script", 0x6cf /* Cyrillic ya */, ctrl, 52, 0x6d1, 'Z', ssCtrl},
      {"Ctrl+Z", Qt::Key_Z, ctrl, 52, 'z', 'Z', ssCtrl},
      {"Alt+Backspace", Qt::Key_Backspace, Qt::AltModifier, 30, 0, vk::Back, ssAlt},
      {"PageDown", Qt::Key_PageDown, none, 117, 0, vk::Next, 0},
      {"F1", Qt::Key_F1, none, 67, 0, vk::F1, 0},
      {"semicolon key", Qt::Key_Semicolon, none, 47, ';', vk::Oem1, 0},
      {"unknown key", Qt::Key_unknown, none, 0, 0, 0, 0},
  };
  for (const Case &c : cases) {
    TQmKey k = Translate(c.key, c.mods, c.scan, c.native);
    EXPECT_EQ(k.Key, c.vkey) << c.what;
    EXPECT_EQ(k.Shift, c.shift) << c.what;
  }

  // Under Windows the native virtual key is the code itself.
  TQmKey w = QmTranslateKey(Qt::Key_Exclam, Qt::ControlModifier | Qt::ShiftModifier, 2, 0x31,
                            "windows");
  EXPECT_EQ(w.Key, '1');
  EXPECT_EQ(w.Shift, ssCtrl | ssShift);
}

TEST(QmEditKeyCmds, TranslatedEventsFindTheDefaultCommands) {
  TQmEditKeyStrokes keys;
  keys.LoadDefaultBindings();
  auto command = [&](int key, Qt::KeyboardModifiers mods, quint32 scan = 0) {
    TQmKey k = Translate(key, mods, scan);
    int i = keys.IndexOfKey(k.Key, k.Shift);
    return i < 0 ? ecNone : keys.Items(i)->Command();
  };
  EXPECT_EQ(command(Qt::Key_Backtab, Qt::ShiftModifier), ecShiftTab);
  EXPECT_EQ(command(Qt::Key_Enter, Qt::KeypadModifier), ecLineBreak);
  EXPECT_EQ(command(Qt::Key_NumberSign, Qt::ControlModifier | Qt::ShiftModifier, 12),
            ecSetMarker3);
  EXPECT_EQ(command(Qt::Key_3, Qt::ControlModifier | Qt::KeypadModifier, 81), ecNone);
}
