#include "platform/CompoundFile.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/cp932.h"

namespace cfb {

namespace {

constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint32_t kMaxRegSect = 0xFFFFFFFA;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::size_t kHeaderDifat = 109;
constexpr std::size_t kMiniSectorSize = 64;

std::uint16_t U16(const unsigned char *p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t U32(const unsigned char *p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint64_t U64(const unsigned char *p) {
  return static_cast<std::uint64_t>(U32(p)) | (static_cast<std::uint64_t>(U32(p + 4)) << 32);
}

[[noreturn]] void Fail(const std::string &what) { throw ECompoundFileError("compound file: " + what); }

char16_t FoldAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c; }

}  // namespace

bool TCompoundFile::HasSignature(std::string_view data) {
  return data.size() >= sizeof kSignature && std::memcmp(data.data(), kSignature, sizeof kSignature) == 0;
}

TCompoundFile::TCompoundFile(std::string data)
    : owned_(std::make_shared<const std::string>(std::move(data))), data_(*owned_) {
  Parse();
}

TCompoundFile TCompoundFile::View(std::string_view data) {
  TCompoundFile cf;
  cf.data_ = data;
  cf.Parse();
  return cf;
}

void TCompoundFile::Parse() {
  ReadHeaderAndFat();
  ReadDirectory();
}

TCompoundFile TCompoundFile::Open(const std::filesystem::path &path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) Fail("cannot open " + path.string());
  std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (f.bad()) Fail("cannot read " + path.string());
  return TCompoundFile(std::move(bytes));
}

// Sector n as a pointer to at least `need` bytes inside the data.
const unsigned char *TCompoundFile::Sector(std::uint32_t n, std::size_t need) const {
  if (n >= sector_count_) Fail("sector number out of range");
  std::uint64_t off = (static_cast<std::uint64_t>(n) + 1) << sector_shift_;
  if (off + need > data_.size()) Fail("sector beyond the end of the file");
  return reinterpret_cast<const unsigned char *>(data_.data()) + off;
}

void TCompoundFile::ReadHeaderAndFat() {
  if (data_.size() < 512) Fail("file too short");
  if (!HasSignature(data_)) Fail("no signature");
  const auto *h = reinterpret_cast<const unsigned char *>(data_.data());
  major_ = U16(h + 0x1A);
  if (U16(h + 0x1C) != 0xFFFE) Fail("bad byte order mark");
  sector_shift_ = U16(h + 0x1E);
  if (!((major_ == 3 && sector_shift_ == 9) || (major_ == 4 && sector_shift_ == 12)))
    Fail("unsupported version or sector size");
  if (U16(h + 0x20) != 6) Fail("bad mini sector size");
  sector_size_ = std::size_t{1} << sector_shift_;
  if (data_.size() < sector_size_ + 1) Fail("file too short");
  sector_count_ = static_cast<std::uint32_t>(
      std::min<std::uint64_t>((data_.size() - sector_size_ + sector_size_ - 1) >> sector_shift_,
                              kMaxRegSect));
  std::uint32_t fat_count = U32(h + 0x2C);
  first_dir_ = U32(h + 0x30);
  mini_cutoff_ = U32(h + 0x38);
  if (mini_cutoff_ != 4096) Fail("bad mini stream cutoff");
  first_minifat_ = U32(h + 0x3C);
  minifat_count_ = U32(h + 0x40);
  std::uint32_t difat = U32(h + 0x44);
  std::uint32_t difat_count = U32(h + 0x48);
  if (fat_count == 0 || fat_count > sector_count_) Fail("bad allocation table size");

  // Sector numbers of the allocation table: the first 109 in the header, the rest in a
  // chain of extension sectors whose last word points to the next one.
  std::vector<std::uint32_t> fat_sectors;
  fat_sectors.reserve(fat_count);
  for (std::size_t i = 0; i < kHeaderDifat && fat_sectors.size() < fat_count; ++i)
    fat_sectors.push_back(U32(h + 0x4C + 4 * i));
  const std::size_t per_sector = sector_size_ / 4;
  std::vector<bool> seen(sector_count_, false);
  std::uint32_t steps = 0;
  while (fat_sectors.size() < fat_count) {
    if (difat >= sector_count_ || steps >= difat_count) Fail("allocation table list too short");
    if (seen[difat]) Fail("allocation table list loops");
    seen[difat] = true;
    ++steps;
    const unsigned char *p = Sector(difat, sector_size_);
    for (std::size_t i = 0; i + 1 < per_sector && fat_sectors.size() < fat_count; ++i)
      fat_sectors.push_back(U32(p + 4 * i));
    difat = U32(p + 4 * (per_sector - 1));
  }
  fat_.resize(static_cast<std::size_t>(fat_count) * per_sector);
  for (std::size_t i = 0; i < fat_sectors.size(); ++i) {
    const unsigned char *p = Sector(fat_sectors[i], sector_size_);
    for (std::size_t k = 0; k < per_sector; ++k) fat_[i * per_sector + k] = U32(p + 4 * k);
  }
}

// The sector numbers of a chain through table, from start, at most limit sectors long
// (the chain may go on; the rest is not followed). A chain that ends early, leaves the
// table or the file, or comes back to a sector raises.
std::vector<std::uint32_t> TCompoundFile::Chain(const std::vector<std::uint32_t> &table,
                                                std::uint32_t start, std::uint64_t limit,
                                                const char *what) const {
  std::vector<std::uint32_t> out;
  std::vector<bool> seen(table.size(), false);
  std::uint32_t cur = start;
  while (out.size() < limit) {
    if (cur == kEndOfChain && limit == UINT64_MAX) break;
    if (cur >= table.size()) Fail(std::string(what) + ": chain broken");
    if (seen[cur]) Fail(std::string(what) + ": chain loops");
    seen[cur] = true;
    out.push_back(cur);
    cur = table[cur];
  }
  return out;
}

std::string TCompoundFile::ReadChain(std::uint32_t start, std::uint64_t size) const {
  if (size > static_cast<std::uint64_t>(sector_count_) << sector_shift_)
    Fail("stream larger than the file");
  std::uint64_t need = (size + sector_size_ - 1) >> sector_shift_;
  std::vector<std::uint32_t> chain = Chain(fat_, start, need, "stream");
  std::string out;
  out.reserve(static_cast<std::size_t>(size));
  for (std::uint32_t s : chain) {
    std::size_t n = std::min<std::size_t>(sector_size_, static_cast<std::size_t>(size) - out.size());
    out.append(reinterpret_cast<const char *>(Sector(s, n)), n);
  }
  return out;
}

void TCompoundFile::ReadDirectory() {
  std::vector<std::uint32_t> chain = Chain(fat_, first_dir_, UINT64_MAX, "directory");
  if (chain.empty()) Fail("no directory");
  for (std::uint32_t s : chain) {
    if (s >= sector_count_) Fail("directory: sector out of range");
    const unsigned char *p = Sector(s, sector_size_);
    for (std::size_t off = 0; off + 128 <= sector_size_; off += 128) {
      const unsigned char *e = p + off;
      RawEntry r;
      r.type = e[0x42];
      std::uint16_t name_len = U16(e + 0x40);
      if (r.type != 0) {
        if (name_len > 64 || name_len % 2 != 0) Fail("directory: bad name length");
        for (std::size_t i = 0; i + 2 < name_len; i += 2) r.name.push_back(static_cast<char16_t>(U16(e + i)));
      }
      r.left = U32(e + 0x44);
      r.right = U32(e + 0x48);
      r.child = U32(e + 0x4C);
      r.start = U32(e + 0x74);
      r.size = major_ == 3 ? U32(e + 0x78) : U64(e + 0x78);
      raw_.push_back(std::move(r));
    }
  }
  if (raw_[0].type != 5) Fail("directory: no root entry");
  std::vector<bool> seen(raw_.size(), false);
  seen[0] = true;
  WalkTree(raw_[0].child, "", 0, seen);
}

// Lists the entries below a storage, walking the sibling trees and storages with a
// work list of our own (a crafted file may hold a very deep or cyclic tree).
void TCompoundFile::WalkTree(std::uint32_t id, const std::string &prefix, int depth,
                             std::vector<bool> &seen) {
  struct Item {
    std::uint32_t id;
    std::string prefix;
    int depth;
  };
  std::vector<Item> work{{id, prefix, depth}};
  while (!work.empty()) {
    Item it = std::move(work.back());
    work.pop_back();
    if (it.id == kNoStream) continue;
    if (it.id >= raw_.size()) Fail("directory: entry number out of range");
    if (seen[it.id]) Fail("directory: tree loops");
    seen[it.id] = true;
    const RawEntry &r = raw_[it.id];
    if (r.type != 1 && r.type != 2) Fail("directory: bad entry type");
    TDirEntry d;
    d.name = r.name;
    d.path = it.prefix + cp932::Utf16ToUtf8(r.name);
    d.is_stream = r.type == 2;
    d.depth = it.depth;
    d.size = d.is_stream ? r.size : 0;
    d.start = r.start;
    work.push_back({r.right, it.prefix, it.depth});
    if (r.type == 1) work.push_back({r.child, d.path + "/", it.depth + 1});
    work.push_back({r.left, it.prefix, it.depth});
    entries_.push_back(std::move(d));
  }
}

void TCompoundFile::ReadMini() const {
  if (mini_loaded_) return;
  minifat_.clear();
  const RawEntry &root = raw_[0];
  mini_stream_ = ReadChain(root.start, root.size);
  std::vector<std::uint32_t> chain = Chain(fat_, first_minifat_, UINT64_MAX, "mini table");
  const std::size_t per_sector = sector_size_ / 4;
  minifat_.reserve(chain.size() * per_sector);
  for (std::uint32_t s : chain) {
    const unsigned char *p = Sector(s, sector_size_);
    for (std::size_t k = 0; k < per_sector; ++k) minifat_.push_back(U32(p + 4 * k));
  }
  mini_loaded_ = true;
}

int TCompoundFile::FindStream(std::string_view name) const {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const TDirEntry &e = entries_[i];
    if (!e.is_stream || e.depth != 0 || e.name.size() != name.size()) continue;
    bool same = true;
    for (std::size_t k = 0; k < name.size() && same; ++k)
      same = FoldAscii(e.name[k]) == FoldAscii(static_cast<char16_t>(static_cast<unsigned char>(name[k])));
    if (same) return static_cast<int>(i);
  }
  return -1;
}

std::string TCompoundFile::ReadStream(const TDirEntry &entry) const {
  if (!entry.is_stream) Fail("not a stream");
  if (entry.size >= mini_cutoff_) return ReadChain(entry.start, entry.size);
  if (entry.size == 0) return std::string();
  ReadMini();
  if (entry.size > mini_stream_.size()) Fail("mini stream too short");
  std::uint64_t need = (entry.size + kMiniSectorSize - 1) / kMiniSectorSize;
  std::vector<std::uint32_t> chain = Chain(minifat_, entry.start, need, "mini stream");
  std::string out;
  out.resize(static_cast<std::size_t>(entry.size));
  std::size_t pos = 0;
  for (std::uint32_t m : chain) {
    std::size_t n = std::min<std::size_t>(kMiniSectorSize, out.size() - pos);
    std::uint64_t off = static_cast<std::uint64_t>(m) * kMiniSectorSize;
    if (off + n > mini_stream_.size()) Fail("mini sector beyond the mini stream");
    std::memcpy(out.data() + pos, mini_stream_.data() + off, n);
    pos += n;
  }
  return out;
}

}  // namespace cfb
