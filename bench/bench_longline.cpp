// The SQL editor on one long wrapped line: a keystroke (a character typed and deleted
// again, with the repaint it causes) and a full repaint of the window, each at the end of a
// 1 MB line against the same at its start, in the same run. Where a position on the line
// costs a walk from the line's start, the end grows with the line and the ratio with it.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_longline [--bytes N]
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "components/editor/QmEdit.h"
#include "components/editor/QmHighlighterSQL.h"
#include "platform/cp932.h"
#include "ratio.h"

namespace {

std::size_t g_bytes = 1 << 20;

// SQL with Japanese text, where several trail bytes lie in the lead-byte range (日 = 93 FA)
// and others equal ASCII codes (ソ = 83 5C "\").
std::string LongLine() {
  const std::string piece = "SELECT t.idsaku, s.name AS " + cp932::FromUtf8("作物名") +
                            " FROM ttTekiyoSaku t WHERE b.name LIKE '%" +
                            cp932::FromUtf8("日本のソバ、アブラムシ類") + "%' AND t.kaisu <= 2; ";
  std::string line;
  line.reserve(g_bytes + piece.size());
  while (line.size() < g_bytes) line += piece;
  return line;
}

struct Window {
  TQmSQLSyn syn;
  TQmEdit e;
  QImage image;
  Window() {
    e.resize(800, 600);
    e.SetHighlighter(&syn);
    e.SetWordWrap(true);
    e.SetText(LongLine());
    e.show();
    QCoreApplication::processEvents();
    image = QImage(e.viewport()->size(), QImage::Format_RGB32);
  }
  ~Window() { e.SetHighlighter(nullptr); }
  void PlaceCaret(bool AtEnd) {
    const int len = static_cast<int>(e.Lines().Get(0).size());
    e.SetCaretXY({AtEnd ? len + 1 : 1, 1});
    e.EnsureCursorPosVisible();
    QCoreApplication::processEvents();
  }
};

Window *g_window = nullptr;

void Key(QWidget *w, int key, const QString &text) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QCoreApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QCoreApplication::sendEvent(w, &release);
  QCoreApplication::processEvents();  // the repaint the key asked for
}

// Two keys per iteration, a character and the backspace that takes it away, so that the
// line stays as it was; the time per key is half the iteration's.
void Keystroke(benchmark::State &state, bool AtEnd) {
  g_window->PlaceCaret(AtEnd);
  const std::string before = g_window->e.Lines().Get(0);
  for (auto _ : state) {
    Key(&g_window->e, Qt::Key_X, QStringLiteral("x"));
    Key(&g_window->e, Qt::Key_Backspace, QString());
  }
  if (g_window->e.Lines().Get(0) != before) state.SkipWithError("the keys did not give the line back");
}

void Repaint(benchmark::State &state, bool AtEnd) {
  g_window->PlaceCaret(AtEnd);
  for (auto _ : state) g_window->e.viewport()->render(&g_window->image);
}

void BM_KeystrokeAtStart(benchmark::State &state) { Keystroke(state, false); }
void BM_KeystrokeAtEnd(benchmark::State &state) { Keystroke(state, true); }
void BM_RepaintAtStart(benchmark::State &state) { Repaint(state, false); }
void BM_RepaintAtEnd(benchmark::State &state) { Repaint(state, true); }

BENCHMARK(BM_KeystrokeAtStart)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_KeystrokeAtEnd)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_RepaintAtStart)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_RepaintAtEnd)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

}  // namespace

int main(int argc, char **argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--bytes") g_bytes = std::strtoul(argv[i + 1], nullptr, 10);
  Window window;
  g_window = &window;
  auto t = qmbench::RunBenchmarks(&argc, argv);
  g_window = nullptr;
  const auto ratio = [&](const char *end, const char *start) {
    const double a = t[end], b = t[start];
    return b > 0 ? a / b : 0.0;
  };
  const char *const keyEnd = "BM_KeystrokeAtEnd/min_time:1.000/real_time";
  const char *const keyStart = "BM_KeystrokeAtStart/min_time:1.000/real_time";
  const char *const paintEnd = "BM_RepaintAtEnd/min_time:1.000/real_time";
  const char *const paintStart = "BM_RepaintAtStart/min_time:1.000/real_time";
  std::printf("\n%zu-byte wrapped line, per key at its end: %.2f ms (target <= 100 ms)\n", g_bytes, t[keyEnd] / 2);
  std::printf("keystroke at the end / at the start: %.2f\n", ratio(keyEnd, keyStart));
  std::printf("repaint at the end / at the start: %.2f\n", ratio(paintEnd, paintStart));
  return 0;
}
