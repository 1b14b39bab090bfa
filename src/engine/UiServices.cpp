#include "engine/UiServices.h"

namespace {

TRecordingUi &Fallback() {
  static TRecordingUi ui;
  return ui;
}

IUiServices *g_ui = nullptr;
bool g_run_stop = false;

int DefaultAnswer(unsigned flags) {
  switch (flags & 0xF) {
    case MB_OKCANCEL: return (flags & MB_DEFBUTTON2) ? IDCANCEL : IDOK;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNOABORT:
    case MB_YESNO: return (flags & MB_DEFBUTTON2) ? IDNO : IDYES;
    case MB_RETRYCANCEL: return IDRETRY;
    default: return IDOK;
  }
}

}  // namespace

IUiServices &UiServices() { return g_ui ? *g_ui : Fallback(); }

void SetUiServices(IUiServices *services) { g_ui = services; }

void SetRunStopRequested(bool On) { g_run_stop = On; }

bool RunStopRequested() { return g_run_stop; }

IUiServices &TScopedRecordingUi::DefaultUi() { return Fallback(); }

int TRecordingUi::MessageBox(const std::string &text, const std::string &caption, unsigned flags) {
  boxes.push_back({text, caption, flags});
  if (!answers.empty()) {
    int a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
  return DefaultAnswer(flags);
}

void TRecordingUi::ShowReport(const std::string &caption, const std::string &title,
                              const std::string &text) {
  reports.push_back({caption, title, text});
}

void TRecordingUi::BeginBusy() {
  ++busy_depth;
  if (busy_depth > busy_max) busy_max = busy_depth;
}

void TRecordingUi::EndBusy() {
  if (busy_depth > 0) --busy_depth;
}

void TRecordingUi::ProcessMessages() {
  ++pumps;
  if (on_pump) on_pump();
}

std::unique_ptr<IProgressWindow> IUiServices::OpenProgress(const std::string &) { return nullptr; }

namespace {

class TRecordedProgress : public IProgressWindow {
 public:
  TRecordedProgress(TRecordingUi &ui, std::size_t index) : ui_(ui), index_(index) {}
  ~TRecordedProgress() override { ui_.progress[index_].open = false; }
  bool Progress(std::uint64_t Done, std::uint64_t Total, const std::string &Item) override {
    TRecordingUi::ProgressRecord &r = ui_.progress[index_];
    r.done = Done;
    r.total = Total;
    if (r.items.empty() || r.items.back() != Item) r.items.push_back(Item);
    return ui_.cancel_progress_at == 0 || Done < ui_.cancel_progress_at;
  }

 private:
  TRecordingUi &ui_;
  std::size_t index_;
};

}  // namespace

std::unique_ptr<IProgressWindow> TRecordingUi::OpenProgress(const std::string &title) {
  progress.push_back({title, {}, 0, 0, true});
  return std::make_unique<TRecordedProgress>(*this, progress.size() - 1);
}
