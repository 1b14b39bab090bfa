// Chains of extra key and mouse handlers that the editor calls before its own handling.
#pragma once

#include <Qt>

#include <cstdint>
#include <vector>

#include "components/QmEditKeyCmds.h"

class QObject;

// A method reference: the object and the code to call on it. Two references are the same
// handler when both parts are equal.
struct TMethod {
  void *Data = nullptr;
  void (*Code)() = nullptr;
  bool operator==(const TMethod &) const = default;
};

// A typed method reference. Of<&T::Member>(object) binds a member function; the reference
// compares equal for the same object and member, so it can be removed again.
template <class... Args>
struct TQmMethodRef {
  using TCode = void (*)(void *, Args...);
  void *Data = nullptr;
  TCode Code = nullptr;

  template <auto Member, class T>
  static TQmMethodRef Of(T *Object) {
    return {Object, [](void *d, Args... a) { (static_cast<T *>(d)->*Member)(a...); }};
  }
  // A plain function taking the data pointer first.
  static TQmMethodRef Func(TCode Fn, void *Data = nullptr) { return {Data, Fn}; }

  explicit operator bool() const { return Code != nullptr; }
  void operator()(Args... a) const { Code(Data, a...); }

  TMethod ToMethod() const { return {Data, reinterpret_cast<void (*)()>(Code)}; }
  static TQmMethodRef FromMethod(const TMethod &m) {
    return {m.Data, reinterpret_cast<TCode>(m.Code)};
  }
};

// Method references in registration order.
class TMethodList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  const TMethod &Items(int Index) const { return FItems.at(static_cast<std::size_t>(Index)); }
  void Add(const TMethod &Method) { FItems.push_back(Method); }
  // Removes every registration of the method.
  void Remove(const TMethod &Method);

 private:
  std::vector<TMethod> FItems;
};

// Handler kinds. Sender is the editor; Key and Char may be changed (0 stops the walk).
using TQmKeyEventRef = TQmMethodRef<QObject *, std::uint16_t &, TShiftState>;
using TQmKeyPressEventRef = TQmMethodRef<QObject *, char &>;
using TQmMouseEventRef = TQmMethodRef<QObject *, Qt::MouseButton, TShiftState, int, int>;
using TQmMouseCursorEventRef = TQmMethodRef<QObject *, int, int, Qt::CursorShape &>;

class TQmEditKbdHandler {
 public:
  TQmEditKbdHandler() = default;
  TQmEditKbdHandler(const TQmEditKbdHandler &) = delete;
  TQmEditKbdHandler &operator=(const TQmEditKbdHandler &) = delete;

  void AddKeyDownHandler(TQmKeyEventRef H) { FKeyDownChain.Add(H.ToMethod()); }
  void RemoveKeyDownHandler(TQmKeyEventRef H) { FKeyDownChain.Remove(H.ToMethod()); }
  void AddKeyUpHandler(TQmKeyEventRef H) { FKeyUpChain.Add(H.ToMethod()); }
  void RemoveKeyUpHandler(TQmKeyEventRef H) { FKeyUpChain.Remove(H.ToMethod()); }
  void AddKeyPressHandler(TQmKeyPressEventRef H) { FKeyPressChain.Add(H.ToMethod()); }
  void RemoveKeyPressHandler(TQmKeyPressEventRef H) { FKeyPressChain.Remove(H.ToMethod()); }
  void AddMouseDownHandler(TQmMouseEventRef H) { FMouseDownChain.Add(H.ToMethod()); }
  void RemoveMouseDownHandler(TQmMouseEventRef H) { FMouseDownChain.Remove(H.ToMethod()); }
  void AddMouseUpHandler(TQmMouseEventRef H) { FMouseUpChain.Add(H.ToMethod()); }
  void RemoveMouseUpHandler(TQmMouseEventRef H) { FMouseUpChain.Remove(H.ToMethod()); }
  void AddMouseCursorHandler(TQmMouseCursorEventRef H) { FMouseCursorChain.Add(H.ToMethod()); }
  void RemoveMouseCursorHandler(TQmMouseCursorEventRef H) {
    FMouseCursorChain.Remove(H.ToMethod());
  }

  // Each call walks its chain from the last registered handler to the first and returns
  // at once when the same chain is already being walked. Key handlers stop the walk by
  // clearing the key (or the character).
  void CallKeyDownHandlers(QObject *Sender, std::uint16_t &Key, TShiftState Shift);
  void CallKeyUpHandlers(QObject *Sender, std::uint16_t &Key, TShiftState Shift);
  void CallKeyPressHandlers(QObject *Sender, char &Key);
  void CallMouseDownHandlers(QObject *Sender, Qt::MouseButton Button, TShiftState Shift, int X,
                             int Y);
  void CallMouseUpHandlers(QObject *Sender, Qt::MouseButton Button, TShiftState Shift, int X,
                           int Y);
  void CallMouseCursorHandlers(QObject *Sender, int X, int Y, Qt::CursorShape &Cursor);

 private:
  TMethodList FKeyDownChain, FKeyUpChain, FKeyPressChain, FMouseDownChain, FMouseUpChain,
      FMouseCursorChain;
  bool FInKeyDown = false, FInKeyUp = false, FInKeyPress = false, FInMouseDown = false,
       FInMouseUp = false, FInMouseCursor = false;
};
