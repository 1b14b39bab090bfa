#!/usr/bin/env python3
"""Writes a ZIP archive whose entry unpacks to far more than the archive holds, for the
tests of the extraction size limit.

    oversized_zip.py OUT NAME announce SIZE
        one stored entry whose headers announce SIZE bytes; the archive holds a few
    oversized_zip.py OUT NAME bomb SIZE
        one deflated entry of SIZE zero bytes whose headers announce 1000

NAME (UTF-8) is stored as CP932 bytes without the UTF-8 mark, as the publisher's are.
Either archive stays small whatever SIZE is.
"""

import struct
import sys
import zipfile
import zlib


class Cp932ZipInfo(zipfile.ZipInfo):
    def _encodeFilenameFlags(self):
        return self.filename.encode("cp932"), self.flag_bits & ~0x800


def patch_sizes(data, compressed, uncompressed):
    """Sets the sizes of the single entry in its local header and its central record."""
    data = bytearray(data)
    local = data.find(b"PK\x03\x04")
    central = data.find(b"PK\x01\x02")
    if compressed is not None:
        struct.pack_into("<I", data, local + 18, compressed)
        struct.pack_into("<I", data, central + 20, compressed)
    struct.pack_into("<I", data, local + 22, uncompressed)
    struct.pack_into("<I", data, central + 24, uncompressed)
    return bytes(data)


def main():
    out, name, kind, size = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    info = Cp932ZipInfo(name, (2026, 11, 30, 0, 0, 0))
    if kind == "announce":
        info.compress_type = zipfile.ZIP_STORED
        with zipfile.ZipFile(out, "w") as z:
            z.writestr(info, b"x" * 16)
        with open(out, "rb") as f:
            data = patch_sizes(f.read(), size, size)
    elif kind == "bomb":
        info.compress_type = zipfile.ZIP_DEFLATED
        # Deflated in pieces, so that SIZE zero bytes never stand in memory at once.
        packer = zlib.compressobj(9, zlib.DEFLATED, -15)
        chunk = bytes(1 << 20)
        packed, left = [], size
        while left > 0:
            piece = chunk[: min(left, len(chunk))]
            packed.append(packer.compress(piece))
            left -= len(piece)
        packed.append(packer.flush())
        stream = b"".join(packed)
        with zipfile.ZipFile(out, "w") as z:
            z.writestr(info, b"")
        with open(out, "rb") as f:
            data = f.read()
        # Put the stream in place of the empty entry's, with the headers announcing 1000.
        local = data.find(b"PK\x03\x04")
        name_len, extra_len = struct.unpack_from("<HH", data, local + 26)
        start = local + 30 + name_len + extra_len
        central = data.find(b"PK\x01\x02")
        rest = bytearray(data[central:])
        end = rest.find(b"PK\x05\x06")
        struct.pack_into("<I", rest, end + 16, start + len(stream))  # central directory offset
        data = data[:start] + stream + bytes(rest)
        data = patch_sizes(data, len(stream), 1000)
    else:
        raise SystemExit("unknown kind " + kind)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
