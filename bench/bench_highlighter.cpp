// The SQL editor's colouring and text output under load: tokenizing 20,000 lines of SQL
// with Japanese text against one plain walk over the same characters, and drawing a screen
// of 50 rows through the text drawer's cached glyphs against drawing every character with
// QPainter::drawText at its cell.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <string>
#include <vector>

#include "components/editor/QmHighlighterSQL.h"
#include "components/editor/QmTextDrawer.h"
#include "components/qtext.h"
#include "platform/cp932.h"
#include "ratio.h"

namespace {

constexpr int kLines = 20000;
constexpr int kRows = 50;

const std::vector<std::string> &Lines() {
  static const std::vector<std::string> lines = [] {
    const std::string rows[] = {
        "SELECT t.idsaku, s.name AS sakumotsu, b.name AS byochu\t-- " + cp932::FromUtf8("作物と病害虫"),
        "  FROM ttTekiyoSaku t JOIN m_sakumotsu s ON s.idsaku = t.idsaku /* join",
        "  the crops */ WHERE b.name LIKE '%" + cp932::FromUtf8("アブラムシ類") + "%' AND t.kaisu <= 2",
        "PRAGMA table_info(m_tekiyo); SELECT strconv(name, 'KCWV'), count(*) FROM m_tekiyo GROUP BY 1;",
        "INSERT INTO t_main VALUES(1, '" + cp932::FromUtf8("収穫前日まで、２０００～３０００倍で散布する") + "');",
    };
    std::vector<std::string> v;
    for (int i = 0; i < kLines; ++i) v.push_back(rows[i % 5]);
    return v;
  }();
  return lines;
}

void BM_WalkCharactersReference(benchmark::State &state) {
  for (auto _ : state) {
    std::size_t chars = 0;
    for (const std::string &line : Lines())
      for (std::size_t i = 0; i < line.size(); i += cp932::CharLen(line, i)) ++chars;
    benchmark::DoNotOptimize(chars);
  }
}

void BM_HighlightLines(benchmark::State &state) {
  TQmSQLSyn syn;
  syn.SetSQLDialect(sqlSQLite);
  syn.SetTableNames({"m_tekiyo", "m_sakumotsu", "ttTekiyoSaku", "t_main"});
  for (auto _ : state) {
    std::size_t tokens = 0;
    syn.ResetRange();
    int range = syn.GetRange();
    for (const std::string &line : Lines()) {
      syn.SetRange(range);
      syn.SetLine(line, 0);
      while (!syn.AtLineEnd()) {
        tokens += static_cast<std::size_t>(syn.GetTokenKind());
        syn.Next();
      }
      range = syn.GetRange();
    }
    benchmark::DoNotOptimize(tokens);
  }
}

struct Screen {
  TFont font;
  std::unique_ptr<TheTextDrawer> drawer;
  QImage image;
  Screen() {
    font.SetName("Courier New");
    font.SetSize(10);
    drawer = std::make_unique<TheTextDrawer>(fsBold, &font);
    image = QImage(drawer->CharWidth() * 100, drawer->CharHeight() * kRows, QImage::Format_RGB32);
  }
};

Screen &TheScreen() {
  static Screen s;
  return s;
}

void BM_DrawCellsReference(benchmark::State &state) {
  Screen &s = TheScreen();
  const QFont font = s.drawer->FontStock().CurrentFont();
  const int cw = s.drawer->CharWidth(), ch = s.drawer->CharHeight();
  const int ascent = QFontMetrics(font).ascent();
  for (auto _ : state) {
    QPainter p(&s.image);
    p.setFont(font);
    p.fillRect(s.image.rect(), Qt::white);
    for (int r = 0; r < kRows; ++r) {
      const std::string &line = Lines()[static_cast<std::size_t>(r)];
      for (std::size_t i = 0; i < line.size();) {
        const std::size_t n = cp932::CharLen(line, i);
        p.drawText(QPointF(static_cast<qreal>(i) * cw, r * ch + ascent), ToQ(line.substr(i, n)));
        i += n;
      }
    }
  }
}

void BM_DrawCellsTextDrawer(benchmark::State &state) {
  Screen &s = TheScreen();
  const int ch = s.drawer->CharHeight();
  for (auto _ : state) {
    QPainter p(&s.image);
    p.fillRect(s.image.rect(), Qt::white);
    s.drawer->BeginDrawing(&p);
    for (int r = 0; r < kRows; ++r) {
      const std::string &line = Lines()[static_cast<std::size_t>(r)];
      s.drawer->ExtTextOut(0, r * ch, 0, nullptr, line, static_cast<int>(line.size()));
    }
    s.drawer->EndDrawing();
  }
}

BENCHMARK(BM_WalkCharactersReference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HighlightLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawCellsReference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawCellsTextDrawer)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  auto t = qmbench::RunBenchmarks(&argc, argv);
  if (t.count("BM_WalkCharactersReference") && t.count("BM_HighlightLines"))
    std::printf("tokenizing / plain character walk of the same %d lines: %.2f\n", kLines,
                t["BM_HighlightLines"] / t["BM_WalkCharactersReference"]);
  if (t.count("BM_DrawCellsReference") && t.count("BM_DrawCellsTextDrawer"))
    std::printf("text drawer / drawText per character, %d rows: %.2f\n", kRows,
                t["BM_DrawCellsTextDrawer"] / t["BM_DrawCellsReference"]);
  return 0;
}
