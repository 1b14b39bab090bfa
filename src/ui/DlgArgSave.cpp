#include "ui/DlgArgSave.h"

#include <QPushButton>
#include <filesystem>
#include <fstream>

#include "components/DialogServices.h"
#include "components/QtServices.h"
#include "components/qtext.h"
#include "engine/OutputFile.h"
#include "engine/UiServices.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "platform/fspath.h"
#include "ui/PickerPlacement.h"
#include "ui/UOption.h"
#include "ui_DlgArgSave.h"

using namespace cp932::literals;

namespace {
const char *const kWidthKey = "DlgArgSaveWidth";
const char *const kHeightKey = "DlgArgSaveHeight";
}  // namespace

bool WriteArgFile(const std::string &path, const std::vector<std::string> &lines) {
  // Written beside the file and renamed over it, so that a failed write leaves the old file;
  // a read-only file is not replaced, and a replaced one keeps its permissions.
  std::filesystem::path target, part;
  {
    std::ofstream f;
    if (!OpenReplacement(path, target, part, f)) return false;
    for (const std::string &line : lines) f << line << "\r\n";
    f.close();
    if (!f) {
      std::error_code ec;
      std::filesystem::remove(part, ec);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(part, target, ec);
  if (ec) std::filesystem::remove(part, ec);
  return !ec;
}

TDlgArgSave::TDlgArgSave(QWidget *owner) : QDialog(owner), ui(std::make_unique<Ui::DlgArgSave>()) {
  ui->setupUi(this);
  setMinimumSize(300, 300);
  ReadWindowSize(this, kWidthKey, kHeightKey);
  connect(ui->btnYes, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnYesClick(); }); });
  connect(ui->btnNo, &QPushButton::clicked, this, &TDlgArgSave::btnNoClick);
}

TDlgArgSave::~TDlgArgSave() = default;

void TDlgArgSave::SetLines(const std::vector<std::string> &lines) {
  QStringList q;
  for (const std::string &line : lines) q << ToQ(line);
  ui->mArgs->setPlainText(q.join('\n'));
}

std::vector<std::string> TDlgArgSave::Lines() const {
  std::vector<std::string> out;
  const QString text = ui->mArgs->toPlainText();
  if (text.isEmpty()) return out;
  for (const QString &line : text.split('\n')) out.push_back(FromQ(line));
  return out;
}

void TDlgArgSave::btnYesClick() {
  TFileDialogRequest r;
  r.Save = true;
  r.Owner = this;
  r.Title = "定型処理設定ファイル保存"_sj;
  r.Filter = "定型処理設定ファイル(*.arg)|*.arg|全てのファイル(*.*)|*.*"_sj;
  r.DefaultExt = "arg";
  r.OverwritePrompt = true;
  r.InitialDir = OptionData->TemplateFolder;
  const QPoint at = ui->btnYes->mapToGlobal(QPoint(0, ui->btnYes->height()));
  r.Position.Option = dpDesigned;
  r.Position.X = at.x();
  r.Position.Y = at.y();
  const TDialogAnswer a = DialogServices().FileDialog(r);
  if (a.Ok && !a.Path.empty() && !WriteArgFile(a.Path, Lines()))
    MsgBox(a.Path + " に書き込めません"_sj, "エラー"_sj, MB_OK | MB_ICONERROR);
  done(QDialog::Accepted);
}

void TDlgArgSave::btnNoClick() { done(QDialog::Rejected); }

void TDlgArgSave::done(int result) {
  WriteWindowSize(this, kWidthKey, kHeightKey);
  QDialog::done(result);
}
