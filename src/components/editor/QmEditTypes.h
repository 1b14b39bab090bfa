// Basic types of the SQL editor: the object and persistent bases with class names and
// assignment, comparable method references for events and chains, colours and font
// styles in the program's stored form, character sets, and the two coordinate types.
#pragma once

#include <bitset>
#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "components/ControlTypes.h"
#include "engine/Exception.h"

// ---- objects -------------------------------------------------------------------------

class TObject {
 public:
  TObject() = default;
  TObject(const TObject &) = delete;
  TObject &operator=(const TObject &) = delete;
  virtual ~TObject() = default;
  virtual const char *ClassName() const { return "TObject"; }
};

// EConvertError (engine/Exception.h) is raised when an object is assigned from one of a
// class it cannot take values from.

class TPersistent : public TObject {
 public:
  const char *ClassName() const override { return "TPersistent"; }
  // Copies the values of Source. The base class takes nothing and raises EConvertError.
  virtual void Assign(const TPersistent &Source);
};

// ---- method references ---------------------------------------------------------------

// A method reference: the object and the code to call on it. Two references made from
// the same member function of the same object compare equal, so a handler can be removed
// from a chain by naming it again. A reference made from any other callable never equals
// another one.
template <typename... Args>
class TQmMethod {
 public:
  TQmMethod() = default;
  TQmMethod(std::nullptr_t) {}
  template <typename F, typename = std::enable_if_t<std::is_invocable_v<F &, Args...> &&
                                                    !std::is_same_v<std::decay_t<F>, TQmMethod>>>
  TQmMethod(F f) : call_(std::move(f)) {}

  // The reference to member function M of object Obj.
  template <auto M, typename C>
  static TQmMethod Of(C *Obj) {
    TQmMethod m;
    m.data_ = Obj;
    m.code_ = &Tag<M>::id;
    m.call_ = [Obj](Args... a) { (Obj->*M)(a...); };
    return m;
  }

  explicit operator bool() const { return static_cast<bool>(call_); }
  void operator()(Args... a) const {
    if (call_) call_(a...);
  }
  bool operator==(const TQmMethod &o) const {
    return code_ != nullptr && code_ == o.code_ && data_ == o.data_;
  }
  const void *Data() const { return data_; }

 private:
  template <auto M>
  struct Tag {
    static inline const char id = 0;
  };
  const void *data_ = nullptr;
  const void *code_ = nullptr;
  std::function<void(Args...)> call_;
};

using TNotifyEvent = TQmMethod<TObject *>;

// ---- scope guards --------------------------------------------------------------------

// Runs End when the scope is left, however it is left: the closing half of a "begin ...
// end" pair. When End raises while another exception is already on its way, End's is
// dropped so that the first one reaches the caller; on a normal exit End may raise.
template <typename F>
class TQmScopeExit {
 public:
  explicit TQmScopeExit(F End) : end_(std::move(End)), uncaught_(std::uncaught_exceptions()) {}
  TQmScopeExit(const TQmScopeExit &) = delete;
  TQmScopeExit &operator=(const TQmScopeExit &) = delete;
  ~TQmScopeExit() noexcept(false) {
    if (std::uncaught_exceptions() <= uncaught_) {
      end_();
      return;
    }
    try {
      end_();
    } catch (...) {
    }
  }

 private:
  F end_;
  int uncaught_;
};

// ---- components ----------------------------------------------------------------------

// A component knows its owner (which does not free it here) and whether it is being
// loaded from a stored layout; Loaded ends the loading. Whoever keeps a reference to a
// component asks to be told when it is freed.
class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent *AOwner = nullptr) : owner_(AOwner) {}
  ~TComponent() override { NotifyFreed(); }
  const char *ClassName() const override { return "TComponent"; }
  TComponent *Owner() const { return owner_; }
  bool IsLoading() const { return loading_; }
  void BeginLoading() { loading_ = true; }
  virtual void Loaded() { loading_ = false; }
  // Callbacks run when the component is freed (one per key; a new one replaces it).
  void FreeNotification(const void *Key, std::function<void()> Callback);
  void RemoveFreeNotification(const void *Key);

 protected:
  // Runs the callbacks once. A class whose holders still call into it while they let go
  // calls this first thing in its own destructor, while all of it is still there.
  void NotifyFreed();

 private:
  TComponent *owner_;
  bool loading_ = false;
  std::vector<std::pair<const void *, std::function<void()>>> freeNotify_;
};

// ---- fonts and cursors ---------------------------------------------------------------

// Font style bits; the four bits together index the sixteen style variants of a font.
using TFontStyles = std::uint8_t;
constexpr TFontStyles fsBold = 1;
constexpr TFontStyles fsItalic = 2;
constexpr TFontStyles fsUnderline = 4;
constexpr TFontStyles fsStrikeOut = 8;

constexpr int DEFAULT_CHARSET = 1;
constexpr int SHIFTJIS_CHARSET = 128;

using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crIBeam = -4;

// ---- character sets ------------------------------------------------------------------

using TQmCharSet = std::bitset<256>;

// The set of the given bytes; the set of the bytes From..To.
TQmCharSet MakeCharSet(std::string_view Chars);
TQmCharSet MakeCharRange(unsigned char From, unsigned char To);

// ---- editor coordinates --------------------------------------------------------------

// A position in the text: 1-based byte index within the line and 1-based line number.
struct TBufferPos {
  std::int32_t Char = 1;
  std::int32_t Line = 1;
  bool operator==(const TBufferPos &) const = default;
};

// A position on the screen grid: 1-based column after tab expansion and display row.
struct TDisplayPos {
  std::int32_t Column = 1;
  std::int32_t Row = 1;
  bool operator==(const TDisplayPos &) const = default;
};

inline TBufferPos MakeBufferPos(std::int32_t AChar, std::int32_t ALine) { return {AChar, ALine}; }
inline TDisplayPos MakeDisplayPos(std::int32_t AColumn, std::int32_t ARow) { return {AColumn, ARow}; }
