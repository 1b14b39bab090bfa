// The archive library the program calls with command strings: one entry point runs a
// command and writes its text output into the caller's buffer, two give the version.
// Backed by libarchive: ZIP, 7z and LZH archives (the format is found from the
// content, whatever the file is called); entry names without the UTF-8 mark are read
// as CP932.
//
// The one command understood is extraction with the folder paths kept:
//   x [-r] [-hide] [-aoa] [-y] "<archive>" -o"<folder>"
// Existing files are replaced; each file is written beside its target first and then
// put in place, so a file is either the old or the new one. Entries that would land
// outside the folder (absolute names, "..", drive letters) and links are refused.
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
};

// Runs one command; output receives at most size-1 bytes of text and a NUL.
int SevenZip(void *owner_window, const char *command, char *output, std::size_t size);
// Version of the extraction library as major*100 + minor (9.20 gives 920; 3.6 gives 360)
// and its patch level.
std::uint16_t SevenZipGetVersion();
std::uint16_t SevenZipGetSubVersion();
// The window that would own the library's own windows (none are shown here).
bool SevenZipSetOwnerWindow(void *owner_window);

}  // namespace sevenzip
