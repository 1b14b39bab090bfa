#include "platform/Automation.h"

#include <cstdio>

#include "platform/OfficeSuite.h"
#include "platform/cp932.h"

namespace {

// No program on this system registers an automation server; the office suite's service
// manager is served by the suite's stand-in when the suite is installed.
class TNoAutomation : public IOleFactory {
 public:
  TOleObjectPtr GetActiveObject(const std::string &prog_id) override {
    throw EOleSysError(Message(prog_id));
  }
  TOleObjectPtr CreateOleObject(const std::string &prog_id) override {
    if (prog_id == "com.sun.star.ServiceManager") return CreateOfficeServiceManager();
    throw EOleSysError(Message(prog_id));
  }

 private:
  static std::string Message(const std::string &prog_id) {
    return cp932::FromUtf8("クラス文字列が無効です: ") + prog_id;
  }
};

TNoAutomation &DefaultFactory() {
  static TNoAutomation factory;
  return factory;
}

IOleFactory *g_factory = nullptr;

std::string ArgsText(const TOleArgs &args) {
  std::string s = "(";
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i) s += ",";
    s += OleValueText(args[i]);
  }
  return s + ")";
}

class TRecordedObject : public IOleObject, public std::enable_shared_from_this<TRecordedObject> {
 public:
  TRecordedObject(TRecordingAutomation *owner, std::string path) : owner_(owner), path_(std::move(path)) {}

  TOleObjectPtr Obj(const std::string &name, const TOleArgs &args) override {
    return std::make_shared<TRecordedObject>(owner_, Join(name + (args.empty() ? "" : ArgsText(args))));
  }
  TOleValue Get(const std::string &name, const TOleArgs &args) override {
    std::string p = Join(name + (args.empty() ? "" : ArgsText(args)));
    owner_->Record("get " + p);
    return owner_->Answer(p);
  }
  void Set(const std::string &name, const TOleValue &value) override {
    owner_->Record(Join(name) + " := " + OleValueText(value));
  }
  TOleValue Call(const std::string &name, const TOleArgs &args) override {
    owner_->Record(Join(name) + ArgsText(args));
    return {};
  }
  std::string Description() const override { return path_.empty() ? "Application" : path_; }

 private:
  std::string Join(const std::string &member) const { return path_.empty() ? member : path_ + "." + member; }
  TRecordingAutomation *owner_;
  std::string path_;
};

}  // namespace

std::string OleValueText(const TOleValue &v) {
  struct {
    std::string operator()(std::monostate) const { return "Empty"; }
    std::string operator()(bool b) const { return b ? "True" : "False"; }
    std::string operator()(std::int64_t i) const { return std::to_string(i); }
    std::string operator()(double d) const {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%g", d);
      return buf;
    }
    std::string operator()(const std::string &s) const { return "\"" + s + "\""; }
    std::string operator()(const std::shared_ptr<IOleObject> &o) const {
      return "<" + (o ? o->Description() : std::string("Nothing")) + ">";
    }
    std::string operator()(const std::shared_ptr<const TOleArray> &a) const {
      std::string s = "[";
      if (a)
        for (std::size_t i = 0; i < a->Items.size(); ++i) s += (i ? "," : "") + OleValueText(a->Items[i]);
      return s + "]";
    }
  } visit;
  return std::visit(visit, v);
}

TOleValue OleArray(std::vector<TOleValue> items) {
  auto a = std::make_shared<TOleArray>();
  a->Items = std::move(items);
  return std::shared_ptr<const TOleArray>(std::move(a));
}

IOleFactory &Automation() { return g_factory ? *g_factory : DefaultFactory(); }

void SetAutomation(IOleFactory *factory) { g_factory = factory; }

IOleFactory &TScopedRecordingAutomation::DefaultAutomation() { return DefaultFactory(); }

namespace {

// Reaches prog_id when it is in the set, else records the failure and throws EOleSysError.
TOleObjectPtr Reach(TRecordingAutomation &owner, const char *call, const std::set<std::string> &set,
                    const std::string &prog_id) {
  std::string line = std::string(call) + "(\"" + prog_id + "\")";
  if (!set.count(prog_id)) {
    owner.lines.push_back(line + " -> EOleSysError");
    throw EOleSysError(line + " failed");
  }
  owner.lines.push_back(line);
  return std::make_shared<TRecordedObject>(&owner, "");
}

}  // namespace

TOleObjectPtr TRecordingAutomation::GetActiveObject(const std::string &prog_id) {
  return Reach(*this, "GetActiveObject", running, prog_id);
}

TOleObjectPtr TRecordingAutomation::CreateOleObject(const std::string &prog_id) {
  return Reach(*this, "CreateOleObject", startable, prog_id);
}

void TRecordingAutomation::Record(const std::string &line) {
  if (!fail_on.empty() && line.find(fail_on) != std::string::npos) {
    lines.push_back(line + " -> EOleError");
    throw EOleError("call failed: " + line);
  }
  lines.push_back(line);
}

TOleValue TRecordingAutomation::Answer(const std::string &path) {
  if (path == "Workbooks.Count") return static_cast<std::int64_t>(workbook_names.size());
  const std::string item = "Workbooks.Item(";
  if (path.rfind(item, 0) == 0 && path.size() > item.size() + 6 &&
      path.compare(path.size() - 6, 6, ").Name") == 0) {
    std::size_t i = std::stoul(path.substr(item.size()));
    if (i >= 1 && i <= workbook_names.size()) return workbook_names[i - 1];
    throw EOleError("no workbook " + std::to_string(i));
  }
  return {};
}

std::string TRecordingAutomation::Transcript() const {
  std::string s;
  for (const auto &l : lines) s += l + "\n";
  return s;
}
