#include "ui/UStartup2.h"

#include "ui/UStartup.h"

#include <filesystem>

#include "components/BrwsFldr.h"
#include "components/QtServices.h"
#include "components/qtext.h"
#include "engine/options.h"
#include "platform/cp932.h"
#include "platform/fspath.h"
#include "ui_UStartup2.h"

using namespace cp932::literals;
namespace fs = std::filesystem;

TfrmStartup2::TfrmStartup2(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TfrmStartup2>()) {
  ui->setupUi(this);
  connect(ui->btnSaveFolder, &QPushButton::clicked, this, &TfrmStartup2::btnSaveFolderClick);
  connect(ui->ckRelativePath, &QCheckBox::clicked, this, &TfrmStartup2::ckRelativePathClick);
  connect(ui->btnOK, &QPushButton::clicked, this, &TfrmStartup2::btnOKClick);
  connect(ui->Button2, &QPushButton::clicked, this, &TfrmStartup2::Button2Click);
  if (parentWidget()) move(parentWidget()->geometry().center() - rect().center());
}

TfrmStartup2::~TfrmStartup2() = default;

void TfrmStartup2::btnSaveFolderClick() {
  setWindowTitle(ToQ("ダウンロードフォルダの選択"_sj));
  std::string folder;
  if (PickFolderAt16(this, CSIDL_DRIVES, OptionData->DownloadFolder, "ダウンロードファイル保存フォルダを指定して下さい"_sj,
                     BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT | BIF_NEWDIALOGSTYLE, folder))
    ui->edtSaveFolder->setText(ToQ(folder));
}

void TfrmStartup2::ckRelativePathClick() {
  const std::string text = FromQ(ui->edtSaveFolder->text());
  if (text.empty()) return;
  if (ui->ckRelativePath->isChecked()) {
    TOptionData relative = *OptionData;
    relative.DownloadRelativePath = true;
    ui->edtSaveFolder->setText(ToQ(relative.StoragePath(text)));
  } else if (text.front() != '/') {
    const fs::path full = (FsPath(OptionData->ProgramFolder) / FsPath(text)).lexically_normal();
    std::string out = FromFsPath(full);
    if (out.size() > 1 && out.back() == '/') out.pop_back();
    ui->edtSaveFolder->setText(ToQ(out));
  }
}

void TfrmStartup2::btnOKClick() {
  FConfirmed = true;
  const std::string text = FromQ(ui->edtSaveFolder->text());
  if (!text.empty()) {
    TOptionData &o = *OptionData;
    o.dirDownloadPath = text;
    o.DownloadRelativePath = ui->ckRelativePath->isChecked();
    std::string folder = o.StoragePath(o.dirDownloadPath);
    // A relative folder lies below the program folder, whatever the working folder.
    if (folder.front() != '/') folder = o.ProgramFolder + folder;
    o.DownloadFolder = folder;
    std::error_code ec;
    if (!fs::is_directory(FsPath(folder), ec) && !fs::create_directories(FsPath(folder), ec))
      MsgBox(folder + "を作成できません"_sj, "エラー"_sj, MB_OK | MB_ICONERROR);
  }
  close();
}

void TfrmStartup2::Button2Click() {
  Cancelled = true;
  close();
}

void TfrmStartup2::done(int Result) {
  if (!FConfirmed) Cancelled = true;
  QDialog::done(Result);
}
