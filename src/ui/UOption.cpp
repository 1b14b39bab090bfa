#include "ui/UOption.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDropEvent>
#include <QFontDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <cstdio>
#include <filesystem>

#include "components/BrwsFldr.h"
#include "components/PosDlgs.h"
#include "components/editor/QmEdit.h"
#include "components/editor/QmEditMiscProcs.h"
#include "components/editor/QmHighlighterSQL.h"
#include "components/QtServices.h"
#include "components/WinSpinEdit.h"
#include "components/qtext.h"
#include "engine/AcisSvr.h"
#include "engine/Exception.h"
#include "ui_UOption.h"

using namespace cp932::literals;

// ---------------------------------------------------------------- fonts and colours

QFont FontFromInfo(const TFontInfo &info, const QFont &base) {
  QFont f = base;
  if (!info.Name.empty()) f.setFamily(ToQ(info.Name));
  if (info.Size > 0) f.setPointSize(info.Size);
  else if (info.Height != 0) f.setPixelSize(info.Height < 0 ? -info.Height : info.Height);
  f.setBold(info.Style & 1);
  f.setItalic(info.Style & 2);
  f.setUnderline(info.Style & 4);
  f.setStrikeOut(info.Style & 8);
  return f;
}

TFontInfo FontToInfo(const QFont &font, std::int32_t color) {
  TFontInfo info;
  info.Name = FromQ(font.family());
  int px = font.pixelSize();
  if (px <= 0) px = QFontMetrics(font).ascent() + QFontMetrics(font).descent() - QFontMetrics(font).leading();
  info.Height = px > 0 ? -px : -12;
  info.Size = font.pointSize() > 0 ? font.pointSize() : static_cast<int>(std::lround(px * 72.0 / 96.0));
  info.Style = (font.bold() ? 1 : 0) | (font.italic() ? 2 : 0) | (font.underline() ? 4 : 0) | (font.strikeOut() ? 8 : 0);
  info.Color = color;
  return info;
}

QColor ColorFromCode(std::int32_t code) { return ToQColor(ColorFromSettings(code)); }

std::int32_t ColorToCode(const QColor &color) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(color.red()) |
                                   (static_cast<std::uint32_t>(color.green()) << 8) |
                                   (static_cast<std::uint32_t>(color.blue()) << 16));
}

std::string CustomColorText(std::int32_t code) {
  char buf[20];
  std::snprintf(buf, sizeof buf, "ColorA=%08X", static_cast<unsigned>(code));
  return buf;
}

QColor StoredFontColor(const TFontInfo &info) { return ColorFromCode(info.Color); }

void SetTextColor(QWidget *w, const QColor &color) {
  QPalette pal = w->palette();
  for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive})
    for (QPalette::ColorRole r : {QPalette::Text, QPalette::WindowText}) pal.setColor(g, r, color);
  w->setPalette(pal);
}

void ApplyStoredFont(QWidget *w, const TFontInfo &info) {
  if (!w) return;
  w->setFont(FontFromInfo(info, w->font()));
  SetTextColor(w, StoredFontColor(info));
}

namespace {

void SetBackground(QWidget *w, std::int32_t code) {
  if (!w) return;
  QPalette pal = w->palette();
  pal.setColor(QPalette::Base, ColorFromCode(code));
  w->setPalette(pal);
  w->update();
}

// ---- the Qt pickers

class TQtPickerDialogs : public IPickerDialogs {
 public:
  bool ChooseFont(QWidget *owner, TFontInfo &font) override {
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, FontFromInfo(font), owner);
    if (ok) font = FontToInfo(chosen, font.Color);
    return ok;
  }
  bool ChooseColor(QWidget *owner, std::int32_t &color, const std::string &) override {
    QColorDialog::setCustomColor(0, ColorFromCode(color));
    const QColor chosen = QColorDialog::getColor(ColorFromCode(color), owner);
    if (!chosen.isValid()) return false;
    color = ColorToCode(chosen);
    return true;
  }
};

TQtPickerDialogs &QtPickers() {
  static TQtPickerDialogs pickers;
  return pickers;
}

IPickerDialogs *g_pickers = nullptr;

}  // namespace

IPickerDialogs &PickerDialogs() { return g_pickers ? *g_pickers : QtPickers(); }
void SetPickerDialogs(IPickerDialogs *dialogs) { g_pickers = dialogs; }

TScopedRecordingPickers::TScopedRecordingPickers() : previous_(g_pickers) { g_pickers = this; }
TScopedRecordingPickers::~TScopedRecordingPickers() { g_pickers = previous_; }

bool TScopedRecordingPickers::ChooseFont(QWidget *, TFontInfo &font) {
  fonts.push_back({font});
  if (font_answers.empty()) return false;
  font = font_answers.front();
  font_answers.pop_front();
  return true;
}

bool TScopedRecordingPickers::ChooseColor(QWidget *, std::int32_t &color, const std::string &custom_colors) {
  colors.push_back({color, custom_colors});
  if (color_answers.empty()) return false;
  color = color_answers.front();
  color_answers.pop_front();
  return true;
}

// ---------------------------------------------------------------- colour boxes

void FillColorBox(QComboBox *box, std::int32_t code) {
  static const struct {
    const char *name;
    std::int32_t code;
  } kColors[] = {{"黒", 0x000000},   {"栗色", 0x000080}, {"緑", 0x008000},   {"オリーブ", 0x008080},
                 {"紺", 0x800000},   {"紫", 0x800080},   {"青緑", 0x808000}, {"灰色", 0x808080},
                 {"銀色", 0xC0C0C0}, {"赤", 0x0000FF},   {"ライム", 0x00FF00}, {"黄", 0x00FFFF},
                 {"青", 0xFF0000},   {"赤紫", 0xFF00FF}, {"水色", 0xFFFF00}, {"白", 0xFFFFFF}};
  QSignalBlocker quiet(box);
  box->clear();
  auto add = [box](const QString &name, std::int32_t c) {
    QPixmap swatch(12, 12);
    swatch.fill(ColorFromCode(c));
    box->addItem(QIcon(swatch), name, QVariant(static_cast<qint64>(c)));
  };
  int at = -1;
  for (const auto &c : kColors) {
    if (c.code == code) at = box->count();
    add(QString::fromUtf8(c.name), c.code);
  }
  if (at < 0) {
    at = box->count();
    add(QStringLiteral("%1").arg(static_cast<unsigned>(code), 8, 16, QLatin1Char('0')).toUpper(), code);
  }
  box->setCurrentIndex(at);
}

std::int32_t ColorBoxValue(const QComboBox *box) {
  return static_cast<std::int32_t>(box->currentData().toLongLong());
}

// ---------------------------------------------------------------- the dialog

TfrmOption::TfrmOption(QWidget *owner, TOptionTargets targets)
    : QDialog(owner), ui(new Ui::TfrmOption), FTargets(std::move(targets)) {
  ui->setupUi(this);
  ui->bOk->setDefault(true);
  ui->PageControl1->setTabVisible(ui->PageControl1->indexOf(ui->TabSheet2), false);
  ui->PageControl1->setTabVisible(ui->PageControl1->indexOf(ui->tabDatabase), false);
  ui->lblEdit->setVisible(false);
  ui->eEdit->setVisible(false);
  ui->bEditFont->setVisible(false);
  ui->gbSeibunView->setVisible(false);
  for (QLineEdit *e : {ui->eMain, ui->eTekiyou, ui->eTekiyou2, ui->eSeibun, ui->eLog, ui->eEdit, ui->eSQLEdit})
    e->setCursorPosition(0);

  auto *sites = new QButtonGroup(this);
  const QRadioButton *radios[5] = {ui->rbDownSite0, ui->rbDownSite1, ui->rbDownSite2, ui->rbDownSite3,
                                   ui->rbDownSite4};
  for (int i = 0; i < 5; ++i) sites->addButton(const_cast<QRadioButton *>(radios[i]), i);
  connect(sites, &QButtonGroup::idClicked, this, [this] { rgDownSiteClick(); });

  for (int i = 0; i < 4; ++i) ui->cbTorvDBSite->addItem(ToQ(DataSites().TorvLabel[i]));

  auto tagOf = [](QObject *o) { return o->property("Tag").toInt(); };
  for (QPushButton *b : {ui->bFontMain, ui->bFont1_, ui->bFont2, ui->bSeibun, ui->bFont4, ui->bEditFont, ui->bFont3})
    connect(b, &QPushButton::clicked, this, [this, b, tagOf] { Guarded([&] { bFontClick(tagOf(b)); }); });
  for (QPushButton *b : {ui->bColor1_, ui->bColor2, ui->bColor4, ui->bColor3})
    connect(b, &QPushButton::clicked, this, [this, b, tagOf] { Guarded([&] { bColorClick(tagOf(b)); }); });
  connect(ui->bOk, &QPushButton::clicked, this, [this] { Guarded([this] { bUpdateClick(1); }); });
  connect(ui->bUpdate, &QPushButton::clicked, this, [this] { Guarded([this] { bUpdateClick(3); }); });
  connect(ui->bCancel, &QPushButton::clicked, this, [this] { bCancelClick(); });
  connect(ui->btnDbCancel, &QPushButton::clicked, this, [this] { bCancelClick(); });
  connect(ui->btnDefaultView, &QPushButton::clicked, this, [this] { btnDefaultViewClick(); });
  connect(ui->ckTekiyouEveryOtherLine, &QCheckBox::clicked, this, [this] { ckTekiyouEveryOtherLineClick(); });
  connect(ui->btnBrowse, &QPushButton::clicked, this, [this] { Guarded([this] { btnBrowseClick(); }); });
  connect(ui->ckUseLAN, &QCheckBox::clicked, this, [this] { ckUseLANClick(); });
  connect(ui->ckUseProxyAuth, &QCheckBox::clicked, this, [this] { ckUseProxyAuthClick(); });
  connect(ui->ckProxyManual, &QCheckBox::clicked, this, [this] { ckProxyManualClick(); });
  connect(ui->ckSeibunSoSiyoKaisu, &QCheckBox::clicked, this, [this] { ckSeibunSoSiyoKaisuClick(); });
  connect(ui->btnExportssCss, &QPushButton::clicked, this, [this] { Guarded([this] { btnExportssCssClick(); }); });
  connect(ui->btnSaveFolder, &QPushButton::clicked, this, [this] { Guarded([this] { btnSaveFolderClick(); }); });
  connect(ui->ckRelativePath, &QCheckBox::clicked, this, [this] { ckRelativePathClick(); });

  FormCreate();
}

TfrmOption::~TfrmOption() = default;

void RunGuarded(const std::function<void()> &handler) {
  RunAtBoundary(handler, [](const std::exception &e) {
    // The program's own classes name themselves; another failure shows its text alone.
    const bool own = dynamic_cast<const Exception *>(&e) != nullptr;
    MsgBox(own ? ExceptionClassName(e) + "\r\n" + e.what() : std::string(e.what()), "エラー"_sj, MB_OK | MB_ICONERROR);
  });
}

void TfrmOption::Guarded(const std::function<void()> &handler) { RunGuarded(handler); }

QLineEdit *TfrmOption::Sample(int tag) const {
  switch (tag) {
    case 1: return ui->eTekiyou;
    case 2: return ui->eTekiyou2;
    case 3: return ui->eSeibun;
    case 4: return ui->eLog;
    case 5: return ui->eEdit;
    case 6: return ui->eMain;
    case 7: return ui->eSQLEdit;
    default: return nullptr;
  }
}

std::int32_t TfrmOption::SampleColor(int tag) const {
  auto it = FSampleColors.find(tag);
  return it == FSampleColors.end() ? static_cast<std::int32_t>(0x80000005u) : it->second;
}

void TfrmOption::SetSampleFont(int tag, const TFontInfo &info) {
  FSampleFonts[tag] = info;
  ApplyStoredFont(Sample(tag), info);
}

void TfrmOption::SetSampleColor(int tag, std::int32_t code) {
  FSampleColors[tag] = code;
  SetBackground(Sample(tag), code);
}

// ---------------------------------------------------------------- start and show

void TfrmOption::FormCreate() {
  // Dropped folders land in the shared-folder edit.
  ui->edtSharedFolder->setAcceptDrops(true);
  ui->edtSharedFolder->installEventFilter(this);
  ui->eTekiyou2->installEventFilter(this);
  FillSamples();
  FillSqlControls();
}

// The samples, their colours and the SQL editor's controls, from the settings.
void TfrmOption::FillSamples() {
  const TOptionData &o = *OptionData;
  SetSampleFont(6, o.MainFormFont);
  SetSampleFont(1, o.TekiyouFont);
  SetSampleFont(2, o.Tekiyou2Font);
  SetSampleFont(3, o.SeibunGridFont);
  SetSampleFont(4, o.LogFont);
  SetSampleFont(5, TFontInfo());
  SetSampleFont(7, o.SQLEditFont);
  SetSampleColor(1, o.TekiyouColor);
  SetSampleColor(2, o.TekiyouColor2);
  SetSampleColor(4, o.LogColor);
  SetSampleColor(7, o.SQLEditColor);
}

void TfrmOption::FillSqlControls() {
  const TOptionData &o = *OptionData;
  FillColorBox(ui->cbSQLKeywordColor, o.SQLKeywordColor);
  FillColorBox(ui->cbSQLCommentColor, o.SQLCommentColor);
  FillColorBox(ui->cbSQLFunctionColor, o.SQLFunctionColor);
  FillColorBox(ui->cbSQLDatatypeColor, o.SQLDatatypeColor);
  FillColorBox(ui->cbTableNameColor, o.SQLTableNameColor);
  FillColorBox(ui->cbSQLPLsqlColor, o.SQLPLsqlColor);
  FillColorBox(ui->cbSQLWindowFunctionColor, o.SQLPlusColor);
  FillColorBox(ui->cbSQLPragmasColor, o.SQLPragmasColor);
  ui->ckSQLKeywordBold->setChecked(o.SQLKeywordBold);
  ui->ckSQLCommentBold->setChecked(o.SQLCommentBold);
  ui->ckSQLCommentItalic->setChecked(o.SQLCommentItalic);
  ui->ckSQLFunctionBold->setChecked(o.SQLFunctionBold);
  ui->ckSQLDatatypeBold->setChecked(o.SQLDatatypeBold);
  ui->ckTableNameBold->setChecked(o.SQLTableNameBold);
  ui->ckSQLPLsqlBold->setChecked(o.SQLPLsqlBold);
  ui->ckSQLWindowFunctionBold->setChecked(o.SQLPlusBold);
  ui->ckSQLPragmasBold->setChecked(o.SQLPragmasBold);
  ui->seLineSpacing->SetValue(o.SQLEditorLineSpace);
  ui->ckShowLineNumber->setChecked(o.SQLEditorLineNumber);
  ui->seRightEdge->SetValue(o.SQLEditorRightEdge);
  ui->ckWordwrap->setChecked(o.SQLEditorWordwrap);
}

void TfrmOption::showEvent(QShowEvent *e) {
  QDialog::showEvent(e);
  if (!e->spontaneous()) FormShow();
}

void TfrmOption::FormShow() {
  const TOptionData &o = *OptionData;
  ui->PageControl1->setCurrentWidget(ui->tabView);
  ui->ckTekiyouEveryOtherLine->setChecked(o.TekiyouGridEveryOtherLine);
  ui->ckToolBarFlat->setChecked(o.ToolBarFlat);
  ui->ckToolbarCaption->setChecked(o.ToolBarCaption);
  ui->cbMenuImageSize->setCurrentIndex(std::min<int>(o.MenuImageSize, 3));
  ui->cbBtnImageSize->setCurrentIndex(std::min<int>(o.BtnImageSize, 3));
  ui->seTreeIndent->SetValue(o.SakumotsuTreeIndent);
  ckTekiyouEveryOtherLineClick();

  ui->cbBufferSize->setCurrentIndex(std::clamp(o.RecvBufferSize, 0, 2));
  ui->eTimeOut->SetValue(o.ReadTimeout);
  ui->eReceiveTimeOut->SetValue(o.ReceiveTimeout);
  ui->ckOoConnect->setChecked(o.OoConnect);
  ui->ckUseProxyAuth->setChecked(o.UseProxyAuth);
  ui->edtProxyUsername->setText(ToQ(o.ProxyUsername));
  ui->edtProxyPassword->setText(ToQ(o.ProxyPassword));
  ui->ckProxyManual->setChecked(o.ProxyManual);
  ui->edtProxyName->setText(ToQ(o.ProxyName));
  ui->edtProxyBypass->setText(ToQ(o.ProxyBypass));

  const QRadioButton *radios[5] = {ui->rbDownSite0, ui->rbDownSite1, ui->rbDownSite2, ui->rbDownSite3,
                                   ui->rbDownSite4};
  if (o.DownSite < 5) const_cast<QRadioButton *>(radios[o.DownSite])->setChecked(true);
  ui->eUserSite->setText(ToQ(o.UserSite));
  ui->cbTorvDBSite->setCurrentIndex(o.DownSiteTorvDB < 4 ? o.DownSiteTorvDB : -1);
  ui->ckUseLAN->setChecked(o.UseLAN);
  ui->edtSharedFolder->setText(ToQ(o.dirLAN));
  ckUseLANClick();
  ui->ckNoUpdateCheck->setChecked(o.NoUpdateCheck);
  ui->edtSaveFolder->setText(ToQ(o.dirDownloadPath));
  ui->ckRelativePath->setChecked(o.DownloadRelativePath);

  ui->seGridMaxWidth->SetValue(o.GridMaxWidth);
  ui->seGridLineSpace->SetValue(o.GridLineSpace);
  ui->seGridLineAddSpace->SetValue(o.GridLineAddSpace);
  ui->edtExportssCss->setText(ToQ(o.ExportssCssFile));

  ui->ckTabletOn->setChecked(o.TabletMode);
  ui->seSplitterWidth->SetValue(o.TabletSplitterWidth);
  ui->seTabHeight->SetValue(o.TabletTabHeight);

  FFontsChosen = true;
  ckUseProxyAuthClick();
  ckProxyManualClick();
  rgDownSiteClick();
}

// ---------------------------------------------------------------- enabled states

void TfrmOption::ckTekiyouEveryOtherLineClick() {
  const bool on = ui->ckTekiyouEveryOtherLine->isChecked();
  ui->eTekiyou2->setEnabled(on);
  ui->bFont2->setEnabled(on);
  ui->bColor2->setEnabled(on);
}

void TfrmOption::ckUseLANClick() {
  const bool on = ui->ckUseLAN->isChecked();
  ui->lblFolder->setEnabled(on);
  ui->edtSharedFolder->setEnabled(on);
  ui->btnBrowse->setEnabled(on);
}

int TfrmOption::DownSiteIndex() const {
  const QRadioButton *radios[5] = {ui->rbDownSite0, ui->rbDownSite1, ui->rbDownSite2, ui->rbDownSite3,
                                   ui->rbDownSite4};
  for (int i = 0; i < 5; ++i)
    if (radios[i]->isChecked()) return i;
  return -1;
}

void TfrmOption::rgDownSiteClick() {
  const bool user = DownSiteIndex() == 4;
  ui->eUserSite->setEnabled(user);
  ui->lblSite->setEnabled(user);
}

void TfrmOption::ckUseProxyAuthClick() {
  const bool on = ui->ckUseProxyAuth->isChecked();
  ui->edtProxyUsername->setEnabled(on);
  ui->edtProxyPassword->setEnabled(on);
}

void TfrmOption::ckProxyManualClick() {
  const bool on = ui->ckProxyManual->isChecked();
  ui->edtProxyName->setEnabled(on);
  ui->edtProxyBypass->setEnabled(on);
}

void TfrmOption::ckSeibunSoSiyoKaisuClick() { ui->ckSeibunSimplify->setEnabled(ui->ckSeibunSoSiyoKaisu->isChecked()); }

// ---------------------------------------------------------------- fonts and colours

void TfrmOption::bFontClick(int tag) {
  if (!Sample(tag)) return;
  TFontInfo font = FSampleFonts[tag];
  if (!PickerDialogs().ChooseFont(this, font)) return;
  SetSampleFont(tag, font);
  FFontsChosen = true;
}

void TfrmOption::bColorClick(int tag) {
  if (tag != 1 && tag != 2 && tag != 4 && tag != 7) return;
  std::int32_t color = SampleColor(tag);
  if (!PickerDialogs().ChooseColor(this, color, CustomColorText(color))) return;
  SetSampleColor(tag, color);
}

void TfrmOption::btnDefaultViewClick() {
  TFontInfo font;
  font.Name = "ＭＳ Ｐゴシック"_sj;
  font.Charset = 128;
  font.Height = -12;
  font.Size = 9;
  font.Style = 0;
  font.Color = static_cast<std::int32_t>(0x80000008u);
  for (int tag = 1; tag <= 7; ++tag) SetSampleFont(tag, font);
  ui->ckTekiyouEveryOtherLine->setChecked(true);
  ui->ckToolBarFlat->setChecked(true);
  ui->ckToolbarCaption->setChecked(true);
  ui->ckSQLKeywordBold->setChecked(true);
  ui->cbMenuImageSize->setCurrentIndex(0);
  ui->cbBtnImageSize->setCurrentIndex(0);
  ui->seTreeIndent->SetValue(19);
  FillColorBox(ui->cbSQLKeywordColor, 0xFF0000);
  SetSampleColor(7, static_cast<std::int32_t>(0x80000005u));
  SetSampleColor(1, static_cast<std::int32_t>(0x80000005u));
  SetSampleColor(4, static_cast<std::int32_t>(0x80000005u));
  SetSampleColor(2, 0x00F3F1E2);
  ui->ckNoUpdateCheck->setChecked(false);
  ckTekiyouEveryOtherLineClick();
}

void TfrmOption::ApplyFonts() {
  const TOptionData &o = *OptionData;
  for (QWidget *w : {FTargets.MainForm, FTargets.TemplatePane, FTargets.CropFrame})
    ApplyStoredFont(w, o.MainFormFont);
  if (FTargets.WebSearchLabel) {
    QFont f = FTargets.WebSearchLabel->font();
    const QFont main = FontFromInfo(o.MainFormFont, f);
    f.setFamily(main.family());
    if (main.pointSize() > 0) f.setPointSize(main.pointSize());
    else if (main.pixelSize() > 0) f.setPixelSize(main.pixelSize());
    FTargets.WebSearchLabel->setFont(f);
  }
  if (FTargets.SQLEdit) {
    TFont f;
    f.Assign(FTargets.SQLEdit->Font());
    if (!o.SQLEditFont.Name.empty()) f.SetName(o.SQLEditFont.Name);
    if (o.SQLEditFont.Size > 0) f.SetSize(o.SQLEditFont.Size);
    f.SetCharset(o.SQLEditFont.Charset);
    f.SetStyle(static_cast<TFontStyles>(o.SQLEditFont.Style & 0x0F));
    f.SetColor(ColorFromSettings(o.SQLEditFont.Color));
    FTargets.SQLEdit->SetFont(f);
  }
  for (QWidget *g : FTargets.TekiyouFontGrids) ApplyStoredFont(g, o.TekiyouFont);
  if (FTargets.EvenRowFont) *FTargets.EvenRowFont = FontFromInfo(o.Tekiyou2Font, *FTargets.EvenRowFont);
  if (FTargets.EvenRowColor) *FTargets.EvenRowColor = StoredFontColor(o.Tekiyou2Font);
  if (FTargets.SeibunGrid) {
    ApplyStoredFont(FTargets.SeibunGrid, o.SeibunGridFont);
    const int h = QFontMetrics(FTargets.SeibunGrid->font()).boundingRect(QString::fromUtf8("あ")).height() +
                  o.GridLineSpace;
    FTargets.SeibunGrid->setProperty("DefaultRowHeight", h);
  }
  ApplyStoredFont(FTargets.LogPane, o.LogFont);
}

void TfrmOption::ApplyHighlighter() {
  TQmSQLSyn *h = FTargets.Highlighter;
  if (!h) return;
  const TOptionData &o = *OptionData;
  auto set = [](TQmHighlighterAttributes *a, std::int32_t color, TFontStyles style) {
    if (!a) return;
    a->SetForeground(ColorFromSettings(color));
    a->SetStyle(style);
  };
  set(h->KeyAttri(), o.SQLKeywordColor, o.SQLKeywordBold ? fsBold : 0);
  set(h->CommentAttri(), o.SQLCommentColor,
      static_cast<TFontStyles>((o.SQLCommentBold ? fsBold : 0) | (o.SQLCommentItalic ? fsItalic : 0)));
  set(h->FunctionAttri(), o.SQLFunctionColor, o.SQLFunctionBold ? fsBold : 0);
  set(h->DataTypeAttri(), o.SQLDatatypeColor, o.SQLDatatypeBold ? fsBold : 0);
  set(h->TableNameAttri(), o.SQLTableNameColor, o.SQLTableNameBold ? fsBold : 0);
  set(h->PLSQLAttri(), o.SQLPLsqlColor, o.SQLPLsqlBold ? fsBold : 0);
  set(h->SQLPlusAttri(), o.SQLPlusColor, o.SQLPlusBold ? fsBold : 0);
  set(h->PragmasAttri(), o.SQLPragmasColor, o.SQLPragmasBold ? fsBold : 0);
}

// ---------------------------------------------------------------- OK, apply, cancel

void TfrmOption::bUpdateClick(int tag) {
  TOptionData &o = *OptionData;
  // Fonts chosen in the dialog replace the stored ones and apply at once.
  if (FFontsChosen) {
    o.SQLEditFont = FSampleFonts[7];
    o.TekiyouFont = FSampleFonts[1];
    o.Tekiyou2Font = FSampleFonts[2];
    o.SeibunGridFont = FSampleFonts[3];
    o.LogFont = FSampleFonts[4];
    o.MainFormFont = FSampleFonts[6];
    ApplyFonts();
  }
  // Grid and log colours.
  o.TekiyouColor = SampleColor(1);
  o.TekiyouGridEveryOtherLine = ui->ckTekiyouEveryOtherLine->isChecked();
  o.TekiyouColor2 = SampleColor(2);
  o.LogColor = SampleColor(4);
  for (QWidget *g : FTargets.ResultGrids) SetBackground(g, o.TekiyouColor);
  // Image sizes and the tree indent apply to the open windows.
  o.MenuImageSize = static_cast<std::uint8_t>(std::max(ui->cbMenuImageSize->currentIndex(), 0));
  o.BtnImageSize = static_cast<std::uint8_t>(std::max(ui->cbBtnImageSize->currentIndex(), 0));
  o.SakumotsuTreeIndent = static_cast<int>(ui->seTreeIndent->Value());
  if (FTargets.FormViewSettings) FTargets.FormViewSettings();
  // Grid sizes re-fit the visible grid's columns.
  o.GridMaxWidth = static_cast<int>(ui->seGridMaxWidth->Value());
  o.GridLineSpace = static_cast<int>(ui->seGridLineSpace->Value());
  o.GridLineAddSpace = static_cast<int>(ui->seGridLineAddSpace->Value());
  if (FTargets.AdjustGridColumnWidths && (!FTargets.CurrentGridVisible || FTargets.CurrentGridVisible()))
    FTargets.AdjustGridColumnWidths();
  // The SQL editor's colour and highlighter.
  o.SQLEditColor = SampleColor(7);
  o.SQLKeywordColor = ColorBoxValue(ui->cbSQLKeywordColor);
  o.SQLKeywordBold = ui->ckSQLKeywordBold->isChecked();
  o.SQLCommentColor = ColorBoxValue(ui->cbSQLCommentColor);
  o.SQLCommentBold = ui->ckSQLCommentBold->isChecked();
  o.SQLCommentItalic = ui->ckSQLCommentItalic->isChecked();
  o.SQLFunctionColor = ColorBoxValue(ui->cbSQLFunctionColor);
  o.SQLFunctionBold = ui->ckSQLFunctionBold->isChecked();
  o.SQLDatatypeColor = ColorBoxValue(ui->cbSQLDatatypeColor);
  o.SQLDatatypeBold = ui->ckSQLDatatypeBold->isChecked();
  o.SQLTableNameColor = ColorBoxValue(ui->cbTableNameColor);
  o.SQLTableNameBold = ui->ckTableNameBold->isChecked();
  o.SQLPLsqlColor = ColorBoxValue(ui->cbSQLPLsqlColor);
  o.SQLPLsqlBold = ui->ckSQLPLsqlBold->isChecked();
  o.SQLPlusColor = ColorBoxValue(ui->cbSQLWindowFunctionColor);
  o.SQLPlusBold = ui->ckSQLWindowFunctionBold->isChecked();
  o.SQLPragmasColor = ColorBoxValue(ui->cbSQLPragmasColor);
  o.SQLPragmasBold = ui->ckSQLPragmasBold->isChecked();
  if (FTargets.SQLEdit) FTargets.SQLEdit->SetColor(ColorFromSettings(o.SQLEditColor));
  ApplyHighlighter();
  // The SQL editor's spacing, line numbers, right edge and word wrap.
  o.SQLEditorLineSpace = static_cast<int>(ui->seLineSpacing->Value());
  o.SQLEditorLineNumber = ui->ckShowLineNumber->isChecked();
  o.SQLEditorRightEdge = static_cast<int>(ui->seRightEdge->Value());
  o.SQLEditorWordwrap = ui->ckWordwrap->isChecked();
  if (FTargets.SQLEdit) {
    FTargets.SQLEdit->SetExtraLineSpacing(o.SQLEditorLineSpace);
    FTargets.SQLEdit->Gutter().SetShowLineNumbers(o.SQLEditorLineNumber);
    FTargets.SQLEdit->SetRightEdge(o.SQLEditorRightEdge);
    FTargets.SQLEdit->SetWordWrap(o.SQLEditorWordwrap);
    FTargets.SQLEdit->viewport()->update();
  }
  // The log pane's colour.
  SetBackground(FTargets.LogPane, o.LogColor);
  // Tool-bar style and captions.
  o.ToolBarFlat = ui->ckToolBarFlat->isChecked();
  o.ToolBarCaption = ui->ckToolbarCaption->isChecked();
  if (FTargets.ApplyToolBarOptions) FTargets.ApplyToolBarOptions();
  // Network: time-outs, buffer, data sources.
  bool ok = false;
  o.ReadTimeout = ui->eTimeOut->text().toInt(&ok);
  if (!ok) o.ReadTimeout = 0;
  o.ReceiveTimeout = ui->eReceiveTimeOut->text().toInt(&ok);
  if (!ok) o.ReceiveTimeout = 0;
  o.RecvBufferSize = std::max(ui->cbBufferSize->currentIndex(), 0);
  o.OoConnect = ui->ckOoConnect->isChecked();
  if (DownSiteIndex() >= 0) o.DownSite = static_cast<std::uint8_t>(DownSiteIndex());
  if (ui->cbTorvDBSite->currentIndex() >= 0)
    o.DownSiteTorvDB = static_cast<std::uint8_t>(ui->cbTorvDBSite->currentIndex());
  o.UserSite = FromQ(ui->eUserSite->text());
  // The shared folder is kept only when one is named.
  if (!ui->edtSharedFolder->text().isEmpty()) {
    o.UseLAN = ui->ckUseLAN->isChecked();
    o.dirLAN = FromQ(ui->edtSharedFolder->text());
  }
  // The download folder is kept only when one is named.
  if (!ui->edtSaveFolder->text().isEmpty()) {
    o.dirDownloadPath = FromQ(ui->edtSaveFolder->text());
    o.DownloadRelativePath = ui->ckRelativePath->isChecked();
    o.DownloadFolder = o.StoragePath(o.dirDownloadPath);
    // A relative folder is taken from the program folder, as when the settings are read.
    if (!o.DownloadFolder.empty() && o.DownloadFolder.front() != '/')
      o.DownloadFolder = o.ProgramFolder + o.DownloadFolder;
  }
  // Style sheet, update check, proxy and tablet mode.
  o.ExportssCssFile = FromQ(ui->edtExportssCss->text());
  o.NoUpdateCheck = ui->ckNoUpdateCheck->isChecked();
  o.UseProxyAuth = ui->ckUseProxyAuth->isChecked();
  o.ProxyUsername = FromQ(ui->edtProxyUsername->text());
  o.ProxyPassword = FromQ(ui->edtProxyPassword->text());
  o.ProxyManual = ui->ckProxyManual->isChecked();
  o.ProxyName = FromQ(ui->edtProxyName->text());
  o.ProxyBypass = FromQ(ui->edtProxyBypass->text());
  o.TabletMode = ui->ckTabletOn->isChecked();
  o.TabletSplitterWidth = static_cast<int>(ui->seSplitterWidth->Value());
  o.TabletTabHeight = static_cast<int>(ui->seTabHeight->Value());
  // OK closes the dialog; Apply keeps it open.
  if (tag == 1) accept();
}

void TfrmOption::bCancelClick() { reject(); }

// ---------------------------------------------------------------- folders and files

void TfrmOption::btnBrowseClick() {
  TBrowseFolderBox box;
  box.OwnerHandle = this;
  box.Root = CSIDL_NETWORK;
  box.InitialFolder = FromQ(ui->edtSharedFolder->text());
  box.Title = "共有PC の quillmar.exe 下の Download フォルダを指定して下さい"_sj;
  box.Flags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT | BIF_SHAREABLE;
  const QPoint at = mapToGlobal(QPoint(16, 16));
  box.Left = at.x();
  box.Top = at.y();
  if (box.Execute()) ui->edtSharedFolder->setText(ToQ(box.Folder));
}

void TfrmOption::btnSaveFolderClick() {
  TBrowseFolderBox box;
  box.OwnerHandle = this;
  box.Root = CSIDL_DRIVES;
  box.InitialFolder = OptionData->DownloadFolder;
  box.Title = "ダウンロードファイル保存フォルダを指定して下さい"_sj;
  box.Flags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT | BIF_NEWDIALOGSTYLE;
  const QPoint at = mapToGlobal(QPoint(16, 16));
  box.Left = at.x();
  box.Top = at.y();
  if (box.Execute()) ui->edtSaveFolder->setText(ToQ(box.Folder));
}

void TfrmOption::ckRelativePathClick() {
  const std::string folder = FromQ(ui->edtSaveFolder->text());
  if (folder.empty()) return;
  std::string result;
  if (ui->ckRelativePath->isChecked()) {
    TOptionData relative = *OptionData;
    relative.DownloadRelativePath = true;
    result = relative.StoragePath(folder);
  } else if (folder.front() == '/') {
    result = folder;
  } else {
    namespace fs = std::filesystem;
    result = (fs::path(OptionData->ProgramFolder) / fs::path(folder)).lexically_normal().string();
    while (result.size() > 1 && result.back() == '/') result.pop_back();
  }
  ui->edtSaveFolder->setText(ToQ(result));
}

void TfrmOption::btnExportssCssClick() {
  TOpenDialogPos dlg(this);
  dlg.InitialDir = OptionData->CssFolder;
  dlg.Filter = "スタイルシート(*.css)|*.css"_sj;
  dlg.DefaultExt = "css";
  if (!dlg.Execute()) return;
  const std::size_t slash = dlg.FileName.find_last_of('/');
  ui->edtExportssCss->setText(ToQ(slash == std::string::npos ? dlg.FileName : dlg.FileName.substr(slash + 1)));
}

void TfrmOption::SharedFolderDrop(const QStringList &paths) {
  if (paths.isEmpty()) return;
  std::string path = FromQ(paths.first());
  path.resize(cp932::ClampToChar(path, 260));
  ui->edtSharedFolder->setText(ToQ(path));
}

bool TfrmOption::eventFilter(QObject *watched, QEvent *e) {
  if (watched == ui->eTekiyou2) {
    // The even-row sample shows a font; nothing is typed into it.
    if (e->type() == QEvent::KeyPress || e->type() == QEvent::InputMethod) return true;
  } else if (watched == ui->edtSharedFolder) {
    if (e->type() == QEvent::DragEnter || e->type() == QEvent::DragMove) {
      auto *d = static_cast<QDropEvent *>(e);
      if (d->mimeData()->hasUrls()) {
        d->acceptProposedAction();
        return true;
      }
    } else if (e->type() == QEvent::Drop) {
      auto *d = static_cast<QDropEvent *>(e);
      if (d->mimeData()->hasUrls()) {
        QStringList paths;
        for (const QUrl &u : d->mimeData()->urls())
          if (u.isLocalFile()) paths << u.toLocalFile();
        SharedFolderDrop(paths);
        d->acceptProposedAction();
        return true;
      }
    }
  }
  return QDialog::eventFilter(watched, e);
}
