// Feeds arbitrary bytes to the workbook reader and to the compound-file reader. The
// only acceptable outcomes are the readers' own errors; anything else (a crash, a
// read outside the data, another exception, a hang) is a finding.
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DQM_BUILD_FUZZ=ON \
//       -DQM_BUILD_TESTS=OFF -DQM_BUILD_BENCH=OFF
//   cmake --build build-fuzz --target fuzz_xbiff
//   build-fuzz/fuzz/fuzz_xbiff -max_len=65536 corpus/ tests/fixtures/xls/
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/XBiff.h"
#include "platform/CompoundFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char *>(data), size);

  std::size_t sum = 0;
  TXBiff x;
  x.OnReadCell = [&](TXBiff *, int sheet, int row, int col, int attr, const std::string &text, bool &cancel) {
    for (char c : text) sum += static_cast<unsigned char>(c);
    sum += static_cast<std::size_t>(sheet + row + col + attr);
    cancel = sum == 12345;
  };
  x.OnReadSheetName = [&](TXBiff *, const std::string &name) { sum += name.size(); };
  x.OnReadColW = [&](TXBiff *, int sheet, int col, int width) { sum += static_cast<std::size_t>(sheet + col + width); };
  x.OnProgress = [&](TXBiff *, int p) {
    if (p < 0 || p > 100) __builtin_trap();
  };
  try {
    x.ReadWorkbookData(bytes);
  } catch (const EXBiffError &) {
  }

  try {
    cfb::TCompoundFile cf(bytes);
    for (const auto &e : cf.Entries())
      if (e.is_stream && cf.ReadStream(e).size() != e.size) __builtin_trap();
  } catch (const cfb::ECompoundFileError &) {
  }
  return static_cast<int>(sum & 0);
}
