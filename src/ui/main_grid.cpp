// The main window's result grids: running a query into a grid, column widths and row
// heights, painting, keys and mouse, sorting by a header, copies, fixed columns and
// removals, the cell hints and the grid popup menu.
#include <QAction>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabWidget>
#include <QToolTip>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "components/grid/ExcelUtil.h"
#include "components/QtServices.h"
#include "components/WinSpinEdit.h"
#include "components/qtext.h"
#include "engine/SakuUtil.h"
#include "engine/TextHelpers.h"
#include "engine/UiServices.h"
#include "engine/acdb.h"
#include "engine/options.h"
#include "ui/QlmExportUtils.h"
#include "ui/UGrid.h"
#include "ui/UOption.h"
#include "ui/main.h"
#include "ui_main.h"

using namespace cp932::literals;

namespace {

bool Offline() { return OptionData->OffLine || OfflineSwitch; }

// "「" + term + suffix, the suffix given in UTF-8.
std::string ItemCaption(const std::string &term, const char *suffix_utf8, const char *prefix_utf8 = "「") {
  return cp932::FromUtf8(prefix_utf8) + term + cp932::FromUtf8(suffix_utf8);
}

bool HeaderIs(std::string_view header, std::initializer_list<const char *> names_utf8) {
  for (const char *n : names_utf8)
    if (header == cp932::FromUtf8(n)) return true;
  return false;
}

// "成分1" to "成分5" and the like.
bool NumberedHeader(std::string_view header, const char *stem_utf8) {
  const std::string stem = cp932::FromUtf8(stem_utf8);
  return header.size() == stem.size() + 1 && header.substr(0, stem.size()) == stem && header.back() >= '1' &&
         header.back() <= '5';
}

int ColumnHeaded(const TXlsStringGrid &g, const char *header_utf8) {
  if (g.RowCount() == 0) return -1;
  const std::string h = cp932::FromUtf8(header_utf8);
  for (int c = 0; c < g.ColCount(); ++c)
    if (g.CellView(c, 0) == h) return c;
  return -1;
}

// The sort text names the column a grid was sorted by. The grid lets its sort column go when
// that column is removed (by 列削除, Ctrl+Shift+X or the width pass), and the text goes then too.
void DropSortTextOfRemovedColumn(TfrmMain &w, const TXlsStringGrid &g) {
  const int tab = w.TabIndexOfGrid(&g);
  if (tab < 0 || g.SortCol >= 0) return;
  TfrmMain::TTabState &t = w.TabState[static_cast<std::size_t>(tab)];
  if (t.StatusText.empty()) return;
  t.StatusText.clear();
  if (tab == w.ui->pgSearch->currentIndex()) w.SetStatusText(2, t.StatusText);
}

// The data rows a grid's widths are judged from. A result of up to kWidthSampleCells cells
// is measured whole; a larger one by its first rows and by rows spread evenly over the rest,
// so that a result of millions of rows costs no more than a large ordinary one.
constexpr long long kWidthSampleCells = 1'000'000;

std::vector<int> WidthSampleRows(const TXlsStringGrid &g) {
  const int first = 1, end = g.RowCount();
  std::vector<int> rows;
  if (end <= first) return rows;
  const long long count = end - first;
  const long long cols = std::max(1, g.ColCount());
  const long long budget = std::max<long long>(2, kWidthSampleCells / cols);
  if (count <= budget) {
    rows.resize(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = first + static_cast<int>(i);
    return rows;
  }
  const long long head = budget / 2, spread = budget - head;
  rows.reserve(static_cast<std::size_t>(budget));
  for (long long i = 0; i < head; ++i) rows.push_back(first + static_cast<int>(i));
  // The spread rows run from just after the head to the last row.
  const long long rest = count - head;
  for (long long i = 1; i <= spread; ++i) rows.push_back(first + static_cast<int>(head - 1 + i * rest / spread));
  return rows;
}

// The event pump of a width pass, which also tells whether the run has been told to stop
// meanwhile (the window closes, or 中止): the stop can only have come through the events.
class TWidthPump {
 public:
  explicit TWidthPump(std::function<bool()> stopped) : stopped_(std::move(stopped)) {}
  // Lets the events through when due; true once the pass is to end.
  bool Tick() {
    pump_.Tick();
    return stopped_();
  }
  bool Stopped() const { return stopped_(); }

 private:
  TEventPump pump_;
  std::function<bool()> stopped_;
};

// Text widths of one font. A text's width is first estimated as the sum of its characters'
// advances (each character measured once); only the texts that may be the widest of their
// column are then measured whole, each distinct text once.
class TTextWidths {
 public:
  explicit TTextWidths(const QFont &font) : fm_(font), advances_(65536, -1) {}
  int Exact(std::string_view text) {
    if (text.empty()) return 0;
    auto it = cache_.find(text);
    if (it != cache_.end()) return it->second;
    const int w = fm_.horizontalAdvance(ToQ(text));
    cache_.emplace(text, w);
    return w;
  }
  int Estimate(std::string_view text) {
    int w = 0;
    for (std::size_t i = 0; i < text.size();) {
      const unsigned char c = static_cast<unsigned char>(text[i]);
      std::size_t len = 1;
      if (((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && i + 1 < text.size()) len = 2;
      const unsigned code = len == 2 ? (c << 8) | static_cast<unsigned char>(text[i + 1]) : c;
      std::int32_t &a = advances_[code];
      if (a < 0) a = fm_.horizontalAdvance(ToQ(text.substr(i, len)));
      w += a;
      i += len;
    }
    return w;
  }
  // The width of the widest text of a column over the given rows, measured whole; -1 when
  // all are empty. A stop ends the measuring at once (what it gives then is not used).
  int WidestOfColumn(const TXlsStringGrid &g, int col, const std::vector<int> &rows, TWidthPump &pump) {
    estimates_.assign(rows.size(), -1);
    int most = -1;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (i % 64 == 0 && pump.Tick()) return -1;
      const std::string_view cell = g.CellView(col, rows[i]);
      if (cell.empty()) continue;
      const int e = Estimate(cell);
      estimates_[i] = e;
      most = std::max(most, e);
    }
    if (most < 0) {
      // A column is removed only when it is empty indeed: one the sample finds empty is
      // judged from the cells the sample passed over.
      if (static_cast<long long>(rows.size()) >= g.RowCount() - 1) return -1;
      std::vector<int> filled;
      for (int r = 1; r < g.RowCount() && filled.size() < rows.size(); ++r) {
        if (r % 64 == 0 && pump.Tick()) return -1;
        if (!g.CellView(col, r).empty()) filled.push_back(r);
      }
      return filled.empty() ? -1 : WidestOfColumn(g, col, filled, pump);
    }
    // Shaping may make a whole text a little narrower or wider than its characters.
    const int floor = most - std::max(8, most / 20);
    int widest = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (estimates_[i] < floor) continue;
      if (pump.Tick()) return -1;
      widest = std::max(widest, Exact(g.CellView(col, rows[i])));
    }
    return widest;
  }
  int OfUtf8(const char *text) { return fm_.horizontalAdvance(QString::fromUtf8(text)); }
  const QFontMetrics &Metrics() const { return fm_; }

 private:
  QFontMetrics fm_;
  std::vector<std::int32_t> advances_;  // by CP932 code: one byte, or lead byte * 256 + trail byte
  std::vector<int> estimates_;
  // Keys point into the grid's cells, which stay put while the widths are computed (the run
  // held meanwhile keeps every command that changes a grid out).
  std::unordered_map<std::string_view, int> cache_;
};

// A grid shown for the first time still has the size it was made with until its layout
// places it: it is shown and laid out at once, so that its widths are judged against its
// size on screen. A grid on a page that is not shown keeps its size.
void ShowLaidOut(QWidget *grid) {
  if (!grid->isHidden() || !grid->parentWidget() || !grid->parentWidget()->isVisible()) return;
  grid->show();
  std::vector<QWidget *> containers;
  for (QWidget *p = grid->parentWidget(); p; p = p->isWindow() ? nullptr : p->parentWidget()) containers.push_back(p);
  for (auto it = containers.rbegin(); it != containers.rend(); ++it)
    if ((*it)->layout()) (*it)->layout()->activate();
}

// The hints of the result-grid cells.
class TGridHintFilter : public QObject {
 public:
  explicit TGridHintFilter(TfrmMain *w) : QObject(w->HookOwner()), w_(w) {}
  bool eventFilter(QObject *o, QEvent *e) override { return w_->ApplicationShowHint(o, e); }

 private:
  TfrmMain *w_;
};

}  // namespace

// ---------------------------------------------------------------- wiring

void TfrmMain::ConnectResultGrid(TXlsStringGrid *Grid) {
  if (!Grid) return;
  Grid->setMouseTracking(true);
  Grid->viewport()->setMouseTracking(true);
  Grid->setContextMenuPolicy(Qt::CustomContextMenu);
  Grid->OnMouseMove = [this](TXlsStringGrid &g, TShiftState, int x, int y) { gdTekiyoMouseMove(g, x, y); };
  Grid->OnMouseDown = [this](TXlsStringGrid &g, TMouseButton b, TShiftState s, int x, int y) {
    RunExclusive([&] { RunGuarded([&] { gdTekiyoMouseDown(g, b, s, x, y); }); });
  };
  Grid->OnKeyDown = [this](TXlsStringGrid &g, int &key, TShiftState s) {
    RunExclusive([&] { RunGuarded([&] { gdTekiyoKeyDown(g, key, s); }); });
  };
  Grid->OnDrawCell = [this](TXlsStringGrid &g, int c, int r, QPainter &p, const QRect &rc, TGridDrawState s) {
    gdTekiyoDrawCell(g, c, r, p, rc, s);
  };
  Grid->OnDblClick = [this](TXlsStringGrid &g) { RunExclusive([&] { RunGuarded([&] { gdTekiyoDblClick(g); }); }); };
  Grid->OnClick = [](TXlsStringGrid &) {};  // gdTekiyoClick does nothing
  connect(Grid, &QWidget::customContextMenuRequested, this, [this, Grid](const QPoint &pos) {
    // The popup looks cells up in the database: not while a result fills.
    RunExclusive([&] {
      FPopupGrid = Grid;
      mnTekiyouGridPopup();
      mnTekiyouGrid->popup(Grid->viewport()->mapToGlobal(pos));
    });
  });
  Grid->viewport()->installEventFilter(FHintFilter);
}

void TfrmMain::ConnectResultGrids() {
  FHintFilter = new TGridHintFilter(this);
  BuildGridPopup();
  for (TXlsStringGrid *g : {ui->gdTekiyo, ui->gdByochu, ui->gdYakuzai, ui->gdSQL}) ConnectResultGrid(g);
  TXlsStringGrid *s = ui->gdSeibun;
  s->setContextMenuPolicy(Qt::CustomContextMenu);
  s->OnKeyDown = [this](TXlsStringGrid &g, int &key, TShiftState sh) {
    RunExclusive([&] { RunGuarded([&] { gdSeibunKeyDown(g, key, sh); }); });
  };
  s->OnMouseDown = [this](TXlsStringGrid &g, TMouseButton b, TShiftState sh, int x, int y) {
    gdSeibunMouseDown(g, b, sh, x, y);
  };
  s->viewport()->installEventFilter(FHintFilter);
  ui->gdSeizai->viewport()->installEventFilter(FHintFilter);

  connect(actSearchTekiyou, &QAction::triggered, this,
          [this] { RunExclusive([this] { RunGuarded([this] { actSearchTekiyouExecute(); }); }); });
  // A count typed while a run is under way is put back: the grid keeps the lines it shows.
  connect(seGridCellLine, &QLineEdit::textChanged, this, [this] {
    if (RunExclusive([this] { seGridCellLineChange(); })) return;
    const int tab = ui->pgSearch->currentIndex();
    if (tab >= 0 && tab < 5) seGridCellLine->SetValue(TabState[static_cast<std::size_t>(tab)].CellLine);
  });
  connect(mnRowSelect, &QAction::triggered, this, [this] { mnRowSelectClick(); });
  connect(ui->pgSearch, &QTabWidget::currentChanged, this, [this] { pgSearchChange(); });
  SetRowSelect(OptionData->GridRowSelect);
  if (OptionData->GridFixedCol > 0 && OptionData->GridFixedCol < ui->gdTekiyo->ColCount())
    ui->gdTekiyo->SetFixedCols(OptionData->GridFixedCol);
  ConnectSqlPane();
  pgSearchChange();
}

int TfrmMain::TabIndexOfGrid(const TXlsStringGrid *Grid) const {
  for (std::size_t i = 0; i < TabState.size(); ++i)
    if (Grid && TabState[i].Grid == Grid) return static_cast<int>(i);
  return -1;
}

// ---------------------------------------------------------------- queries into grids

bool TfrmMain::ShowQueryInGrid(TXlsStringGrid *Grid, const std::string &Sql) {
  if (Sql.empty() || !Grid) return false;
  AddLog("SQL>" + Sql);
  TBusyCursor busy;
  TRunScope run(*this);
  SetOutputEnabled(false);
  SetSearchPanelsEnabled(false);
  struct Restore {
    TfrmMain *w;
    ~Restore() {
      w->SetOutputEnabled(true);
      w->SetSearchPanelsEnabled(true);
    }
  } restore{this};
  if (!AcisDB || !AcisDB->SetGrid(*Grid, Sql) || !AdjustGridColumnWidths(Grid)) return false;
  Grid->show();
  const int tab = TabIndexOfGrid(Grid);
  if (tab < 0) return true;
  TTabState &t = TabState[static_cast<std::size_t>(tab)];
  t.CountText = std::to_string(AcisDB->Query() ? AcisDB->Query()->Count() : 0) + "件"_sj;
  t.StatusText.clear();
  if (tab == ui->pgSearch->currentIndex()) {
    SetStatusText(3, t.CountText);
    SetStatusText(2, t.StatusText);
  }
  return true;
}

void TfrmMain::MarkAdjacentCropRows(TXlsStringGrid *Grid) {
  if (!Grid) return;
  const int crop = ColumnHeaded(*Grid, "作物名");
  for (int r = Grid->FixedRows(); r < Grid->RowCount(); ++r) {
    bool adjacent = false;
    if (crop >= 0 && !AdjacentCropNames.empty()) {
      const std::string_view name = Grid->CellView(crop, r);
      adjacent = std::find(AdjacentCropNames.begin(), AdjacentCropNames.end(), name) != AdjacentCropNames.end();
    }
    Grid->SetRowObject(r, adjacent ? 1 : 0);
  }
}

bool TfrmMain::AdjustGridColumnWidths(TXlsStringGrid *Grid) {
  if (!Grid) return false;
  TBusyCursor busy;
  // The events run while the widths are measured: no command may change a grid meanwhile.
  TRunScope run(*this);
  ShowLaidOut(Grid);
  // Every fill of the crop grid ends here, so its neighbouring-crop rows are marked here
  // once, from each row's crop name; painting and the HTML page read the mark.
  if (Grid == ui->gdTekiyo) MarkAdjacentCropRows(Grid);
  const bool seibun = Grid == ui->gdSeibun;
  const int tab = ui->pgSearch->currentIndex();
  int n = tab >= 0 && tab < 5 ? TabState[static_cast<std::size_t>(tab)].CellLine : 1;
  if (n < 1 || seibun) n = 1;
  TTextWidths widths(Grid->font());
  const int W = widths.OfUtf8("あ");
  const bool has_data = Grid->RowCount() > 1;
  const int max_width = OptionData->GridMaxWidth;
  const int scroll_bar = Grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, Grid);
  std::vector<int> removals;
  const std::vector<int> sample = WidthSampleRows(*Grid);
  // A large result never holds the window still; a close or 中止 that comes meanwhile ends
  // the pass.
  TWidthPump pump([this] { return RunStopRequested() || FSqlStopRequested; });

  Grid->BeginUpdate();
  struct UpdateEnd {
    TXlsStringGrid *g;
    ~UpdateEnd() { g->EndUpdate(); }
  } update_end{Grid};
  for (int c = 0; c < Grid->ColCount(); ++c) {
    const std::string_view h = Grid->RowCount() > 0 ? Grid->CellView(c, 0) : std::string_view();
    int a = 0;
    if (has_data && HeaderIs(h, {"番号", "混合数", "製剤毒性"})) {
      a = 10;
    } else {
      // Each non-empty cell asks (its width / n) + W; the widest text asks the most.
      const int widest = widths.WidestOfColumn(*Grid, c, sample, pump);
      if (pump.Stopped()) {
        // A result measured in part is not shown as the result.
        Grid->hide();
        return false;
      }
      if (widest >= 0) a = widest / n + W;
    }
    if (max_width > 0 && a > max_width && Grid != ui->gdSeizai) a = max_width;
    if (a > 0) {
      int width = a + 5;
      if (width < 5 * W) {
        width = 5 * W + 5;
        if (HeaderIs(h, {"魚毒性"})) width = widths.OfUtf8("魚毒性") + 5;
        else if (HeaderIs(h, {"毒性"})) width = widths.OfUtf8("0000") + 5;
        else if (HeaderIs(h, {"濃度"})) width = widths.OfUtf8("00000") + 5;
      }
      if (HeaderIs(h, {"番号"})) width = widths.OfUtf8("00000") + 5;
      else if (HeaderIs(h, {"混合数"})) width = widths.OfUtf8("00") + 5;
      else if (HeaderIs(h, {"製剤毒性"})) width = widths.OfUtf8("普") + 5;
      if (width >= Grid->width()) width = Grid->width() - scroll_bar - 4;
      Grid->SetColWidths(c, width);
    } else {
      removals.push_back(c);
    }
  }

  const int font_height = QFontInfo(Grid->font()).pixelSize();
  if (seibun) {
    Grid->SetDefaultRowHeight(widths.Metrics().boundingRect(QString::fromUtf8("あ")).height() +
                              OptionData->GridLineSpace);
  } else {
    Grid->SetDefaultRowHeight((std::abs(font_height) + OptionData->GridLineAddSpace) * n + OptionData->GridLineSpace);
    if (Grid->RowCount() > 0) Grid->SetRowHeights(0, std::abs(font_height) + 4);
  }
  for (auto it = removals.rbegin(); it != removals.rend(); ++it) Grid->RemoveColumn(*it);
  DropSortTextOfRemovedColumn(*this, *Grid);
  return true;
}

void TfrmMain::seGridCellLineChange() {
  bool ok = false;
  const int v = seGridCellLine->text().trimmed().toInt(&ok);
  if (!ok || v <= 0) return;
  const int tab = ui->pgSearch->currentIndex();
  if (tab < 0 || tab >= 5) return;
  TTabState &t = TabState[static_cast<std::size_t>(tab)];
  t.CellLine = v;
  try {
    if (t.Grid && t.Grid->RowCount() > 1) AdjustGridColumnWidths(t.Grid);
  } catch (...) {
    // a failed re-layout keeps the grid as it was
  }
}

void TfrmMain::SetRowSelect(bool On) {
  for (const TTabState &t : TabState)
    if (t.Grid) t.Grid->SetOptions(On ? (t.Grid->Options() | goRowSelect) : (t.Grid->Options() & ~goRowSelect));
}

void TfrmMain::mnRowSelectClick() {
  // The menu item is checkable: the trigger has inverted the check already.
  OptionData->GridRowSelect = mnRowSelect->isChecked();
  SetRowSelect(OptionData->GridRowSelect);
}

// ---------------------------------------------------------------- painting

void TfrmMain::gdTekiyoDrawCell(TXlsStringGrid &Grid, int Col, int Row, QPainter &P, const QRect &Rect,
                                unsigned State) {
  try {
    TResultCellLook look;
    look.AltFont = EvenRowFont.get();
    look.AltColor = EvenRowColor;
    look.Tinted = &Grid == ui->gdTekiyo && Row >= Grid.FixedRows() && Grid.RowObject(Row) == 1;
    PaintResultCell(Grid, Col, Row, P, Rect, State, look);
  } catch (...) {
    // a cell that cannot be drawn stays as it is
  }
}

// ---------------------------------------------------------------- keys and mouse

void TfrmMain::gdTekiyoMouseMove(TXlsStringGrid &Grid, int X, int Y) { Grid.MouseToCell(X, Y, ClickedCol, ClickedRow); }

void TfrmMain::gdTekiyoKeyDown(TXlsStringGrid &Grid, int &Key, unsigned Shift) {
  const unsigned mods = Shift & ssModifierKeys;
  if (Key == Qt::Key_Return || Key == Qt::Key_Enter) {
    Key = 0;
    gdTekiyoDblClick(Grid);
  } else if (Key >= Qt::Key_1 && Key <= Qt::Key_9) {
    {
      const QSignalBlocker block(seGridCellLine);
      seGridCellLine->SetValue(Key - Qt::Key_0);
    }
    Key = 0;
    seGridCellLineChange();
  } else if (Key == Qt::Key_Menu) {
    ClickedCol = Grid.Col();
    ClickedRow = Grid.Row();
  } else if (Key == Qt::Key_X && mods == (ssShift | ssCtrl)) {
    if (!(Grid.Options() & goRowSelect)) Grid.RemoveColumn(Grid.Col());
    DropSortTextOfRemovedColumn(*this, Grid);
    Key = 0;
  } else if (Key == Qt::Key_Insert && mods == ssShift) {
    Grid.SetColWidths(Grid.Col(), Grid.ColWidths(Grid.Col()) + 5);
    Key = 0;
  } else if (Key == Qt::Key_Delete && mods == ssShift) {
    Grid.SetColWidths(Grid.Col(), std::max(Grid.ColWidths(Grid.Col()) - 5, 5));
    Key = 0;
  }
}

void TfrmMain::gdSeibunKeyDown(TXlsStringGrid &Grid, int &Key, unsigned) {
  if (Key == Qt::Key_Return || Key == Qt::Key_Enter) {
    Key = 0;
    gdTekiyoDblClick(Grid);
  }
}

void TfrmMain::gdTekiyoDblClick(TXlsStringGrid &Grid) {
  // A double click on the header row sorts (twice); only data rows open the card.
  if (Grid.RowCount() < 2 || ClickedRow == 0) return;
  OpenTekiyouCard(this, Grid, [](QDialog *d) { ShowModal(d); });
}

void TfrmMain::gdTekiyoMouseDown(TXlsStringGrid &Grid, int Button, unsigned Shift, int X, int Y) {
  int c = -1, r = -1;
  Grid.MouseToCell(X, Y, c, r);
  ClickedCol = c;
  ClickedRow = r;
  if (Button == mbRight && r == 0) return;
  const TGridRect s = Grid.Selection();
  ClickedInSelection = c >= s.Left && c <= s.Right && r >= s.Top && r <= s.Bottom;
  if (Button == mbRight && !ClickedInSelection && c >= 0 && r >= 0) Grid.FocusCell(c, r, true);
  if (r == 0 && c >= 0 && Button == mbLeft) {
    TBusyCursor busy;
    const std::string header = Grid.Cells(c, 0);
    const int tab = TabIndexOfGrid(&Grid);
    // The sort text is cleared with every fill, so a fresh result starts ascending.
    const bool sorted = tab >= 0 ? !TabState[static_cast<std::size_t>(tab)].StatusText.empty() : true;
    TXlSortOrder order = xlSortAsc;
    if (sorted && Grid.SortCol == c) order = Grid.SortOrder == xlSortAsc ? xlSortDesc : xlSortAsc;
    Grid.SortGrid(static_cast<TMouseButton>(Button), static_cast<TShiftState>(Shift), X, Y, order,
                  header == "番号"_sj);
    const std::string text = "ｿｰﾄ:"_sj + header + (order == xlSortDesc ? "▽"_sj : "△"_sj);
    if (tab >= 0) {
      TabState[static_cast<std::size_t>(tab)].StatusText = text;
      if (tab == ui->pgSearch->currentIndex()) {
        SetStatusText(2, text);
        StatusPanels[2]->setFixedWidth(QFontMetrics(StatusPanels[2]->font()).horizontalAdvance(ToQ(text)) + 6);
      }
    }
  }
  StatusBarResize();
}

void TfrmMain::gdSeibunMouseDown(TXlsStringGrid &Grid, int Button, unsigned, int X, int Y) {
  int c = -1, r = -1;
  Grid.MouseToCell(X, Y, c, r);
  if (Button == mbRight && r == 0) return;
  const TGridRect s = Grid.Selection();
  ClickedInSelection = c >= s.Left && c <= s.Right && r >= s.Top && r <= s.Bottom;
  if (Button == mbRight && !ClickedInSelection && c >= 0 && r >= 0) Grid.FocusCell(c, r, true);
}

// ---------------------------------------------------------------- hints

bool TfrmMain::ApplicationShowHint(QObject *Target, QEvent *Event) {
  if (Event->type() != QEvent::ToolTip) return false;
  try {
    TXlsStringGrid *grid = nullptr;
    for (TXlsStringGrid *g : {CurrentGrid, ui->gdSeibun, ui->gdSeizai})
      if (g && Target == g->viewport()) grid = g;
    if (!grid) return false;
    const QPoint pos = static_cast<QHelpEvent *>(Event)->pos();
    int c = -1, r = -1;
    grid->MouseToCell(pos.x(), pos.y(), c, r);
    const QRect cell = c >= 0 && r >= 0 ? grid->CellRect(c, r) : QRect();
    if (cell.isEmpty() || !cell.contains(pos)) {
      QToolTip::hideText();
      return true;
    }
    const QString text = ToQ(grid->CellView(c, r));
    int width = QFontMetrics(grid->font()).horizontalAdvance(text);
    if (grid == CurrentGrid) {
      const int tab = ui->pgSearch->currentIndex();
      const int n = tab >= 0 && tab < 5 ? std::max(TabState[static_cast<std::size_t>(tab)].CellLine, 1) : 1;
      width /= n;
    }
    if (width > grid->ColWidths(c))
      QToolTip::showText(static_cast<QHelpEvent *>(Event)->globalPos(), text, grid->viewport(), cell, 1000);
    else
      QToolTip::hideText();
    return true;
  } catch (...) {
    return false;
  }
}

// ---------------------------------------------------------------- copies

namespace {

// The text of the clicked cell, or of the current cell when the pointer is elsewhere.
std::string ClickedCellText(const TXlsStringGrid &g, int col, int row) {
  if (col < 0 || row < 0 || col >= g.ColCount() || row >= g.RowCount()) {
    col = g.Col();
    row = g.Row();
  }
  if (col < 0 || row < 0 || col >= g.ColCount() || row >= g.RowCount()) return std::string();
  return g.Cells(col, row);
}

}  // namespace

void TfrmMain::actGridCopyExecute() {
  if (TXlsStringGrid *g = CurrentGrid)
    SetClipboardText(GridSelectionText(*g, ClickedCellText(*g, ClickedCol, ClickedRow)));
}

void TfrmMain::actGridAllCopyExecute() {
  if (CurrentGrid) CurrentGrid->CopyClipboard();
}

void TfrmMain::actGridSeibunCopyExecute() {
  TXlsStringGrid &g = *ui->gdSeibun;
  SetClipboardText(GridSelectionText(g, ClickedCellText(g, -1, -1)));
}

void TfrmMain::actCopyMobileExecute() {
  if (TXlsStringGrid *g = CurrentGrid)
    SetClipboardText(ToHankaku(GridSelectionText(*g, ClickedCellText(*g, ClickedCol, ClickedRow), true)));
}

// ---------------------------------------------------------------- fixed columns and removals

void TfrmMain::pmnFixedClmClick() {
  TXlsStringGrid *g = CurrentGrid;
  // A grid keeps at least one scrolling column.
  if (!g || g->Col() + 1 >= g->ColCount()) return;
  g->SetFixedCols(g->Col() + 1);
  if (g == ui->gdTekiyo) OptionData->GridFixedCol = g->FixedCols();
}

void TfrmMain::pmnFixedClmOffClick() {
  if (!CurrentGrid) return;
  CurrentGrid->SetFixedCols(0);
  if (CurrentGrid == ui->gdTekiyo) OptionData->GridFixedCol = 0;
}

void TfrmMain::pmnRemoveClmClick() {
  if (!CurrentGrid || ClickedCol < 0 || ClickedCol >= CurrentGrid->ColCount()) return;
  CurrentGrid->RemoveColumn(ClickedCol);
  DropSortTextOfRemovedColumn(*this, *CurrentGrid);
}

void TfrmMain::pmnRemoveRowClick() {
  if (CurrentGrid) RemoveCurrentRows(*CurrentGrid);
}

// ---------------------------------------------------------------- the grid popup

void TfrmMain::BuildGridPopup() {
  QMenu *m = mnTekiyouGrid;
  auto item = [this, m](const char *name, const char *caption_utf8 = "") {
    QAction *a = m->addAction(QString::fromUtf8(caption_utf8));
    a->setObjectName(QString::fromLatin1(name));
    return a;
  };
  auto on = [this](QAction *a, void (TfrmMain::*handler)()) {
    connect(a, &QAction::triggered, this,
            [this, handler] { RunExclusive([this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); }); });
  };
  m->addAction(actGridCopy);
  m->addAction(actGridAllCopy);
  m->addAction(actCopyMobile);
  pmnCopyExcel = item("pmnCopyExcel");
  connect(pmnCopyExcel, &QAction::triggered, this, [this] {
    if (auto *target = qobject_cast<QAction *>(pmnCopyExcel->data().value<QObject *>())) target->trigger();
  });
  m->addSeparator();
  m->addAction(pmnGridAdjustWidth);
  m->addAction(pmnFixedClm);
  m->addAction(pmnFixedClmOff);
  pmnRemoveClm = item("pmnRemoveClm", "列削除");
  pmnRemoveRow = item("pmnRemoveRow", "行削除");
  m->addSeparator();
  m->addAction(pmnGoogleTekiyo);
  pmnGoogleChuiJiko = item("pmnGoogleChuiJiko");
  pmnGoogleChuijikoOption = item("pmnGoogleChuijikoOption");
  pmnGoogleKonyo = item("pmnGoogleKonyo");
  pmnNoukaWebSearch = item("pmnNoukaWebSearch");
  pmnWeblio = item("pmnWeblio");
  pmnFcgr = item("pmnFcgr");
  pmnPrdbSearch = item("pmnPrdbSearch");
  pmnGoogleFfcr = item("pmnGoogleFfcr");
  pmnNihsSearch = item("pmnNihsSearch");
  pmnGene = item("pmnGene");
  pmnBoujonet = item("pmnBoujonet");
  m->addSeparator();
  pmnSendToTabYakuzai = item("pmnSendToTabYakuzai");
  pmnSendToSql = item("pmnSendToSql", "SQLタブで検索(&S)");
  on(pmnFixedClm, &TfrmMain::pmnFixedClmClick);
  on(pmnFixedClmOff, &TfrmMain::pmnFixedClmOffClick);
  on(pmnRemoveClm, &TfrmMain::pmnRemoveClmClick);
  on(pmnRemoveRow, &TfrmMain::pmnRemoveRowClick);
}

void TfrmMain::mnTekiyouGridPopup() {
  TXlsStringGrid *g = FPopupGrid ? FPopupGrid : CurrentGrid;
  LookupTerm.clear();
  pmnRemoveClm->setVisible(false);
  pmnRemoveRow->setVisible(false);
  QAction *lookups[] = {pmnGoogleTekiyo, pmnGoogleChuiJiko, pmnGoogleChuijikoOption, pmnGoogleKonyo,
                        pmnNoukaWebSearch, pmnWeblio, pmnFcgr, pmnPrdbSearch, pmnGoogleFfcr, pmnNihsSearch,
                        pmnGene, pmnBoujonet, pmnSendToTabYakuzai, pmnSendToSql};
  {
    // The spreadsheet item runs the command the last output chose.
    QAction *sheet[4] = {actCopyExcelByHTML, actCopyOOoCalc, actCopyWPS, actCopyJustCalc};
    QAction *target = sheet[OptionData->SpreadSheet < 4 ? OptionData->SpreadSheet : 0];
    pmnCopyExcel->setData(QVariant::fromValue<QObject *>(target));
    pmnCopyExcel->setText(target->text());
    pmnCopyExcel->setEnabled(target->isEnabled());
  }
  const bool inside = g && ClickedCol >= 0 && ClickedRow >= 0 && ClickedCol < g->ColCount() &&
                      ClickedRow < g->RowCount();
  if (!inside || ClickedRow == 0) {
    actGridCopy->setEnabled(false);
    for (QAction *a : lookups) a->setVisible(false);
    pmnFixedClm->setEnabled(inside);
    pmnFixedClmOff->setEnabled(inside);
    if (inside) {
      pmnRemoveClm->setText(ToQ("列削除(&D)"_sj));
      pmnRemoveClm->setVisible(true);
    }
    PopupCellText.clear();
    PopupHeader = inside ? g->Cells(ClickedCol, 0) : std::string();
    return;
  }
  try {
    actGridCopy->setEnabled(true);
    pmnRemoveRow->setText(ToQ("行削除(&D)"_sj));
    pmnRemoveRow->setVisible(true);

    PopupCellText = g->Cells(ClickedCol, ClickedRow);
    PopupHeader = g->Cells(ClickedCol, 0);
    const std::string &H = PopupHeader;
    std::string T = PopupCellText;
    const int crop_col = ColumnHeaded(*g, "作物名");
    const std::string C = crop_col >= 0 ? g->Cells(crop_col, ClickedRow) : std::string();
    const bool online = !Offline();

    // An ingredient cell is looked up by its common name, not by the name the view shows.
    if (NumberedHeader(H, "成分")) {
      if (SeibunViewMode == 0 && AcisDB && !T.empty()) {
        if (AcisDB->ExecQuery("select ippanmei from tSeibun where kanryaku = " + SqlQuoted(T)))
          for (TSQLiteTbl *q = AcisDB->Query(); !q->Eof(); q->Next()) T = q->FieldAsString(0);
      } else if (SeibunViewMode == 1) {
        const std::size_t from = T.find(" [");
        if (from != std::string::npos) {
          const std::size_t to = T.find(']', from);
          T.erase(from, to == std::string::npos ? std::string::npos : to - from + 1);
        }
        T = ReplaceAllText(T, "]", "");
      }
    }
    for (QAction *a : lookups) a->setVisible(false);

    // The web search is offered for any cell text but "-"; offline it is disabled.
    bool google = !T.empty() && T != "-";
    pmnGoogleTekiyo->setEnabled(online);
    LookupTerm = T;

    // Product, ingredient and group cells can be sent to the chemical tab as a search term.
    SendToTerm.clear();
    SendToSideTab = nullptr;
    if (!T.empty()) {
      const bool number_first = g->CellView(0, 0) == "番号"_sj;
      if (HeaderIs(H, {"農薬の種類", "農薬通称"}) || NumberedHeader(H, "成分") || NumberedHeader(H, "系統") ||
          NumberedHeader(H, "RAC") || (HeaderIs(H, {"農薬の名称"}) && !number_first)) {
        pmnSendToTabYakuzai->setText(ToQ(ItemCaption(T, "」を薬剤タブで検索")));
        SendToSideTab = ui->tabTsusho;
        SendToTerm = T;
      } else if (HeaderIs(H, {"農薬の名称"})) {
        const std::string number = g->Cells(0, ClickedRow);
        pmnSendToTabYakuzai->setText(ToQ(ItemCaption(number + ": " + T, "」を薬剤タブで検索")));
        SendToSideTab = ui->tabBango;
        SendToTerm = number;
      } else if (HeaderIs(H, {"番号"})) {
        pmnSendToTabYakuzai->setText(ToQ(ItemCaption(T, "」を薬剤タブで検索", "登録番号「")));
        SendToSideTab = ui->tabBango;
        SendToTerm = T;
        google = false;
      }
      pmnSendToTabYakuzai->setVisible(SendToSideTab != nullptr);
    }

    // A product name offers its caution, recommendation and retailer look-ups.
    if (HeaderIs(H, {"農薬の名称", "農薬通称"})) {
      ShowProductLookups(pmnGoogleChuiJiko, pmnGoogleChuijikoOption, pmnGoogleKonyo, pmnNoukaWebSearch, T, C,
                         online);
    }

    // An ingredient name offers the dictionary and residue-limit look-ups.
    if (NumberedHeader(H, "成分")) {
      const std::string N = T.empty() ? T : FormatIsoName(T);
      pmnWeblio->setText(ToQ(ItemCaption(T, "」を Weblio で検索")));
      pmnFcgr->setText(ToQ(ItemCaption(N, "」を Google(フジテレビ商品研究所サイト内)で検索")));
      pmnPrdbSearch->setText(ToQ(ItemCaption(N, "」を 日本食品衛生学会残留農薬基準値データベースで検索(&N)")));
      for (QAction *a : {pmnWeblio, pmnFcgr, pmnPrdbSearch}) {
        a->setVisible(!T.empty());
        a->setEnabled(online);
      }
    }

    // A crop name can be sent to the SQL tab.
    if (HeaderIs(H, {"作物名"})) {
      pmnSendToSql->setText(ToQ(ItemCaption(T, "」をSQLタブで検索")));
      pmnSendToSql->setVisible(true);
    }

    // Pests, diseases and weeds are looked up together with the crop they were registered for.
    if (HeaderIs(H, {"適用病害虫雑草名"})) {
      const int cid = AcisDB && !T.empty() ? AcisDB->ByochuCid(T) : 0;
      if (cid == 1 || cid == 2) LookupTerm = T + " " + C;
      pmnGene->setText(ToQ(ItemCaption(LookupTerm, "」をGoogleで農業生物資源サイト内検索")));
      pmnBoujonet->setText(
          ToQ(ItemCaption(LookupTerm, (std::string("」をGoogleで") + kPestControlSiteName + "サイト内検索").c_str())));
      pmnGene->setVisible(cid == 1);
      pmnBoujonet->setVisible(cid >= 1 && cid <= 3);
      pmnGene->setEnabled(online);
      pmnBoujonet->setEnabled(online);
    }

    // Codes, counts and amounts are not searched on the web.
    if (NumberedHeader(H, "RAC") || NumberedHeader(H, "回数") ||
        HeaderIs(H, {"混合数", "本剤の使用回数", "散布液量", "製剤毒性"}))
      google = false;
    pmnGoogleTekiyo->setText(ToQ(ItemCaption(T, "」をGoogleで検索")));
    pmnGoogleTekiyo->setVisible(google);
  } catch (...) {
    // A failure while building leaves the menu as far as it got.
  }
  pmnNihsSearch->setVisible(false);
  pmnGoogleFfcr->setVisible(false);
}
