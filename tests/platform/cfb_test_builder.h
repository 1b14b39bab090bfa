// Assembles small compound files for the reader tests, with their layout known so
// that a test can damage one structure at a time. Layout: the allocation table, the
// directory, the mini table, the mini stream, then each large stream in turn.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qmtest {

struct CfbStream {
  std::u16string name;
  std::string data;
};

struct CfbImage {
  std::string bytes;
  std::size_t sector_size = 512;
  std::uint32_t fat_sector = 0, dir_sector = 0, minifat_sector = 0, ministream_sector = 0;
  std::vector<std::uint32_t> stream_sector;  // first sector of each large stream (or mini sector)

  std::size_t SectorOffset(std::uint32_t n) const { return (n + 1) * sector_size; }
  std::size_t FatEntryOffset(std::uint32_t n) const { return SectorOffset(fat_sector) + 4 * n; }
  std::size_t DirEntryOffset(std::uint32_t i) const { return SectorOffset(dir_sector) + 128 * i; }
  void PutU32(std::size_t off, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[off + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  }
};

inline CfbImage BuildCfb(int major, const std::vector<CfbStream> &streams) {
  const std::uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFatSect = 0xFFFFFFFD, kNone = 0xFFFFFFFF;
  CfbImage img;
  const std::size_t ss = major == 4 ? 4096 : 512;
  img.sector_size = ss;
  auto sectors = [ss](std::size_t n) { return (n + ss - 1) / ss; };

  std::string mini;
  std::vector<std::uint32_t> minifat;
  std::vector<std::uint32_t> start(streams.size(), 0);
  for (std::size_t i = 0; i < streams.size(); ++i) {
    const std::string &d = streams[i].data;
    if (d.size() >= 4096 || d.empty()) continue;
    std::uint32_t first = static_cast<std::uint32_t>(mini.size() / 64);
    std::size_t n = (d.size() + 63) / 64;
    for (std::size_t k = 0; k < n; ++k) minifat.push_back(k + 1 < n ? first + k + 1 : kEnd);
    start[i] = first;
    mini += d;
    mini.resize(mini.size() + (64 - mini.size() % 64) % 64, '\0');
  }
  std::size_t dir_n = sectors((streams.size() + 1) * 128);
  std::size_t minifat_n = sectors(minifat.size() * 4);
  std::size_t mini_n = sectors(mini.size());
  std::size_t big_n = 0;
  for (const auto &s : streams)
    if (s.data.size() >= 4096) big_n += sectors(s.data.size());
  std::size_t fat_n = 1;
  while (fat_n * (ss / 4) < fat_n + dir_n + minifat_n + mini_n + big_n) ++fat_n;

  std::vector<std::uint32_t> fat(fat_n * (ss / 4), kFree);
  std::uint32_t next = 0;
  auto chain = [&](std::size_t n) {
    std::uint32_t first = next;
    for (std::size_t k = 0; k < n; ++k, ++next) fat[next] = k + 1 < n ? next + 1 : kEnd;
    return n ? first : kEnd;
  };
  for (std::size_t k = 0; k < fat_n; ++k) fat[next++] = kFatSect;
  img.fat_sector = 0;
  img.dir_sector = chain(dir_n);
  img.minifat_sector = chain(minifat_n);
  img.ministream_sector = chain(mini_n);
  for (std::size_t i = 0; i < streams.size(); ++i)
    if (streams[i].data.size() >= 4096) start[i] = chain(sectors(streams[i].data.size()));
  img.stream_sector = start;

  std::string out(ss + next * ss, '\0');
  auto put16 = [&](std::size_t off, std::uint16_t v) {
    out[off] = static_cast<char>(v & 0xFF);
    out[off + 1] = static_cast<char>(v >> 8);
  };
  auto put32 = [&](std::size_t off, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[off + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  const unsigned char sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(sig[i]);
  put16(0x18, 0x3E);
  put16(0x1A, static_cast<std::uint16_t>(major));
  put16(0x1C, 0xFFFE);
  put16(0x1E, major == 4 ? 12 : 9);
  put16(0x20, 6);
  put32(0x28, major == 4 ? static_cast<std::uint32_t>(dir_n) : 0);
  put32(0x2C, static_cast<std::uint32_t>(fat_n));
  put32(0x30, img.dir_sector);
  put32(0x38, 4096);
  put32(0x3C, minifat_n ? img.minifat_sector : kEnd);
  put32(0x40, static_cast<std::uint32_t>(minifat_n));
  put32(0x44, kEnd);
  put32(0x48, 0);
  for (std::size_t i = 0; i < 109; ++i) put32(0x4C + 4 * i, i < fat_n ? static_cast<std::uint32_t>(i) : kFree);
  auto sector_off = [&](std::uint32_t n) { return (n + 1) * ss; };
  for (std::size_t i = 0; i < fat.size(); ++i) put32(sector_off(0) + 4 * i, fat[i]);
  auto dir_entry = [&](std::size_t i, const std::u16string &name, std::uint8_t type,
                       std::uint32_t right, std::uint32_t child, std::uint32_t first,
                       std::uint64_t size) {
    std::size_t off = sector_off(img.dir_sector) + 128 * i;
    for (std::size_t k = 0; k < name.size(); ++k) put16(off + 2 * k, name[k]);
    put16(off + 0x40, static_cast<std::uint16_t>(2 * (name.size() + 1)));
    out[off + 0x42] = static_cast<char>(type);
    out[off + 0x43] = 1;
    put32(off + 0x44, kNone);
    put32(off + 0x48, right);
    put32(off + 0x4C, child);
    put32(off + 0x74, first);
    put32(off + 0x78, static_cast<std::uint32_t>(size));
    put32(off + 0x7C, static_cast<std::uint32_t>(size >> 32));
  };
  dir_entry(0, u"Root Entry", 5, kNone, streams.empty() ? kNone : 1,
            mini_n ? img.ministream_sector : kEnd, mini.size());
  for (std::size_t i = 0; i < streams.size(); ++i)
    dir_entry(i + 1, streams[i].name, 2, i + 1 < streams.size() ? static_cast<std::uint32_t>(i + 2) : kNone,
              kNone, streams[i].data.empty() ? kEnd : start[i], streams[i].data.size());
  for (std::size_t i = 0; i < minifat.size(); ++i) put32(sector_off(img.minifat_sector) + 4 * i, minifat[i]);
  if (mini_n) out.replace(sector_off(img.ministream_sector), mini.size(), mini);
  for (std::size_t i = 0; i < streams.size(); ++i)
    if (streams[i].data.size() >= 4096) out.replace(sector_off(start[i]), streams[i].data.size(), streams[i].data);
  img.bytes = std::move(out);
  return img;
}

}  // namespace qmtest
