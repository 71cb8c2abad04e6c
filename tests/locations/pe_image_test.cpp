#include "locations/pe_image.h"

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
// Past the section table: part of the headers, which RVAs below their size
// address directly.
constexpr uint32_t kUnusedHeaderOffset = 0x1C0;

// A PE32+ image with one section holding two import descriptors (the second
// naming the first library again in other letter case) and one RVA-based
// delay-import descriptor.
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
  }

  std::vector<uint8_t>& Bytes() { return bytes_; }
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
  template <typename T>
  T& At(size_t offset) {
    return *reinterpret_cast<T*>(&bytes_[offset]);
  }

  std::vector<uint8_t> bytes_;
};

class PeImageTest : public ::testing::Test {
 protected:
  // ReadImportedLibraries on `bytes` written to a file.
  bool Read(const std::vector<uint8_t>& bytes, std::vector<std::wstring>& names) {
    const std::wstring path = temp_.WriteFile(L"image" + std::to_wstring(++files_) + L".dll", bytes);
    const platform::UniqueFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    return pe_image::ReadImportedLibraries(file.Get(), names);
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
