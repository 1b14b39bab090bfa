// Chains of extra key and mouse handlers that the editor calls before its own handling.
#include "components/QmEditKbdHandler.h"

#include <algorithm>

void TMethodList::Remove(const TMethod &Method) {
  FItems.erase(std::remove(FItems.begin(), FItems.end(), Method), FItems.end());
}

namespace {

// Marks a chain as being walked; cleared however the walk ends.
class TReentryGuard {
 public:
  explicit TReentryGuard(bool &Flag) : FFlag(Flag) { FFlag = true; }
  ~TReentryGuard() { FFlag = false; }
  TReentryGuard(const TReentryGuard &) = delete;
  TReentryGuard &operator=(const TReentryGuard &) = delete;

 private:
  bool &FFlag;
};

// Calls the handlers from the last registered to the first while Go() holds. A handler
// may remove itself or others while the walk runs, so the index is checked each time.
template <class Ref, class Go, class... Args>
void WalkBackwards(const TMethodList &List, bool &Busy, Go go, Args &&...args) {
  if (Busy) return;
  TReentryGuard guard(Busy);
  for (int i = List.Count() - 1; i >= 0 && go(); --i) {
    if (i >= List.Count()) continue;
    Ref::FromMethod(List.Items(i))(args...);
  }
}

}  // namespace

void TQmEditKbdHandler::CallKeyDownHandlers(QObject *Sender, std::uint16_t &Key,
                                            TShiftState Shift) {
  WalkBackwards<TQmKeyEventRef>(FKeyDownChain, FInKeyDown, [&] { return Key != 0; }, Sender,
                                Key, Shift);
}

void TQmEditKbdHandler::CallKeyUpHandlers(QObject *Sender, std::uint16_t &Key,
                                          TShiftState Shift) {
  WalkBackwards<TQmKeyEventRef>(FKeyUpChain, FInKeyUp, [&] { return Key != 0; }, Sender, Key,
                                Shift);
}

void TQmEditKbdHandler::CallKeyPressHandlers(QObject *Sender, char &Key) {
  WalkBackwards<TQmKeyPressEventRef>(FKeyPressChain, FInKeyPress, [&] { return Key != 0; },
                                     Sender, Key);
}

void TQmEditKbdHandler::CallMouseDownHandlers(QObject *Sender, Qt::MouseButton Button,
                                              TShiftState Shift, int X, int Y) {
  WalkBackwards<TQmMouseEventRef>(FMouseDownChain, FInMouseDown, [] { return true; }, Sender,
                                  Button, Shift, X, Y);
}

void TQmEditKbdHandler::CallMouseUpHandlers(QObject *Sender, Qt::MouseButton Button,
                                            TShiftState Shift, int X, int Y) {
  WalkBackwards<TQmMouseEventRef>(FMouseUpChain, FInMouseUp, [] { return true; }, Sender,
                                  Button, Shift, X, Y);
}

void TQmEditKbdHandler::CallMouseCursorHandlers(QObject *Sender, int X, int Y,
                                                Qt::CursorShape &Cursor) {
  WalkBackwards<TQmMouseCursorEventRef>(FMouseCursorChain, FInMouseCursor, [] { return true; },
                                        Sender, X, Y, Cursor);
}
