#include "image/pe_image.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/unique_handle.h"
#include "tests/support/temp_folder.h"

// The import reader against images made byte by byte: one whose tables are
// sound, and the same with one thing broken at a time, as a hostile module
// file might be.

namespace {

constexpr uint32_t kHeadersSize = 0x200;
constexpr uint32_t kSectionRva = 0x1000;
constexpr uint32_t kSectionSize = 0x400;
constexpr uint64_t kImageBase = 0x180000000;
// Where the tables lie in the one section.
constexpr uint32_t kImportsRva = kSectionRva;
constexpr uint32_t kDelayImportsRva = kSectionRva + 0x80;
constexpr uint32_t kNamesRva = kSectionRva + 0x100;
// The export table: its directory, then its three arrays, then its strings.
constexpr uint32_t kExportsRva = kSectionRva + 0x200;
constexpr uint32_t kExportFunctionsRva = kExportsRva + 0x40;
constexpr uint32_t kExportNamesRva = kExportsRva + 0x50;
constexpr uint32_t kExportOrdinalsRva = kExportsRva + 0x60;
constexpr uint32_t kExportStringsRva = kExportsRva + 0x80;
constexpr uint32_t kExportsSize = 0x100;
// Past the section table: part of the headers, which RVAs below their size
// address directly.
constexpr uint32_t kUnusedHeaderOffset = 0x1C0;

// A PE32+ image with one section holding two import descriptors (the second
// naming the first library again in other letter case), one RVA-based
// delay-import descriptor, and an export table of two functions: "Entry",
// code, and "Helper", forwarded to "fwdt.HelperFn".
class TestImage {
 public:
  TestImage() : bytes_(kHeadersSize + kSectionSize, 0) {
    auto& dos = At<IMAGE_DOS_HEADER>(0);
    dos.e_magic = IMAGE_DOS_SIGNATURE;
    dos.e_lfanew = sizeof(IMAGE_DOS_HEADER);
    auto& nt = At<IMAGE_NT_HEADERS64>(sizeof(IMAGE_DOS_HEADER));
    nt.Signature = IMAGE_NT_SIGNATURE;
    nt.FileHeader.Machine = IMAGE_FILE_MACHINE_AMD64;
    nt.FileHeader.NumberOfSections = 1;
    nt.FileHeader.SizeOfOptionalHeader = sizeof(IMAGE_OPTIONAL_HEADER64);
    nt.OptionalHeader.Magic = IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    nt.OptionalHeader.ImageBase = kImageBase;
    nt.OptionalHeader.SizeOfHeaders = kHeadersSize;
    nt.OptionalHeader.SizeOfImage = kSectionRva + kSectionSize;
    nt.OptionalHeader.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    Directory(IMAGE_DIRECTORY_ENTRY_IMPORT) = {kImportsRva, 3 * sizeof(IMAGE_IMPORT_DESCRIPTOR)};
    Directory(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT) = {kDelayImportsRva, 64};
    auto& section = At<IMAGE_SECTION_HEADER>(sizeof(IMAGE_DOS_HEADER) + sizeof(IMAGE_NT_HEADERS64));
    section.VirtualAddress = kSectionRva;
    section.Misc.VirtualSize = kSectionSize;
    section.SizeOfRawData = kSectionSize;
    section.PointerToRawData = kHeadersSize;

    Name(0, "KERNEL32.dll");
    Name(1, "kernel32.DLL");
    Name(2, "delayed.dll");
    for (int i = 0; i < 2; ++i) {
      Import(i).Name = kNamesRva + 0x20 * i;
      Import(i).FirstThunk = kSectionRva + 0x1F0;
    }
    DelayWord(0, 0) = 1;  // RVA-based
    DelayWord(0, 1) = kNamesRva + 0x40;

    Directory(IMAGE_DIRECTORY_ENTRY_EXPORT) = {kExportsRva, kExportsSize};
    auto& exports = At<IMAGE_EXPORT_DIRECTORY>(Offset(kExportsRva));
    exports.NumberOfFunctions = 2;
    exports.NumberOfNames = 2;
    exports.AddressOfFunctions = kExportFunctionsRva;
    exports.AddressOfNames = kExportNamesRva;
    exports.AddressOfNameOrdinals = kExportOrdinalsRva;
    ExportWord(kExportFunctionsRva, 0) = kSectionRva + 0x3F0;  // code, outside the table
    ExportWord(kExportFunctionsRva, 1) = kExportStringsRva + 0x20;
    ExportWord(kExportNamesRva, 0) = kExportStringsRva;
    ExportWord(kExportNamesRva, 1) = kExportStringsRva + 0x10;
    ExportString(0, "Entry");
    ExportString(1, "Helper");
    ExportString(2, "fwdt.HelperFn");
  }

  uint32_t& ExportWord(uint32_t arrayRva, int index) { return At<uint32_t>(Offset(arrayRva) + index * 4); }
  // The export table's string `index`, each in a slot of 16 bytes.
  void ExportString(int index, const std::string& text) {
    std::memcpy(&bytes_[Offset(kExportStringsRva + 0x10 * index)], text.c_str(), text.size() + 1);
  }
  IMAGE_EXPORT_DIRECTORY& ExportDirectory() { return At<IMAGE_EXPORT_DIRECTORY>(Offset(kExportsRva)); }

  std::vector<uint8_t>& Bytes() { return bytes_; }
  template <typename T>
  T& At(size_t offset) {
    return *reinterpret_cast<T*>(&bytes_[offset]);
  }
  IMAGE_DATA_DIRECTORY& Directory(int index) {
    return At<IMAGE_NT_HEADERS64>(sizeof(IMAGE_DOS_HEADER)).OptionalHeader.DataDirectory[index];
  }
  IMAGE_IMPORT_DESCRIPTOR& Import(int index) {
    return At<IMAGE_IMPORT_DESCRIPTOR>(Offset(kImportsRva) + index * sizeof(IMAGE_IMPORT_DESCRIPTOR));
  }
  // Word `word` of delay-import descriptor `index` (attributes, name, ...).
  uint32_t& DelayWord(int index, int word) { return At<uint32_t>(Offset(kDelayImportsRva) + index * 32 + word * 4); }
  void Name(int index, const std::string& text) {
    std::memcpy(&bytes_[Offset(kNamesRva + 0x20 * index)], text.c_str(), text.size() + 1);
  }

 private:
  static size_t Offset(uint32_t rva) { return kHeadersSize + (rva - kSectionRva); }

  std::vector<uint8_t> bytes_;
};

class PeImageTest : public ::testing::Test {
 protected:
  // `bytes` written to a file, open for reading.
  platform::UniqueFileHandle Open(const std::vector<uint8_t>& bytes) {
    const std::wstring path = temp_.WriteFile(L"image" + std::to_wstring(++files_) + L".dll", bytes);
    return platform::UniqueFileHandle(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  }
  bool Read(const std::vector<uint8_t>& bytes, std::vector<std::wstring>& names) {
    return pe_image::ReadImportedLibraries(Open(bytes).Get(), names);
  }
  bool ReadExports(const std::vector<uint8_t>& bytes, pe_image::Exports& exports) {
    return pe_image::ReadExports(Open(bytes).Get(), exports);
  }

  TempFolder temp_;
  int files_ = 0;
};

// Catches tables read past where they end, names read as far as they happen
// to go, and names that would lead the loader out of the module's folder:
// each of these images must be refused whole, names untouched.
TEST_F(PeImageTest, MalformedTablesAreRefused) {
  struct Case {
    const char* fault;
    std::function<void(TestImage&)> breakIt;
  };
  const Case cases[] = {
      {"no image signature", [](TestImage& i) { i.Bytes()[0] = 'X'; }},
      {"headers beyond the file",
       [](TestImage& i) { reinterpret_cast<IMAGE_DOS_HEADER&>(i.Bytes()[0]).e_lfanew = 0x7FFFFFF0; }},
      {"import table in no section",
       [](TestImage& i) { i.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress = 0x9000; }},
      {"name where the file holds nothing",
       [](TestImage& i) { i.Import(0).Name = kSectionRva + kSectionSize + 0x10; }},
      {"name without its terminator", [](TestImage& i) { i.Name(0, std::string(300, 'a')); }},
      {"name with a path", [](TestImage& i) { i.Name(0, "..\\evil.dll"); }},
      {"name with a drive", [](TestImage& i) { i.Name(0, "C:evil.dll"); }},
      {"name with a control character", [](TestImage& i) { i.Name(0, "evil\x01.dll"); }},
      {"table without its last entry",
       [](TestImage& i) {
         // Entries, each naming a library kept in the headers, up to the end
         // of the section's data.
         std::memcpy(&i.Bytes()[kUnusedHeaderOffset], "x.dll", 6);
         for (size_t n = 0; n < kSectionSize / sizeof(IMAGE_IMPORT_DESCRIPTOR); ++n) {
           i.Import(static_cast<int>(n)).Name = kUnusedHeaderOffset;
           i.Import(static_cast<int>(n)).FirstThunk = 1;
         }
       }},
      {"delayed name by an address below the image",
       [](TestImage& i) {
         i.DelayWord(0, 0) = 0;
         i.DelayWord(0, 1) = 0x1000;
       }},
  };
  for (const Case& c : cases) {
    TestImage image;
    c.breakIt(image);
    std::vector<std::wstring> names = {L"untouched"};
    EXPECT_FALSE(Read(image.Bytes(), names)) << c.fault;
    EXPECT_EQ(names, std::vector<std::wstring>{L"untouched"}) << c.fault;
  }
}

// Catches a delayed import left out, a library counted twice for a change of
// letter case, and a table that ends at an entry without an address table
// (where the loader stops) read on.
TEST_F(PeImageTest, ReadsImportsThenDelayedImportsOnce) {
  TestImage image;
  std::vector<std::wstring> names;
  ASSERT_TRUE(Read(image.Bytes(), names));
  EXPECT_EQ(names, (std::vector<std::wstring>{L"KERNEL32.dll", L"delayed.dll"}));

  image.Import(1).FirstThunk = 0;
  image.Name(1, "unreachable.dll");
  image.Directory(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT) = {};
  ASSERT_TRUE(Read(image.Bytes(), names));
  EXPECT_EQ(names, std::vector<std::wstring>{L"KERNEL32.dll"});
}

// Catches an export table read past where it ends, and a forwarder whose
// library cannot be told or would lead the loader out of the module's folder:
// the walk could not know what the loader loads for it, so each image is
// refused whole, the result untouched.
TEST_F(PeImageTest, MalformedExportTablesAreRefused) {
  struct Case {
    const char* fault;
    std::function<void(TestImage&)> breakIt;
  };
  const Case cases[] = {
      {"export table in no section",
       [](TestImage& i) { i.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress = 0x9000; }},
      {"more functions than ordinals", [](TestImage& i) { i.ExportDirectory().NumberOfFunctions = 0x10001; }},
      {"more names than functions", [](TestImage& i) { i.ExportDirectory().NumberOfNames = 3; }},
      {"function array running off the file",
       [](TestImage& i) { i.ExportDirectory().NumberOfFunctions = 0x200; }},
      {"name where the file holds nothing",
       [](TestImage& i) { i.ExportWord(kExportNamesRva, 0) = kSectionRva + kSectionSize + 0x10; }},
      {"forwarder without its terminator",
       [](TestImage& i) {
         std::memset(&i.Bytes()[kHeadersSize + (kExportStringsRva + 0x20 - kSectionRva)], 'a',
                     kSectionSize - (kExportStringsRva + 0x20 - kSectionRva));
       }},
      {"forwarder without a library", [](TestImage& i) { i.ExportString(2, ".HelperFn"); }},
      {"forwarder without a dot", [](TestImage& i) { i.ExportString(2, "HelperFn"); }},
      {"forwarder with a path", [](TestImage& i) { i.ExportString(2, "..\\evil.Fn"); }},
      {"forwarder with a control character", [](TestImage& i) { i.ExportString(2, "fw\x02.Fn"); }},
  };
  for (const Case& c : cases) {
    TestImage image;
    c.breakIt(image);
    pe_image::Exports exports;
    exports.names = {"untouched"};
    EXPECT_FALSE(ReadExports(image.Bytes(), exports)) << c.fault;
    EXPECT_EQ(exports.names, std::vector<std::string>{"untouched"}) << c.fault;
  }
}

// Catches a forwarder taken for code (its library never walked), code taken
// for a forwarder, and an image without exports refused.
TEST_F(PeImageTest, ReadsExportedNamesAndForwarders) {
  TestImage image;
  pe_image::Exports exports;
  ASSERT_TRUE(ReadExports(image.Bytes(), exports));
  EXPECT_EQ(exports.names, (std::vector<std::string>{"Entry", "Helper"}));
  EXPECT_EQ(exports.forwarders, std::vector<std::string>{"fwdt.HelperFn"});

  image.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT) = {};
  ASSERT_TRUE(ReadExports(image.Bytes(), exports));
  EXPECT_TRUE(exports.names.empty());
  EXPECT_TRUE(exports.forwarders.empty());
}

// Catches header fields read from the wrong place: these tell a signed
// build from its unsigned twin, and a launcher from the file put in its place.
TEST_F(PeImageTest, HeaderFieldsComeFromTheOptionalHeader) {
  TestImage image;
  pe_image::HeaderFields fields;
  ASSERT_TRUE(pe_image::ReadHeaderFields(image.Bytes().data(), image.Bytes().size(), fields));
  EXPECT_EQ(fields.sizeOfImage, kSectionRva + kSectionSize);
  EXPECT_EQ(fields.certificateSize, 0u);
  image.Directory(IMAGE_DIRECTORY_ENTRY_SECURITY) = {0x400, 0x1238};
  ASSERT_TRUE(pe_image::ReadHeaderFields(image.Bytes().data(), image.Bytes().size(), fields));
  EXPECT_EQ(fields.certificateOffset, 0x400u);
  EXPECT_EQ(fields.certificateSize, 0x1238u);
  EXPECT_FALSE(pe_image::ReadHeaderFields(image.Bytes().data(), 0x80, fields));
}

}  // namespace
