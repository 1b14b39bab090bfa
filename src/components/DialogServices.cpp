#include "components/DialogServices.h"

#include <QGuiApplication>
#include <QScreen>

#include "components/qtext.h"

namespace {

TQtDialogServices &QtServicesInstance() {
  static TQtDialogServices services;
  return services;
}

IDialogServices *installed = nullptr;

// A path that program text cannot hold (a character outside the code page) would come back
// as another path; such a pick counts as no usable path.
bool HoldsPath(const QString &path, std::string &out) {
  out = FromQ(path);
  return ToQ(out) == path;
}

}  // namespace

IDialogServices &DialogServices() { return installed ? *installed : QtServicesInstance(); }
void SetDialogServices(IDialogServices *Services) { installed = Services; }
IDialogServices &TScopedRecordingDialogs::QtDialogs() { return QtServicesInstance(); }

QStringList TQtDialogServices::NameFilters(const std::string &Filter) {
  const QStringList parts = ToQ(Filter).split(u'|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QString patterns = QString(parts[i + 1]).replace(u';', u' ');
    const QString &desc = parts[i];
    // Qt reads the patterns from the last parentheses of each entry.
    if (desc.endsWith(u'(' + patterns + u')'))
      out << desc;
    else
      out << desc + QStringLiteral(" (") + patterns + u')';
  }
  return out;
}

std::unique_ptr<QFileDialog> TQtDialogServices::CreateFileDialog(const TFileDialogRequest &Request) {
  auto dialog = std::make_unique<QFileDialog>(Request.Owner, ToQ(Request.Title), ToQ(Request.InitialDir));
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  const QStringList filters = NameFilters(Request.Filter);
  if (!filters.isEmpty()) dialog->setNameFilters(filters);
  dialog->setAcceptMode(Request.Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog->setFileMode(Request.Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!Request.DefaultExt.empty()) dialog->setDefaultSuffix(ToQ(Request.DefaultExt));
  if (Request.Save && !Request.OverwritePrompt) dialog->setOption(QFileDialog::DontConfirmOverwrite);
  if (!Request.FileName.empty()) dialog->selectFile(ToQ(Request.FileName));
  dialog->resize(dialog->sizeHint());
  PlaceDialog(dialog.get(), Request.Position, Request.Owner);
  return dialog;
}

TDialogAnswer TQtDialogServices::FileDialog(const TFileDialogRequest &Request) {
  std::unique_ptr<QFileDialog> dialog = CreateFileDialog(Request);
  TDialogAnswer answer;
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return answer;
  answer.Ok = HoldsPath(dialog->selectedFiles().first(), answer.Path);
  return answer;
}

TDialogAnswer TQtDialogServices::BrowseFolder(const TBrowseFolderBox &Box) {
  TDialogAnswer answer;
  const std::string root = SpecialFolderPath(Box.Root);
  if (root.empty()) return answer;
  TBrowseFolderDialog dialog(Box, ToQ(root), Box.OwnerHandle);
  if (dialog.exec() != QDialog::Accepted) return answer;
  answer.Ok = HoldsPath(dialog.SelectedPath(), answer.Path);
  answer.DisplayName = FromQ(dialog.SelectedDisplayName());
  return answer;
}

TDialogAnswer TRecordingDialogs::Next() {
  if (answers.empty()) return TDialogAnswer();
  TDialogAnswer a = answers.front();
  answers.pop_front();
  return a;
}

TDialogAnswer TRecordingDialogs::FileDialog(const TFileDialogRequest &Request) {
  QScreen *screen = Request.Owner ? Request.Owner->screen() : QGuiApplication::primaryScreen();
  QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
  files.push_back({Request, DialogPlacement(work, DialogSize, Request.Position, Request.Owner)});
  return Next();
}

TDialogAnswer TRecordingDialogs::BrowseFolder(const TBrowseFolderBox &Box) {
  folders.push_back(Box);
  return Next();
}
