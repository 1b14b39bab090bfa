// The chains of extra key and mouse handlers.
#include "components/editor/QmEditKbdHandler.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

struct Recorder {
  std::string calls;
  char name = '?';
  bool clearKey = false;
  bool throwing = false;
  TQmEditKbdHandler *reenter = nullptr;

  void KeyDown(TObject *, std::uint16_t &key, TShiftState) {
    calls += name;
    if (reenter) {
      std::uint16_t k = 1;
      reenter->CallKeyDownHandlers(nullptr, k, 0);
    }
    if (throwing) throw std::runtime_error("handler failed");
    if (clearKey) key = 0;
  }
  void Press(TObject *, char &c) {
    calls += name;
    if (clearKey) c = 0;
  }
  void Cursor(TObject *, int x, int, TCursor &cursor) {
    calls += name;
    if (x > 10) cursor = crDefault;
  }
};

}  // namespace

TEST(QmEditKbdHandler, KeyChainRunsLastFirstAndStopsOnClearedKey) {
  TQmEditKbdHandler h;
  Recorder a, b, c;
  a.name = 'a';
  b.name = 'b';
  c.name = 'c';
  for (Recorder *r : {&a, &b, &c})
    h.AddKeyDownHandler(TKeyEvent::Of<&Recorder::KeyDown>(r));

  std::uint16_t key = 'X';
  h.CallKeyDownHandlers(nullptr, key, ssCtrl);
  EXPECT_EQ(c.calls + b.calls + a.calls, "cba");

  b.clearKey = true;
  key = 'X';
  h.CallKeyDownHandlers(nullptr, key, 0);
  EXPECT_EQ(key, 0);
  EXPECT_EQ(a.calls, "a");  // not called the second time
  EXPECT_EQ(c.calls, "cc");

  // A cleared key calls nobody.
  h.CallKeyDownHandlers(nullptr, key, 0);
  EXPECT_EQ(c.calls, "cc");

  // Removing takes the handler out; other chains stay empty.
  h.RemoveKeyDownHandler(TKeyEvent::Of<&Recorder::KeyDown>(&b));
  key = 'X';
  h.CallKeyDownHandlers(nullptr, key, 0);
  h.CallKeyUpHandlers(nullptr, key, 0);
  EXPECT_EQ(c.calls + b.calls + a.calls, "cccbbaa");
}

TEST(QmEditKbdHandler, ChainIsNotReenteredAndRecoversFromFailure) {
  TQmEditKbdHandler h;
  Recorder a;
  a.name = 'a';
  a.reenter = &h;
  h.AddKeyDownHandler(TKeyEvent::Of<&Recorder::KeyDown>(&a));
  std::uint16_t key = 'K';
  h.CallKeyDownHandlers(nullptr, key, 0);
  EXPECT_EQ(a.calls, "a");

  a.reenter = nullptr;
  a.throwing = true;
  EXPECT_THROW(h.CallKeyDownHandlers(nullptr, key, 0), std::runtime_error);
  a.throwing = false;
  h.CallKeyDownHandlers(nullptr, key, 0);  // the busy flag was cleared by the failure
  EXPECT_EQ(a.calls, "aaa");
}

TEST(QmEditKbdHandler, PressAndCursorChains) {
  TQmEditKbdHandler h;
  Recorder a, b;
  a.name = 'a';
  b.name = 'b';
  b.clearKey = true;
  h.AddKeyPressHandler(TKeyPressEvent::Of<&Recorder::Press>(&a));
  h.AddKeyPressHandler(TKeyPressEvent::Of<&Recorder::Press>(&b));
  char c = 'x';
  h.CallKeyPressHandlers(nullptr, c);
  EXPECT_EQ(c, 0);
  EXPECT_EQ(a.calls, "");

  h.AddMouseCursorHandler(TMouseCursorEvent::Of<&Recorder::Cursor>(&a));
  TCursor cursor = crIBeam;
  h.CallMouseCursorHandlers(nullptr, 5, 5, cursor);
  EXPECT_EQ(cursor, crIBeam);
  h.CallMouseCursorHandlers(nullptr, 20, 5, cursor);
  EXPECT_EQ(cursor, crDefault);
  EXPECT_EQ(a.calls, "aa");
}
