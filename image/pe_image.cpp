#include "image/pe_image.h"

#include <cstddef>
#include <cstring>
#include <optional>

#include "platform/ascii_fold.h"

namespace pe_image {
namespace {

constexpr size_t kMaxHeaderBytes = 64 * 1024;
// The loader's own limit on sections.
constexpr uint16_t kMaxSections = 96;
// Far more libraries than any image imports; a table longer than this is
// taken for a damaged or hostile one rather than read on and on.
constexpr size_t kMaxDescriptors = 1024;
constexpr size_t kMaxNameLength = 255;
// Ordinals are 16 bits wide.
constexpr uint32_t kMaxExportedFunctions = 0x10000;
// C++ names can be long; far longer ones are damage, not names.
constexpr size_t kMaxExportNameLength = 4096;

constexpr size_t kImportDescriptorSize = sizeof(IMAGE_IMPORT_DESCRIPTOR);
constexpr size_t kImportNameOffset = offsetof(IMAGE_IMPORT_DESCRIPTOR, Name);
constexpr size_t kImportFirstThunkOffset = offsetof(IMAGE_IMPORT_DESCRIPTOR, FirstThunk);
static_assert(kImportDescriptorSize == 20);
// IMAGE_DELAYLOAD_DESCRIPTOR: attributes, then the name's address; its first
// attribute bit says whether addresses are relative (RVAs) or, in the oldest
// images, virtual addresses.
constexpr size_t kDelayDescriptorSize = 32;
constexpr size_t kDelayNameOffset = 4;
constexpr uint32_t kDelayRvaBased = 1;

struct Section {
  uint32_t virtualAddress = 0;
  uint32_t virtualSize = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
};

struct DataDirectory {
  uint32_t address = 0;
  uint32_t size = 0;
};

struct Headers {
  HeaderFields fields;
  uint64_t imageBase = 0;
  uint32_t sizeOfHeaders = 0;
  DataDirectory imports;
  DataDirectory delayImports;
  DataDirectory exports;
  std::vector<Section> sections;
};

template <typename T>
bool ReadValue(const uint8_t* data, size_t size, size_t offset, T& value) {
  if (offset > size || size - offset < sizeof(T)) return false;
  std::memcpy(&value, data + offset, sizeof(T));
  return true;
}

DataDirectory DirectoryAt(const uint8_t* data, size_t size, size_t directories, uint32_t count, size_t index) {
  DataDirectory directory;
  if (index >= count) return directory;
  const size_t at = directories + index * sizeof(IMAGE_DATA_DIRECTORY);
  if (!ReadValue(data, size, at, directory.address) || !ReadValue(data, size, at + 4, directory.size)) return {};
  return directory;
}

// The optional header's layout differs between PE32 and PE32+ only in where
// the image base and the data directories are.
template <typename OptionalHeader>
bool ReadOptionalHeader(const uint8_t* data, size_t size, size_t at, Headers& headers) {
  OptionalHeader optional{};
  if (!ReadValue(data, size, at, optional)) return false;
  headers.imageBase = optional.ImageBase;
  headers.sizeOfHeaders = optional.SizeOfHeaders;
  headers.fields.sizeOfImage = optional.SizeOfImage;
  headers.fields.checkSum = optional.CheckSum;
  headers.fields.entryPoint = optional.AddressOfEntryPoint;
  const uint32_t count = optional.NumberOfRvaAndSizes < IMAGE_NUMBEROF_DIRECTORY_ENTRIES
                             ? optional.NumberOfRvaAndSizes
                             : IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
  const size_t directories = at + offsetof(OptionalHeader, DataDirectory);
  const DataDirectory security = DirectoryAt(data, size, directories, count, IMAGE_DIRECTORY_ENTRY_SECURITY);
  headers.fields.certificateOffset = security.address;
  headers.fields.certificateSize = security.size;
  headers.imports = DirectoryAt(data, size, directories, count, IMAGE_DIRECTORY_ENTRY_IMPORT);
  headers.delayImports = DirectoryAt(data, size, directories, count, IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT);
  headers.exports = DirectoryAt(data, size, directories, count, IMAGE_DIRECTORY_ENTRY_EXPORT);
  return true;
}

// `withSections`: the section table must be there too (files); a mapped
// image's first page is only asked for its fields.
std::optional<Headers> ParseHeaders(const uint8_t* data, size_t size, bool withSections) {
  IMAGE_DOS_HEADER dos{};
  if (!ReadValue(data, size, 0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0) return std::nullopt;
  const size_t nt = static_cast<size_t>(dos.e_lfanew);
  uint32_t signature = 0;
  IMAGE_FILE_HEADER file{};
  if (!ReadValue(data, size, nt, signature) || signature != IMAGE_NT_SIGNATURE ||
      !ReadValue(data, size, nt + sizeof(signature), file)) {
    return std::nullopt;
  }
  Headers headers;
  headers.fields.timeDateStamp = file.TimeDateStamp;
  const size_t optionalAt = nt + sizeof(signature) + sizeof(file);
  uint16_t magic = 0;
  if (!ReadValue(data, size, optionalAt, magic)) return std::nullopt;
  bool read = false;
  if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC && file.SizeOfOptionalHeader >= sizeof(IMAGE_OPTIONAL_HEADER64)) {
    read = ReadOptionalHeader<IMAGE_OPTIONAL_HEADER64>(data, size, optionalAt, headers);
  } else if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC &&
             file.SizeOfOptionalHeader >= sizeof(IMAGE_OPTIONAL_HEADER32)) {
    read = ReadOptionalHeader<IMAGE_OPTIONAL_HEADER32>(data, size, optionalAt, headers);
  }
  if (!read) return std::nullopt;
  if (!withSections) return headers;

  if (file.NumberOfSections > kMaxSections) return std::nullopt;
  const size_t sectionsAt = optionalAt + file.SizeOfOptionalHeader;
  for (uint16_t i = 0; i < file.NumberOfSections; ++i) {
    IMAGE_SECTION_HEADER raw{};
    if (!ReadValue(data, size, sectionsAt + i * sizeof(raw), raw)) return std::nullopt;
    headers.sections.push_back({raw.VirtualAddress, raw.Misc.VirtualSize, raw.SizeOfRawData, raw.PointerToRawData});
  }
  return headers;
}

// Reads through a file handle at given offsets, never past the file's end.
class FileReader {
 public:
  explicit FileReader(HANDLE file) : file_(file) {
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(file, &size) && size.QuadPart > 0) size_ = static_cast<uint64_t>(size.QuadPart);
  }

  uint64_t Size() const { return size_; }

  // Up to `count` bytes from `offset`; fewer only where the file ends.
  bool Read(uint64_t offset, size_t count, std::vector<uint8_t>& bytes) const {
    if (offset >= size_) return false;
    if (count > size_ - offset) count = static_cast<size_t>(size_ - offset);
    bytes.resize(count);
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    DWORD read = 0;
    return ::SetFilePointerEx(file_, position, nullptr, FILE_BEGIN) &&
           ::ReadFile(file_, bytes.data(), static_cast<DWORD>(count), &read, nullptr) && read == count;
  }

 private:
  HANDLE file_;
  uint64_t size_ = 0;
};

// Where the byte at `rva` lies in the file: in the headers, or in the raw
// data of the section whose address range holds it.
std::optional<uint64_t> FileOffsetOf(const Headers& headers, uint32_t rva) {
  if (rva < headers.sizeOfHeaders) return rva;
  for (const Section& section : headers.sections) {
    if (rva < section.virtualAddress) continue;
    const uint32_t into = rva - section.virtualAddress;
    const uint32_t extent = section.virtualSize > section.rawSize ? section.virtualSize : section.rawSize;
    if (into >= extent) continue;
    // Past the raw data the loader supplies zeros that the file does not
    // hold: nothing a table may point at.
    if (into >= section.rawSize) return std::nullopt;
    return uint64_t{section.rawOffset} + into;
  }
  return std::nullopt;
}

bool IsPrintableAscii(uint8_t c) { return c >= 0x20 && c < 0x7F; }
bool IsAcceptableNameCharacter(uint8_t c) { return IsPrintableAscii(c) && c != '\\' && c != '/' && c != ':'; }

// The non-empty string at `rva`, its characters all `acceptable`, ended
// within `maxLength` characters.
template <typename Acceptable>
std::optional<std::string> ReadString(const FileReader& reader, const Headers& headers, uint32_t rva,
                                      size_t maxLength, Acceptable acceptable) {
  const std::optional<uint64_t> offset = FileOffsetOf(headers, rva);
  std::vector<uint8_t> bytes;
  if (!offset || !reader.Read(*offset, maxLength + 1, bytes)) return std::nullopt;
  std::string text;
  for (uint8_t c : bytes) {
    if (c == 0) return text.empty() ? std::nullopt : std::optional<std::string>(text);
    if (!acceptable(c)) return std::nullopt;
    text.push_back(static_cast<char>(c));
  }
  return std::nullopt;
}

std::optional<std::wstring> ReadName(const FileReader& reader, const Headers& headers, uint32_t rva) {
  const std::optional<std::string> name = ReadString(reader, headers, rva, kMaxNameLength, IsAcceptableNameCharacter);
  if (!name) return std::nullopt;
  return std::wstring(name->begin(), name->end());
}

// The `count` 32-bit words of the array at `rva`.
bool ReadWords(const FileReader& reader, const Headers& headers, uint32_t rva, uint32_t count,
               std::vector<uint32_t>& words) {
  words.assign(count, 0);
  if (count == 0) return true;
  const uint64_t bytes = uint64_t{count} * sizeof(uint32_t);
  // The whole array must lie in one stretch of the file: check its last byte
  // as well as its first.
  const std::optional<uint64_t> first = FileOffsetOf(headers, rva);
  if (rva + bytes - 1 > UINT32_MAX) return false;
  const std::optional<uint64_t> last = FileOffsetOf(headers, static_cast<uint32_t>(rva + bytes - 1));
  std::vector<uint8_t> raw;
  if (!first || !last || *last != *first + bytes - 1 || !reader.Read(*first, static_cast<size_t>(bytes), raw) ||
      raw.size() != bytes) {
    return false;
  }
  std::memcpy(words.data(), raw.data(), static_cast<size_t>(bytes));
  return true;
}

// Calls `name(descriptor)` for each descriptor of the table at `directory`
// until `isLast(descriptor)`; false when the table is malformed or never ends.
template <typename IsLast, typename NameOf>
bool ForEachDescriptor(const FileReader& reader, const Headers& headers, const DataDirectory& directory,
                       size_t descriptorSize, IsLast isLast, NameOf nameOf) {
  if (directory.address == 0) return true;
  std::vector<uint8_t> descriptor;
  for (size_t i = 0; i < kMaxDescriptors; ++i) {
    const uint64_t rva = directory.address + i * descriptorSize;
    if (rva > UINT32_MAX) return false;
    const std::optional<uint64_t> offset = FileOffsetOf(headers, static_cast<uint32_t>(rva));
    if (!offset || !reader.Read(*offset, descriptorSize, descriptor) || descriptor.size() != descriptorSize) {
      return false;
    }
    if (isLast(descriptor.data())) return true;
    if (!nameOf(descriptor.data())) return false;
  }
  return false;
}

uint32_t Word32(const uint8_t* at) {
  uint32_t value = 0;
  std::memcpy(&value, at, sizeof value);
  return value;
}

struct ExportDirectoryFields {
  uint32_t functionCount = 0;
  uint32_t nameCount = 0;
  uint32_t functions = 0;
  uint32_t names = 0;
};

bool ReadExportDirectory(const FileReader& reader, const Headers& headers, ExportDirectoryFields& fields) {
  const std::optional<uint64_t> offset = FileOffsetOf(headers, headers.exports.address);
  std::vector<uint8_t> raw;
  IMAGE_EXPORT_DIRECTORY directory{};
  if (!offset || !reader.Read(*offset, sizeof(directory), raw) || raw.size() != sizeof(directory)) return false;
  std::memcpy(&directory, raw.data(), sizeof(directory));
  fields = {directory.NumberOfFunctions, directory.NumberOfNames, directory.AddressOfFunctions,
            directory.AddressOfNames};
  return fields.functionCount <= kMaxExportedFunctions && fields.nameCount <= fields.functionCount;
}

// A forwarder names its library before its last dot: a plain name, which
// the loader looks for as it looks for an import.
bool IsForwarder(const std::string& text) {
  const size_t dot = text.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == text.size()) return false;
  for (size_t i = 0; i < dot; ++i) {
    if (!IsAcceptableNameCharacter(static_cast<uint8_t>(text[i]))) return false;
  }
  return true;
}

}  // namespace

bool ReadHeaderFields(const uint8_t* headers, size_t size, HeaderFields& fields) {
  const std::optional<Headers> parsed = ParseHeaders(headers, size, false);
  if (!parsed) return false;
  fields = parsed->fields;
  return true;
}

std::vector<uint8_t> ReadFileStart(HANDLE file) {
  std::vector<uint8_t> bytes;
  if (!FileReader(file).Read(0, kMaxHeaderBytes, bytes)) return {};
  return bytes;
}

bool ReadImportedLibraries(HANDLE file, std::vector<std::wstring>& names) {
  const std::vector<uint8_t> start = ReadFileStart(file);
  const std::optional<Headers> headers = ParseHeaders(start.data(), start.size(), true);
  if (!headers) return false;
  const FileReader reader(file);

  std::vector<std::wstring> found;
  std::vector<std::wstring> folded;
  auto add = [&](uint32_t nameRva) {
    std::optional<std::wstring> name = ReadName(reader, *headers, nameRva);
    if (!name) return false;
    std::wstring key = platform::FoldAscii(*name);
    for (const std::wstring& known : folded) {
      if (known == key) return true;
    }
    folded.push_back(std::move(key));
    found.push_back(std::move(*name));
    return true;
  };

  // The loader stops at the first entry without a name or an address table.
  const bool imports = ForEachDescriptor(
      reader, *headers, headers->imports, kImportDescriptorSize,
      [](const uint8_t* d) { return Word32(d + kImportNameOffset) == 0 || Word32(d + kImportFirstThunkOffset) == 0; },
      [&](const uint8_t* d) { return add(Word32(d + kImportNameOffset)); });
  const bool delayImports = imports && ForEachDescriptor(
      reader, *headers, headers->delayImports, kDelayDescriptorSize,
      [](const uint8_t* d) { return Word32(d + kDelayNameOffset) == 0; },
      [&](const uint8_t* d) {
        uint32_t nameAddress = Word32(d + kDelayNameOffset);
        if ((Word32(d) & kDelayRvaBased) == 0) {
          // An address in the image as mapped at its preferred base.
          if (nameAddress < headers->imageBase) return false;
          nameAddress -= static_cast<uint32_t>(headers->imageBase);
        }
        return add(nameAddress);
      });
  if (!delayImports) return false;
  names = std::move(found);
  return true;
}

bool ReadExports(HANDLE file, Exports& exports) {
  const std::vector<uint8_t> start = ReadFileStart(file);
  const std::optional<Headers> headers = ParseHeaders(start.data(), start.size(), true);
  if (!headers) return false;
  if (headers->exports.address == 0) {
    exports = {};
    return true;
  }
  const FileReader reader(file);
  ExportDirectoryFields directory;
  std::vector<uint32_t> functions;
  std::vector<uint32_t> names;
  if (!ReadExportDirectory(reader, *headers, directory) ||
      !ReadWords(reader, *headers, directory.functions, directory.functionCount, functions) ||
      !ReadWords(reader, *headers, directory.names, directory.nameCount, names)) {
    return false;
  }

  Exports found;
  // An address inside the export table's own range is no code but the text
  // of a forwarder.
  const uint64_t tableStart = headers->exports.address;
  const uint64_t tableEnd = tableStart + headers->exports.size;
  for (uint32_t address : functions) {
    if (address < tableStart || address >= tableEnd) continue;
    std::optional<std::string> forwarder = ReadString(reader, *headers, address, kMaxExportNameLength, IsPrintableAscii);
    if (!forwarder || !IsForwarder(*forwarder)) return false;
    bool known = false;
    for (const std::string& seen : found.forwarders) known = known || seen == *forwarder;
    if (!known) found.forwarders.push_back(std::move(*forwarder));
  }
  for (uint32_t address : names) {
    std::optional<std::string> name = ReadString(reader, *headers, address, kMaxExportNameLength, IsPrintableAscii);
    if (!name) return false;
    found.names.push_back(std::move(*name));
  }
  exports = std::move(found);
  return true;
}

}  // namespace pe_image
