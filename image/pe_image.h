// Headers and import tables of Windows image files (PE32 and PE32+), read
// before the loader sees a file. The files may be hostile: every offset,
// count and name is checked against what the file holds, and anything that
// does not add up is a failure rather than a guess.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win.h"

namespace pe_image {

// The header fields that set one build of an image apart from another, and
// the signed copy of a build from the unsigned one.
struct HeaderFields {
  uint32_t timeDateStamp = 0;
  uint32_t sizeOfImage = 0;
  uint32_t checkSum = 0;
  uint32_t entryPoint = 0;
  // The certificate table (the embedded signatures): a file offset and size,
  // both zero in an unsigned image.
  uint32_t certificateOffset = 0;
  uint32_t certificateSize = 0;
  bool operator==(const HeaderFields&) const = default;
};

// The fields of the image whose headers start the `size` bytes at `headers`:
// the start of an image file, or the first page of a mapped image. False,
// with `fields` untouched, when those bytes are not the headers of a PE image.
bool ReadHeaderFields(const uint8_t* headers, size_t size, HeaderFields& fields);

// The first bytes of the file open in `file`, enough for its headers (at most
// 64 KiB), read from offset 0. Empty when nothing can be read.
std::vector<uint8_t> ReadFileStart(HANDLE file);

// The names of the libraries that the image file open in `file` imports,
// through its import table and then its delay-import table, in table order,
// each name once (names equal but for the case of A to Z count as one).
// False, with `names` untouched, when the file is not a PE image or either
// table is malformed: an entry or a name outside the file, a name without its
// terminator, longer than 255 characters, with characters other than
// printable ASCII, or with a path separator or drive colon in it, or more
// entries than any image has.
bool ReadImportedLibraries(HANDLE file, std::vector<std::wstring>& names);

// What the export table of an image file says.
struct Exports {
  // The names exported, in table order.
  std::vector<std::string> names;
  // The forwarder strings ("library.Function", "library.#7"), each once: the
  // loader loads that library by name when the export is asked for.
  std::vector<std::string> forwarders;
};

// The export table of the image file open in `file`; an image without one
// exports nothing. False, with `exports` untouched, when the file is not a
// PE image or the table is malformed: an array, name or forwarder outside
// the file, a string without its terminator or with a character that is not
// printable ASCII, a forwarder with no library part, or more functions than
// ordinals can number.
bool ReadExports(HANDLE file, Exports& exports);

}  // namespace pe_image
