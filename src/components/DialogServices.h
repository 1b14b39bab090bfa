// The standard dialogs the program shows (file open and save, folder picking) go through
// these services. The program uses the Qt dialogs; tests install a recording
// implementation that answers on cue, so that no modal dialog ever waits for a user.
#pragma once

#include <QFileDialog>
#include <QPoint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "components/BrwsFldr.h"
#include "components/PosDlgs.h"

struct TFileDialogRequest {
  bool Save = false;
  QWidget *Owner = nullptr;
  std::string Title, Filter, DefaultExt, InitialDir, FileName;  // program text
  bool OverwritePrompt = false;
  TDlgPosition Position;
};

struct TDialogAnswer {
  bool Ok = false;
  std::string Path;         // program text; empty for a chosen item that is no folder
  std::string DisplayName;  // folder picks only
};

class IDialogServices {
 public:
  virtual ~IDialogServices() = default;
  virtual TDialogAnswer FileDialog(const TFileDialogRequest &Request) = 0;
  virtual TDialogAnswer BrowseFolder(const TBrowseFolderBox &Box) = 0;
};

// The installed services (never null); SetDialogServices(nullptr) restores the Qt dialogs.
IDialogServices &DialogServices();
void SetDialogServices(IDialogServices *Services);

// The Qt dialogs, modal.
class TQtDialogServices : public IDialogServices {
 public:
  TDialogAnswer FileDialog(const TFileDialogRequest &Request) override;
  TDialogAnswer BrowseFolder(const TBrowseFolderBox &Box) override;
  // The file dialog of the request, filled in and placed, not yet shown.
  static std::unique_ptr<QFileDialog> CreateFileDialog(const TFileDialogRequest &Request);
  // "desc|patterns|desc|patterns" as Qt's filter list.
  static QStringList NameFilters(const std::string &Filter);
};

// Records every request and answers from a queue (cancel when it is empty). For each file
// dialog it also records where a dialog of DialogSize would have been placed.
class TRecordingDialogs : public IDialogServices {
 public:
  struct FileCall {
    TFileDialogRequest request;
    QPoint placed;
  };
  std::vector<FileCall> files;
  std::vector<TBrowseFolderBox> folders;
  std::deque<TDialogAnswer> answers;
  QSize DialogSize{400, 300};

  TDialogAnswer FileDialog(const TFileDialogRequest &Request) override;
  TDialogAnswer BrowseFolder(const TBrowseFolderBox &Box) override;

 private:
  TDialogAnswer Next();
};

// Installs a recording implementation for its lifetime (tests).
class TScopedRecordingDialogs : public TRecordingDialogs {
 public:
  TScopedRecordingDialogs() : previous_(&DialogServices()) { SetDialogServices(this); }
  ~TScopedRecordingDialogs() override { SetDialogServices(previous_ == &QtDialogs() ? nullptr : previous_); }
  static IDialogServices &QtDialogs();

 private:
  IDialogServices *previous_;
};
