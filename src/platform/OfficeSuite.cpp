#include "platform/OfficeSuite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/cp932.h"

namespace {

bool Executable(const std::string &path) { return !path.empty() && access(path.c_str(), X_OK) == 0; }

bool SpawnDetached(const std::vector<std::string> &argv) {
  if (argv.empty()) return false;
  std::vector<char *> args;
  for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) return false;
  pid_t child = fork();
  if (child < 0) {
    close(ready[0]);
    close(ready[1]);
    return false;
  }
  if (child == 0) {
    // The grandchild runs the program; the child ends at once so nothing waits for it.
    setsid();
    if (fork() == 0) {
      close(ready[0]);
      execvp(args[0], args.data());
      char failed = 1;
      (void)!write(ready[1], &failed, 1);
      _exit(127);
    }
    _exit(0);
  }
  close(ready[1]);
  int status = 0;
  waitpid(child, &status, 0);
  // The pipe closes on a successful exec (close-on-exec) or carries one byte on failure.
  char failed = 0;
  ssize_t n = read(ready[0], &failed, 1);
  close(ready[0]);
  return n <= 0;
}

TOfficeLauncher &Launcher() {
  static TOfficeLauncher launcher;
  return launcher;
}

std::string OleText(const TOleValue &v) {
  if (const std::string *s = std::get_if<std::string>(&v)) return *s;
  return std::string();
}

class TOfficeObject : public IOleObject, public std::enable_shared_from_this<TOfficeObject> {
 public:
  enum Kind { ServiceManager, PropertyValue, TempFile, TextOutputStream, Desktop };
  explicit TOfficeObject(Kind kind) : kind_(kind) {}

  TOleObjectPtr Obj(const std::string &name, const TOleArgs &args) override {
    if (kind_ == ServiceManager) {
      const std::string what = args.empty() ? std::string() : OleText(args[0]);
      if (name == "Bridge_GetStruct" && what == "com.sun.star.beans.PropertyValue")
        return std::make_shared<TOfficeObject>(PropertyValue);
      if (name == "createInstance") {
        if (what == "com.sun.star.io.TempFile") return NewTempFile();
        if (what == "com.sun.star.io.TextOutputStream") return std::make_shared<TOfficeObject>(TextOutputStream);
        if (what == "com.sun.star.frame.Desktop") return std::make_shared<TOfficeObject>(Desktop);
      }
    }
    throw EOleError("unknown member " + name);
  }
  TOleValue Get(const std::string &name, const TOleArgs &) override {
    if (kind_ == PropertyValue && name == "Name") return name_;
    if (kind_ == PropertyValue && name == "Value") return value_;
    throw EOleError("unknown property " + name);
  }
  void Set(const std::string &name, const TOleValue &value) override {
    if (kind_ == PropertyValue && name == "Name") name_ = OleText(value);
    else if (kind_ == PropertyValue && name == "Value") value_ = value;
    else throw EOleError("unknown property " + name);
  }
  TOleValue Call(const std::string &name, const TOleArgs &args) override {
    if (kind_ == TempFile && name == "seek") return {};
    if (kind_ == TextOutputStream) return StreamCall(name, args);
    if (kind_ == Desktop && name == "loadComponentFromURL" && args.size() == 4) return Load(args[3]);
    throw EOleError("unknown method " + name);
  }
  std::string Description() const override { return path_.empty() ? "Object" : path_; }

  const std::string &Path() const { return path_; }

 private:
  static TOleObjectPtr NewTempFile() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qmcalcXXXXXX.html").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    int fd = mkstemps(buf.data(), 5);
    if (fd < 0) throw EOleError("cannot create a temporary file");
    close(fd);
    auto file = std::make_shared<TOfficeObject>(TempFile);
    file->path_ = buf.data();
    return file;
  }

  TOleValue StreamCall(const std::string &name, const TOleArgs &args) {
    if (name == "setOutputStream" && !args.empty()) {
      auto p = std::get_if<std::shared_ptr<IOleObject>>(&args[0]);
      auto file = p ? std::dynamic_pointer_cast<TOfficeObject>(*p) : nullptr;
      if (!file || file->kind_ != TempFile) throw EOleError("setOutputStream needs a temporary file");
      out_ = file;
      return {};
    }
    if (name == "setEncoding" && !args.empty()) {
      encoding_ = OleText(args[0]);
      return {};
    }
    if (name == "writeString" && !args.empty()) {
      if (!out_) throw EOleError("no output stream");
      std::ofstream f(out_->path_, std::ios::binary | std::ios::app);
      // The import reads the page's encoding from its head.
      bool sjis = encoding_ == "Shift_JIS" || encoding_ == "SJIS" || encoding_ == "MS932";
      std::string text = OleText(args[0]);
      if (std::filesystem::file_size(out_->path_) == 0)
        f << "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" << (sjis ? "Shift_JIS" : "UTF-8")
          << "\">\n";
      f << (sjis ? text : cp932::ToUtf8(text));
      if (!f) throw EOleError("cannot write the stream");
      return {};
    }
    if (name == "closeOutput") return {};
    throw EOleError("unknown method " + name);
  }

  TOleValue Load(const TOleValue &properties) {
    auto a = std::get_if<std::shared_ptr<const TOleArray>>(&properties);
    std::string filter, file;
    if (a && *a)
      for (const TOleValue &item : (*a)->Items) {
        auto p = std::get_if<std::shared_ptr<IOleObject>>(&item);
        auto prop = p ? std::dynamic_pointer_cast<TOfficeObject>(*p) : nullptr;
        if (!prop || prop->kind_ != PropertyValue) continue;
        if (prop->name_ == "FilterName") filter = OleText(prop->value_);
        if (prop->name_ == "InputStream") {
          auto v = std::get_if<std::shared_ptr<IOleObject>>(&prop->value_);
          auto stream = v ? std::dynamic_pointer_cast<TOfficeObject>(*v) : nullptr;
          if (stream) file = stream->path_;
        }
      }
    if (file.empty()) throw EOleError("loadComponentFromURL: no input stream");
    std::vector<std::string> argv = {OfficeProgram(), "--calc"};
    if (!filter.empty()) argv.push_back("--infilter=" + filter);
    argv.push_back(file);
    bool started = Launcher() ? Launcher()(argv) : SpawnDetached(argv);
    if (!started) throw EOleSysError("cannot start " + argv[0]);
    return {};
  }

  Kind kind_;
  std::string path_;           // temporary file
  std::string name_;           // property value
  TOleValue value_;            // property value
  std::string encoding_;       // output stream
  std::shared_ptr<TOfficeObject> out_;
};

}  // namespace

std::string OfficeProgram() {
  if (const char *e = std::getenv("QUILLMAR_OFFICE")) return Executable(e) ? std::string(e) : std::string();
  const char *path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (const char *name : {"soffice", "libreoffice"}) {
    std::size_t start = 0;
    while (start <= dirs.size()) {
      std::size_t end = dirs.find(':', start);
      if (end == std::string::npos) end = dirs.size();
      std::string candidate = dirs.substr(start, end - start) + "/" + name;
      if (end > start && Executable(candidate)) return candidate;
      start = end + 1;
    }
  }
  return std::string();
}

void SetOfficeLauncher(TOfficeLauncher launcher) { Launcher() = std::move(launcher); }

TOleObjectPtr CreateOfficeServiceManager() {
  if (OfficeProgram().empty())
    throw EOleSysError(cp932::FromUtf8("クラス文字列が無効です: ") + "com.sun.star.ServiceManager");
  return std::make_shared<TOfficeObject>(TOfficeObject::ServiceManager);
}
