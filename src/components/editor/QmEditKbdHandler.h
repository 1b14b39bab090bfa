// Chains of extra key and mouse handlers that the editor calls before its own handling.
#pragma once

#include <cstdint>
#include <vector>

#include "components/editor/QmEditKeyCmds.h"
#include "components/editor/QmEditTypes.h"

// Method references in registration order.
template <typename... Args>
class TMethodList : public TObject {
 public:
  using TMethodRef = TQmMethod<Args...>;
  const char *ClassName() const override { return "TMethodList"; }
  int Count() const { return static_cast<int>(FItems.size()); }
  const TMethodRef &Items(int Index) const { return FItems.at(static_cast<std::size_t>(Index)); }
  void Add(const TMethodRef &Method) { FItems.push_back(Method); }
  // Removes every registration of the method.
  void Remove(const TMethodRef &Method) {
    std::erase_if(FItems, [&](const TMethodRef &m) { return m == Method; });
  }

 private:
  std::vector<TMethodRef> FItems;
};

// Handler kinds. Sender is the editor; a key handler may change the key or the character,
// and clearing it (0) stops the walk.
using TKeyEvent = TQmMethod<TObject *, std::uint16_t &, TShiftState>;
using TKeyPressEvent = TQmMethod<TObject *, char &>;
using TMouseEvent = TQmMethod<TObject *, TMouseButton, TShiftState, int, int>;
using TMouseCursorEvent = TQmMethod<TObject *, int, int, TCursor &>;

class TQmEditKbdHandler : public TObject {
 public:
  const char *ClassName() const override { return "TQmEditKbdHandler"; }

  void AddKeyDownHandler(const TKeyEvent &H) { FKeyDownChain.Add(H); }
  void RemoveKeyDownHandler(const TKeyEvent &H) { FKeyDownChain.Remove(H); }
  void AddKeyUpHandler(const TKeyEvent &H) { FKeyUpChain.Add(H); }
  void RemoveKeyUpHandler(const TKeyEvent &H) { FKeyUpChain.Remove(H); }
  void AddKeyPressHandler(const TKeyPressEvent &H) { FKeyPressChain.Add(H); }
  void RemoveKeyPressHandler(const TKeyPressEvent &H) { FKeyPressChain.Remove(H); }
  void AddMouseDownHandler(const TMouseEvent &H) { FMouseDownChain.Add(H); }
  void RemoveMouseDownHandler(const TMouseEvent &H) { FMouseDownChain.Remove(H); }
  void AddMouseUpHandler(const TMouseEvent &H) { FMouseUpChain.Add(H); }
  void RemoveMouseUpHandler(const TMouseEvent &H) { FMouseUpChain.Remove(H); }
  void AddMouseCursorHandler(const TMouseCursorEvent &H) { FMouseCursorChain.Add(H); }
  void RemoveMouseCursorHandler(const TMouseCursorEvent &H) { FMouseCursorChain.Remove(H); }

  // Each call walks its chain from the last registered handler to the first and returns
  // at once when the same chain is already being walked (a handler that causes the same
  // event does not come back into it).
  void CallKeyDownHandlers(TObject *Sender, std::uint16_t &Key, TShiftState Shift);
  void CallKeyUpHandlers(TObject *Sender, std::uint16_t &Key, TShiftState Shift);
  void CallKeyPressHandlers(TObject *Sender, char &Key);
  void CallMouseDownHandlers(TObject *Sender, TMouseButton Button, TShiftState Shift, int X,
                             int Y);
  void CallMouseUpHandlers(TObject *Sender, TMouseButton Button, TShiftState Shift, int X,
                           int Y);
  void CallMouseCursorHandlers(TObject *Sender, int X, int Y, TCursor &Cursor);

 private:
  TMethodList<TObject *, std::uint16_t &, TShiftState> FKeyDownChain, FKeyUpChain;
  TMethodList<TObject *, char &> FKeyPressChain;
  TMethodList<TObject *, TMouseButton, TShiftState, int, int> FMouseDownChain, FMouseUpChain;
  TMethodList<TObject *, int, int, TCursor &> FMouseCursorChain;
  bool FInKeyDown = false, FInKeyUp = false, FInKeyPress = false, FInMouseDown = false,
       FInMouseUp = false, FInMouseCursor = false;
};
