#include "engine/OutputFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <system_error>

#include "platform/cp932.h"
#include "platform/fspath.h"

namespace {

// Bytes gathered before they go to the file.
constexpr std::size_t kBlock = std::size_t{1} << 20;

// The file the bytes are for: a link is followed, so that the file it points to is the one
// replaced, as a write straight into the link would do.
std::filesystem::path Followed(const std::filesystem::path &target) {
  std::error_code ec;
  std::filesystem::path real = std::filesystem::canonical(target, ec);
  return ec ? target : real;
}

// The part's name is short and of a fixed length: any name the folder takes for the target
// leaves room for it, up to the longest.
std::filesystem::path PartBeside(const std::filesystem::path &target) {
  static thread_local std::random_device rd;
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  char name[32];
  std::snprintf(name, sizeof name, ".qm%08x.part", static_cast<unsigned>(rd()));
  return folder / name;
}

}  // namespace

bool OpenReplacement(const std::string &FileName, std::filesystem::path &target, std::filesystem::path &part,
                     std::ofstream &out) {
  target = Followed(FsPath(FileName));
  part = PartBeside(target);
  // A file that is there is replaced only where it could be written into, as a write into it
  // would be refused.
  struct stat st{};
  const bool existed = ::stat(target.c_str(), &st) == 0;
  if (existed && (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0))
    return false;
  out.open(part, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  if (existed) {
    std::error_code ec;
    std::filesystem::permissions(part, static_cast<std::filesystem::perms>(st.st_mode & 07777), ec);
  }
  return true;
}

std::chrono::milliseconds TOutputFile::Interval{50};

TOutputFile::TOutputFile(const std::string &FileName, std::uint64_t Total) : total_(Total) {
  open_ = OpenReplacement(FileName, target_, part_, out_);
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
