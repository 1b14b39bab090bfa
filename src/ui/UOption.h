// The settings dialog "設定": edits the settings object in memory and applies the changes at
// once to the main window's fonts, grids, SQL editor and highlighter, log pane and tool
// bars. The file itself is written when the main window closes.
//
// Also here: stored fonts and colour codes turned into Qt's fonts and colours and back, and
// the font and colour pickers, which run through services that tests replace.
#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QStringList>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/options.h"

class QComboBox;
class QLineEdit;
class QWidget;
class TCustomQmEdit;
class TQmSQLSyn;

namespace Ui {
class TfrmOption;
}

// ---- Stored fonts and colour codes ----

// The stored font as a Qt font, starting from base: name (when not empty), pixel height
// (negative heights are character heights), size in points when above 0, style bits.
QFont FontFromInfo(const TFontInfo &info, const QFont &base = QFont());
// The font as a stored font with the given colour code.
TFontInfo FontToInfo(const QFont &font, std::int32_t color);
// A colour code: top bit set names a system colour by index (5 window, 8 window text,
// 13 highlight, 14 highlight text, 15 button face ...), else 00BBGGRR.
QColor ColorFromCode(std::int32_t code);
std::int32_t ColorToCode(const QColor &color);
// "ColorA=" and the code as eight upper-case hexadecimal digits.
std::string CustomColorText(std::int32_t code);
// A widget's text colour in its enabled states: disabled text keeps the style's own colour.
void SetTextColor(QWidget *w, const QColor &color);
// A stored font on a widget, its colour with it as the text colour. At start-up and from the
// settings dialog alike.
void ApplyStoredFont(QWidget *w, const TFontInfo &info);
// The stored font's colour as a Qt colour (a system colour by the palette colour it names).
QColor StoredFontColor(const TFontInfo &info);

// Runs a handler at a window's edge: a failure is shown in the error box ("エラー", the
// exception's class name and message), never passed on.
void RunGuarded(const std::function<void()> &handler);

// ---- Font and colour pickers ----

class IPickerDialogs {
 public:
  virtual ~IPickerDialogs() = default;
  // Starts from font; true with the chosen font on OK.
  virtual bool ChooseFont(QWidget *owner, TFontInfo &font) = 0;
  // Starts from color, with custom colour A preset as given ("ColorA=XXXXXXXX"); true with
  // the chosen colour on OK.
  virtual bool ChooseColor(QWidget *owner, std::int32_t &color, const std::string &custom_colors) = 0;
};
IPickerDialogs &PickerDialogs();
void SetPickerDialogs(IPickerDialogs *dialogs);  // nullptr restores the Qt dialogs

// Records each request and answers from queues (cancel when empty).
class TScopedRecordingPickers : public IPickerDialogs {
 public:
  TScopedRecordingPickers();
  ~TScopedRecordingPickers() override;
  struct FontCall {
    TFontInfo start;
  };
  struct ColorCall {
    std::int32_t start;
    std::string custom_colors;
  };
  std::vector<FontCall> fonts;
  std::vector<ColorCall> colors;
  std::deque<TFontInfo> font_answers;
  std::deque<std::int32_t> color_answers;
  bool ChooseFont(QWidget *owner, TFontInfo &font) override;
  bool ChooseColor(QWidget *owner, std::int32_t &color, const std::string &custom_colors) override;

 private:
  IPickerDialogs *previous_;
};

// ---- What the dialog changes in the main window ----

// The main window fills this in before showing the dialog; what it leaves empty is skipped.
struct TOptionTargets {
  QWidget *MainForm = nullptr;        // takes MainFormFont
  QWidget *TemplatePane = nullptr;    // the fixed-procedure pane: MainFormFont
  QWidget *CropFrame = nullptr;       // the crop-selection frame: MainFormFont
  QWidget *WebSearchLabel = nullptr;  // name and size of MainFormFont
  // The application, pest, chemical and SQL grids: TekiyouColor as background.
  std::vector<QWidget *> ResultGrids;
  // The application, pest, chemical, template, SQL and ingredient grids: TekiyouFont.
  std::vector<QWidget *> TekiyouFontGrids;
  QWidget *SeibunGrid = nullptr;  // SeibunGridFont; default row height from it
  QFont *EvenRowFont = nullptr;   // Tekiyou2Font
  QColor *EvenRowColor = nullptr; // Tekiyou2Font's colour
  QWidget *LogPane = nullptr;     // LogFont, LogColor
  TCustomQmEdit *SQLEdit = nullptr;
  TQmSQLSyn *Highlighter = nullptr;
  std::function<void()> FormViewSettings;        // image sizes and tree indent
  std::function<void()> ApplyToolBarOptions;     // flat tool bars and button captions
  std::function<bool()> CurrentGridVisible;      // the current result grid is shown
  std::function<void()> AdjustGridColumnWidths;  // sizes its columns again
};

class TfrmOption : public QDialog {
  Q_OBJECT

 public:
  TfrmOption(QWidget *owner, TOptionTargets targets = {});
  ~TfrmOption() override;

  // Samples by their tag: 1 eTekiyou, 2 eTekiyou2, 3 eSeibun, 4 eLog, 5 eEdit, 6 eMain,
  // 7 eSQLEdit.
  QLineEdit *Sample(int tag) const;
  const TFontInfo &SampleFont(int tag) const { return FSampleFonts.at(tag); }
  std::int32_t SampleColor(int tag) const;

  // Handlers.
  void FormCreate();
  void FormShow();
  void bUpdateClick(int tag);  // tag 1 OK, 3 "適用"
  void bCancelClick();
  void bFontClick(int tag);
  void bColorClick(int tag);
  void btnDefaultViewClick();
  void ckTekiyouEveryOtherLineClick();
  void btnBrowseClick();
  void ckUseLANClick();
  void rgDownSiteClick();
  void ckUseProxyAuthClick();
  void ckProxyManualClick();
  void ckSeibunSoSiyoKaisuClick();
  void btnExportssCssClick();
  void btnSaveFolderClick();
  void ckRelativePathClick();
  void ApplyFonts();
  // Files dropped on the shared-folder edit: the first path (at most 260 characters).
  void SharedFolderDrop(const QStringList &paths);

 protected:
  void showEvent(QShowEvent *e) override;
  bool eventFilter(QObject *watched, QEvent *e) override;

 private:
  void FillSamples();
  void FillSqlControls();
  void SetSampleFont(int tag, const TFontInfo &info);
  void SetSampleColor(int tag, std::int32_t code);
  void ApplyHighlighter();
  int DownSiteIndex() const;
  void Guarded(const std::function<void()> &handler);

  std::unique_ptr<Ui::TfrmOption> ui;
  TOptionTargets FTargets;
  std::map<int, TFontInfo> FSampleFonts;
  std::map<int, std::int32_t> FSampleColors;
  bool FFontsChosen = false;
};

// A colour box: a list of the standard colours (and the current colour when it is none of
// them) with the colour codes as item data.
void FillColorBox(QComboBox *box, std::int32_t code);
std::int32_t ColorBoxValue(const QComboBox *box);
