// What the engine needs from the user interface, without knowing any window: message
// boxes, the report window (where SQL failures are shown), the busy cursor and the event pump. The program installs
// its Qt implementation at start; until then (and in unattended runs and tests) a
// recording implementation answers.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Message-box styles and answers, with the values the program's texts were written for.
enum : unsigned {
  MB_OK = 0x0,
  MB_OKCANCEL = 0x1,
  MB_ABORTRETRYIGNORE = 0x2,
  MB_YESNOCANCEL = 0x3,
  MB_YESNO = 0x4,
  MB_RETRYCANCEL = 0x5,
  MB_YESNOABORT = 0x7,  // Yes, No and Abort ("中止"), a choice the platform's boxes lack
  MB_ICONERROR = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONWARNING = 0x30,
  MB_ICONINFORMATION = 0x40,
  MB_DEFBUTTON2 = 0x100,
  MB_DEFBUTTON3 = 0x200,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

// A progress window of a long operation (the shell's copy progress), open while it lives.
class IProgressWindow {
 public:
  virtual ~IProgressWindow() = default;
  // Done of Total units so far and the item being worked on (program text); false once the
  // user has cancelled.
  virtual bool Progress(std::uint64_t Done, std::uint64_t Total, const std::string &Item) = 0;
  // Shows the window now rather than once the work proves long. From then on it holds the
  // program's other windows still: their input waits and they do not close.
  virtual void Show() {}
};

class IUiServices {
 public:
  virtual ~IUiServices() = default;
  // A modal box; text and caption are program text (CP932). Returns one of the ID values.
  virtual int MessageBox(const std::string &text, const std::string &caption, unsigned flags) = 0;
  // A read-only report window: caption, title line and a multi-line text (program text).
  // The SQL failure report uses it with the caption "SQL エラー".
  virtual void ShowReport(const std::string &caption, const std::string &title,
                          const std::string &text) = 0;
  // Busy cursor on and off; calls nest.
  virtual void BeginBusy() = 0;
  virtual void EndBusy() = 0;
  // Runs the pending events of the user interface once.
  virtual void ProcessMessages() = 0;
  // Opens a progress window with a cancel button (title: program text); none by default.
  virtual std::unique_ptr<IProgressWindow> OpenProgress(const std::string &title);
};

// The installed services (never null). SetUiServices(nullptr) restores the recording default.
// (Not named UiServices(): the forms compiled by uic live in namespace Ui.)
IUiServices &UiServices();
void SetUiServices(IUiServices *services);

// The work under way is to end at once: the user interface closes while it runs. Every loop
// that lets the events run ends its work at its next turn once this is set; the rows it has
// not reached stay unread. Set and cleared by the user interface.
void SetRunStopRequested(bool On);
bool RunStopRequested();

// Sets the busy cursor for its lifetime.
class TBusyCursor {
 public:
  TBusyCursor() { UiServices().BeginBusy(); }
  ~TBusyCursor() { UiServices().EndBusy(); }
  TBusyCursor(const TBusyCursor &) = delete;
  TBusyCursor &operator=(const TBusyCursor &) = delete;
};

// Lets the window's events run during a long step (a grid fill, the column widths): each
// time kInterval has passed since the last run rather than at every call, so the window
// still answers and a large result does not spend its time in the event loop. A step
// shorter than kInterval runs no events at all: one pass of the event loop costs as much
// as a small fill.
class TEventPump {
 public:
  void Tick() {
    if (FTicksPerPass > 0) {
      if (++ticks_ % FTicksPerPass == 0) UiServices().ProcessMessages();
      return;
    }
    const auto now = Clock::now();
    if (now - last_ < kInterval) return;
    UiServices().ProcessMessages();
    last_ = Clock::now();
  }

  // For its lifetime every pump lets the events through at each Ticks-th tick instead of by
  // the clock: a test sees events during a step however fast the machine runs it.
  class TByTicks {
   public:
    explicit TByTicks(int Ticks) : previous_(FTicksPerPass) { FTicksPerPass = Ticks; }
    ~TByTicks() { FTicksPerPass = previous_; }
    TByTicks(const TByTicks &) = delete;
    TByTicks &operator=(const TByTicks &) = delete;

   private:
    int previous_;
  };

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kInterval{50};
  static inline int FTicksPerPass = 0;  // 0: by the clock
  Clock::time_point last_ = Clock::now();
  int ticks_ = 0;
};

// Records every call as a line and answers message boxes from a queue (IDOK, or the
// default button of the style, when the queue is empty).
class TRecordingUi : public IUiServices {
 public:
  struct Box {
    std::string text, caption;
    unsigned flags;
  };
  std::vector<Box> boxes;
  struct Report {
    std::string caption, title, text;
  };
  std::vector<Report> reports;
  std::vector<int> answers;  // taken from the front
  int busy_depth = 0;
  int busy_max = 0;
  int pumps = 0;
  std::function<void()> on_pump;  // runs inside ProcessMessages when set
  // Progress windows opened, with what they were told; the user cancels a window once its
  // count reaches cancel_progress_at (never when 0).
  struct ProgressRecord {
    std::string title;
    std::vector<std::string> items;  // the items reported, each once in order
    std::uint64_t done = 0, total = 0;
    bool open = true;
  };
  std::vector<ProgressRecord> progress;
  std::uint64_t cancel_progress_at = 0;

  int MessageBox(const std::string &text, const std::string &caption, unsigned flags) override;
  void ShowReport(const std::string &caption, const std::string &title,
                  const std::string &text) override;
  void BeginBusy() override;
  void EndBusy() override;
  void ProcessMessages() override;
  std::unique_ptr<IProgressWindow> OpenProgress(const std::string &title) override;
};

// Installs a recording implementation for the lifetime of the object (tests).
class TScopedRecordingUi : public TRecordingUi {
 public:
  TScopedRecordingUi() : previous_(&UiServices()) { SetUiServices(this); }
  ~TScopedRecordingUi() override { SetUiServices(previous_ == &DefaultUi() ? nullptr : previous_); }
  static IUiServices &DefaultUi();

 private:
  IUiServices *previous_;
};
