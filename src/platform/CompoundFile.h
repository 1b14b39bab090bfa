// Reader of compound files (the structured-storage container that office documents
// of the BIFF era are kept in): the header, the sector allocation table with its
// extension sectors, the directory tree, the mini stream and its own allocation table,
// for the 512-byte sector layout (version 3) and the 4,096-byte one (version 4).
//
// The whole file is held in memory. Every sector number, chain and size is checked
// against the data before it is used: a damaged file raises ECompoundFileError, never
// reads outside the data and never loops.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace cfb {

class ECompoundFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One entry of the directory (storages and streams; the root is not listed).
struct TDirEntry {
  std::u16string name;     // as stored, UTF-16
  std::string path;        // from the root, "/" between levels, UTF-8
  bool is_stream = false;  // false: a storage
  int depth = 0;           // 0 directly below the root
  std::uint64_t size = 0;  // streams only
  std::uint32_t start = 0; // first sector (or mini sector) of a stream
};

class TCompoundFile {
 public:
  // True when data begins with the compound-file signature.
  static bool HasSignature(std::string_view data);

  // Parses a compound file held in memory. Throws ECompoundFileError when the bytes
  // are not a compound file or a structure in it is damaged.
  explicit TCompoundFile(std::string data);
  // The same on bytes the caller keeps alive for the lifetime of this object.
  static TCompoundFile View(std::string_view data);

  // Reads the file at path and parses it. Throws ECompoundFileError, also when the
  // file cannot be read.
  static TCompoundFile Open(const std::filesystem::path &path);

  int MajorVersion() const { return major_; }
  const std::vector<TDirEntry> &Entries() const { return entries_; }

  // Index in Entries() of the stream directly below the root whose name equals name,
  // ignoring the case of A-Z; -1 when there is none.
  int FindStream(std::string_view name) const;

  // The bytes of a stream entry. Throws ECompoundFileError when its chain is damaged.
  std::string ReadStream(const TDirEntry &entry) const;
  std::string ReadStream(int index) const { return ReadStream(entries_.at(index)); }

 private:
  struct RawEntry {
    std::u16string name;
    std::uint8_t type = 0;
    std::uint32_t left = 0, right = 0, child = 0, start = 0;
    std::uint64_t size = 0;
  };

  const unsigned char *Sector(std::uint32_t n, std::size_t need) const;
  std::vector<std::uint32_t> Chain(const std::vector<std::uint32_t> &table, std::uint32_t start,
                                   std::uint64_t limit, const char *what) const;
  std::string ReadChain(std::uint32_t start, std::uint64_t size) const;
  void ReadHeaderAndFat();
  void ReadDirectory();
  void ReadMini() const;
  void WalkTree(std::uint32_t id, const std::string &prefix, int depth,
                std::vector<bool> &seen);

  TCompoundFile() = default;
  void Parse();

  std::shared_ptr<const std::string> owned_;  // the bytes, unless they are the caller's
  std::string_view data_;
  int major_ = 0;
  unsigned sector_shift_ = 9;
  std::size_t sector_size_ = 512;
  std::uint32_t sector_count_ = 0;  // sectors present in the file (a partial last one counts)
  std::uint32_t mini_cutoff_ = 4096;
  std::uint32_t first_dir_ = 0, first_minifat_ = 0, minifat_count_ = 0;
  std::vector<std::uint32_t> fat_;
  // The mini stream and its table are read on the first small stream asked for.
  mutable bool mini_loaded_ = false;
  mutable std::vector<std::uint32_t> minifat_;
  mutable std::string mini_stream_;
  std::vector<RawEntry> raw_;
  std::vector<TDirEntry> entries_;
};

}  // namespace cfb
