// Chains of extra key and mouse handlers that the editor calls before its own handling.
#include "components/editor/QmEditKbdHandler.h"


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
template <class List, class Go, class... Args>
void WalkBackwards(const List &Chain, bool &Busy, Go go, Args &&...args) {
  if (Busy) return;
  TReentryGuard guard(Busy);
  for (int i = Chain.Count() - 1; i >= 0 && go(); --i) {
    if (i >= Chain.Count()) continue;
    auto handler = Chain.Items(i);  // a copy: the handler may remove itself
    handler(args...);
  }
}

}  // namespace

void TQmEditKbdHandler::CallKeyDownHandlers(TObject *Sender, std::uint16_t &Key,
                                            TShiftState Shift) {
  WalkBackwards(FKeyDownChain, FInKeyDown, [&] { return Key != 0; }, Sender,
                                Key, Shift);
}

void TQmEditKbdHandler::CallKeyUpHandlers(TObject *Sender, std::uint16_t &Key,
                                          TShiftState Shift) {
  WalkBackwards(FKeyUpChain, FInKeyUp, [&] { return Key != 0; }, Sender, Key,
                                Shift);
}

void TQmEditKbdHandler::CallKeyPressHandlers(TObject *Sender, char &Key) {
  WalkBackwards(FKeyPressChain, FInKeyPress, [&] { return Key != 0; },
                                     Sender, Key);
}

void TQmEditKbdHandler::CallMouseDownHandlers(TObject *Sender, TMouseButton Button,
                                              TShiftState Shift, int X, int Y) {
  WalkBackwards(FMouseDownChain, FInMouseDown, [] { return true; }, Sender,
                                  Button, Shift, X, Y);
}

void TQmEditKbdHandler::CallMouseUpHandlers(TObject *Sender, TMouseButton Button,
                                            TShiftState Shift, int X, int Y) {
  WalkBackwards(FMouseUpChain, FInMouseUp, [] { return true; }, Sender,
                                  Button, Shift, X, Y);
}

void TQmEditKbdHandler::CallMouseCursorHandlers(TObject *Sender, int X, int Y,
                                                TCursor &Cursor) {
  WalkBackwards(FMouseCursorChain, FInMouseCursor, [] { return true; },
                                        Sender, X, Y, Cursor);
}
