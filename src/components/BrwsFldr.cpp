#include "components/BrwsFldr.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTreeView>

#include "components/DialogServices.h"
#include "components/qtext.h"

std::string SpecialFolderPath(int Csidl) {
  QString path;
  switch (Csidl) {
    case CSIDL_DESKTOP:
    case CSIDL_DRIVES:
      path = QDir::rootPath();
      break;
    case CSIDL_PERSONAL:
      path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
      break;
    case CSIDL_DESKTOPDIRECTORY:
      path = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
      break;
    case CSIDL_NETWORK:
      // Shares of other machines are mounted below /mnt.
      path = QFileInfo(QStringLiteral("/mnt")).isDir() ? QStringLiteral("/mnt") : QDir::rootPath();
      break;
    default:
      return std::string();
  }
  if (path.isEmpty() || !QFileInfo(path).isDir()) return std::string();
  return FromQ(path);
}

bool TBrowseFolderBox::Execute() {
  if (SpecialFolderPath(Root).empty()) return false;
  TDialogAnswer answer = DialogServices().BrowseFolder(*this);
  if (!answer.Ok || answer.Path.empty()) return false;
  Folder = answer.Path;
  DisplayName = answer.DisplayName;
  return true;
}

TBrowseFolderDialog::TBrowseFolderDialog(const TBrowseFolderBox &Box, const QString &RootPath, QWidget *Parent)
    : QDialog(Parent), root_(QDir::cleanPath(RootPath)), status_on_(Box.Flags & BIF_STATUSTEXT) {
  setWindowTitle(QString::fromUtf8("フォルダの参照"));
  title_ = new QLabel(ToQ(Box.Title), this);
  title_->setWordWrap(true);
  title_->setGeometry(12, 8, 296, 36);
  status_ = new QLabel(this);
  status_->setGeometry(12, 46, 296, 18);
  status_->setVisible(status_on_);
  model_ = new QFileSystemModel(this);
  model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  model_->setRootPath(root_);
  tree_ = new QTreeView(this);
  tree_->setObjectName("tvFolders");
  tree_->setModel(model_);
  tree_->setRootIndex(model_->index(root_));
  tree_->setHeaderHidden(true);
  for (int c = 1; c < model_->columnCount(); ++c) tree_->hideColumn(c);
  tree_->setGeometry(12, 68, 296, 282);
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setDefault(true);
  ok_->setGeometry(148, 362, 76, 26);
  cancel_ = new QPushButton(QString::fromUtf8("キャンセル"), this);
  cancel_->setGeometry(232, 362, 76, 26);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex &current) {
            if (status_on_) status_->setText(current.isValid() ? model_->filePath(current) : QString());
          });
  resize(kWidth, kHeight);
  if (!Box.InitialFolder.empty()) SelectFolder(ToQ(Box.InitialFolder));
  Adjust(Box);
}

// The tree grows, the buttons move with its lower right corner, and the dialog goes to the
// box's position, grown by the same amounts.
void TBrowseFolderDialog::Adjust(const TBrowseFolderBox &Box) {
  const int w = Box.WidthIncrement, h = Box.HeightIncrement;
  tree_->resize(tree_->width() + w, tree_->height() + h);
  for (QPushButton *b : {ok_, cancel_}) b->move(b->pos() + QPoint(w, h));
  title_->resize(title_->width() + w, title_->height());
  status_->resize(status_->width() + w, status_->height());
  setFixedSize(kWidth + w, kHeight + h);
  move(Box.Left, Box.Top);
}

bool TBrowseFolderDialog::SelectFolder(const QString &Path) {
  const QString path = QDir::cleanPath(QFileInfo(Path).absoluteFilePath());
  const bool below = root_ == QDir::rootPath() ? path.startsWith(root_) : path.startsWith(root_ + "/");
  if (!below || !QFileInfo(path).isDir()) return false;
  QModelIndex index = model_->index(path);
  if (!index.isValid()) return false;
  tree_->setCurrentIndex(index);
  tree_->scrollTo(index);
  return true;
}

QString TBrowseFolderDialog::SelectedPath() const {
  QModelIndex index = tree_->currentIndex();
  return index.isValid() ? model_->filePath(index) : root_;
}

QString TBrowseFolderDialog::SelectedDisplayName() const {
  QModelIndex index = tree_->currentIndex();
  if (index.isValid()) return model_->fileName(index);
  const QString name = QFileInfo(root_).fileName();
  return name.isEmpty() ? root_ : name;
}
