#include "engine/OutputFile.h"

#include <system_error>

#include "platform/cp932.h"
#include "platform/fspath.h"

namespace {

// Bytes gathered before they go to the file.
constexpr std::size_t kBlock = std::size_t{1} << 20;

}  // namespace

std::chrono::milliseconds TOutputFile::Interval{50};

TOutputFile::TOutputFile(const std::string &FileName, std::uint64_t Total)
    : target_(FsPath(FileName)), part_(TempBeside(target_)), total_(Total) {
  out_.open(part_, std::ios::binary | std::ios::trunc);
  open_ = static_cast<bool>(out_);
  if (!open_) return;
  buffer_.reserve(kBlock);
  item_ = FromFsPath(target_.filename());
  window_ = UiServices().OpenProgress(item_ + cp932::FromUtf8("を保存しています"));
  if (window_) cancelled_ = !window_->Progress(0, total_, item_);
}

void TOutputFile::ShowProgressNow() {
  if (window_) window_->Show();
}

TOutputFile::~TOutputFile() {
  if (committed_) return;
  if (out_.is_open()) out_.close();
  std::error_code ec;
  std::filesystem::remove(part_, ec);
}

void TOutputFile::Write(std::string_view Bytes) {
  buffer_.append(Bytes);
  if (buffer_.size() >= kBlock) Flush();
}

void TOutputFile::Flush() {
  if (open_) out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  buffer_.clear();
}

bool TOutputFile::Step(std::uint64_t Done) {
  if (!window_) {
    pump_.Tick();
  } else if (Clock::now() - last_ >= Interval) {
    if (!window_->Progress(Done, total_, item_)) cancelled_ = true;
    last_ = Clock::now();
  }
  return !Cancelled();
}

bool TOutputFile::Cancelled() const { return cancelled_ || RunStopRequested(); }

bool TOutputFile::Commit() {
  if (!open_ || Cancelled()) return false;
  // The bar reaches its end; キャンセル pressed at the last moment still counts.
  if (window_ && !window_->Progress(total_, total_, item_)) cancelled_ = true;
  if (cancelled_) return false;
  Flush();
  out_.close();
  if (!out_) return false;
  std::error_code ec;
  std::filesystem::rename(part_, target_, ec);
  committed_ = !ec;
  return committed_;
}
