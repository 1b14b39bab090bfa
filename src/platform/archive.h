// The archive library the program calls with command strings: one entry point runs a
// command and writes its text output into the caller's buffer, two give the version.
// Backed by libarchive: ZIP, 7z and LZH archives (the format is found from the
// content, whatever the file is called); entry names without the UTF-8 mark are read
// as CP932.
//
// The one command understood is extraction with the folder paths kept:
//   x [-r] [-hide] [-aoa] [-y] "<archive>" -o"<folder>"
// Existing files are replaced. Each file is written beside its target first, and the files
// are put in place only once the whole archive has been read: an extraction that fails
// leaves the folder as it was, removing what it wrote and the folders it made, and keeping
// the files it would have replaced. Entries that would land outside the folder (absolute
// names, "..", drive letters) and links are refused, and so is what would pass the size
// limit below.
//
// Commands, paths and output are program text (CP932).
#pragma once

#include <cstddef>
#include <cstdint>

namespace sevenzip {

// Result codes of SevenZip.
enum : int {
  ARC_OK = 0,
  ARC_ERROR_COMMAND = 0x8001,   // command not understood
  ARC_ERROR_OPEN = 0x8002,      // archive missing, unreadable or of no known format
  ARC_ERROR_FOLDER = 0x8003,    // target folder cannot be made
  ARC_ERROR_ENTRY = 0x8004,     // an entry was refused or could not be written
  ARC_ERROR_DATA = 0x8005,      // the archive is damaged
  ARC_ERROR_SIZE = 0x8006,      // an entry, or all entries together, would pass the size limit
};

// No published file comes near this size: the largest, the makers' ready-made acis.db,
// holds about 280 MB at the full register's 300,000 applications, and the largest CSV file
// about 80 MB. An entry that would pass it, or an archive whose entries together would, is
// refused and the extraction stops there, whatever the archive's headers announce: a
// damaged or hostile archive (a stored giant, a compression bomb) would otherwise fill the
// disk and hold up the update for ever. Nothing past the limit is written, and what the
// archive's entries before it gave is removed again.
inline constexpr std::uint64_t kMaxUnpackBytes = std::uint64_t{768} << 20;

// The limit extraction applies: kMaxUnpackBytes unless set otherwise (a test sets a small
// one, here or, for the program it starts, through QUILLMAR_UNPACK_LIMIT, which can only
// lower it). Returns the limit before.
std::uint64_t SetUnpackLimit(std::uint64_t bytes);

// Runs one command; output receives at most size-1 bytes of text and a NUL.
int SevenZip(void *owner_window, const char *command, char *output, std::size_t size);
// Version of the extraction library as major*100 + minor (9.20 gives 920; 3.6 gives 360)
// and its patch level.
std::uint16_t SevenZipGetVersion();
std::uint16_t SevenZipGetSubVersion();
// The window that would own the library's own windows (none are shown here).
bool SevenZipSetOwnerWindow(void *owner_window);

}  // namespace sevenzip
