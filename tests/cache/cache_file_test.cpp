#include "cache/cache_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "cache/cache_file_record.h"
#include "platform/ascii_fold.h"
#include "platform/file_system.h"
#include "tests/support/child_process.h"
#include "tests/support/reference_gost.h"
#include "tests/support/temp_folder.h"

using platform::SignatureVerdict;

namespace {

CacheEntry Entry(const std::wstring& path, SignatureVerdict verdict = SignatureVerdict::Valid) {
  CacheEntry entry;
  entry.path = path;
  entry.signer = L"Harbor Varo Network Software Co.,Ltd";
  entry.digest = L"900150983CD24FB0D6963F7D28E17F72";
  entry.size = 0x0000000123456789ull;
  entry.lastWriteTime = 0x01D9ABCDEF012345ull;
  entry.creationTime = 0x01D8000011112222ull;
  entry.verdict = verdict;
  return entry;
}

uint64_t Le(const ByteArray& bytes, size_t at, size_t count) {
  uint64_t value = 0;
  for (size_t i = 0; i < count; ++i) value |= uint64_t{bytes[at + i]} << (8 * i);
  return value;
}

std::wstring Utf16At(const ByteArray& bytes, size_t at) {
  std::wstring text;
  for (size_t i = at; bytes[i] != 0 || bytes[i + 1] != 0; i += 2) text.push_back(static_cast<wchar_t>(Le(bytes, i, 2)));
  return text;
}

// A record put together by hand from the published offsets.
ByteArray HandMadeRecord(const std::wstring& path, uint32_t verdict, uint32_t magic = 0x23AB45DB) {
  ByteArray record(1000, 0);
  for (size_t i = 0; i < 4; ++i) record[i] = static_cast<uint8_t>(magic >> (8 * i));
  for (size_t i = 0; i < path.size(); ++i) {
    record[4 + 2 * i] = static_cast<uint8_t>(path[i]);
    record[5 + 2 * i] = static_cast<uint8_t>(path[i] >> 8);
  }
  record[644] = 'S';
  record[972] = 42;   // size
  record[980] = 7;    // last-write time
  record[988] = 9;    // creation time
  record[996] = static_cast<uint8_t>(verdict);
  return record;
}

ByteArray Concat(std::initializer_list<ByteArray> parts) {
  ByteArray all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class CacheFileTest : public ::testing::Test {
 protected:
  std::wstring WriteFrame(const ByteArray& plain) {
    return temp_.WriteFile(L"cache.dat", ReferenceFrame(plain, CacheKey()));
  }
  TempFolder temp_;
  std::vector<CacheEntry> entries_;
  bool corrupt_ = true;
};

// Other launcher processes and older files read these exact bytes: any drift
// in cipher, offsets, byte order or text encoding breaks them.
TEST_F(CacheFileTest, WrittenFileDecodesWithAnIndependentReader) {
  const std::wstring file = temp_.Path(L"cache.dat");
  ASSERT_TRUE(WriteCacheFile(file, {Entry(L"C:\\App\\A.dll"), Entry(L"C:\\App\\B.dll", SignatureVerdict::Expired)}));
  const ByteArray bytes = ReadWholeFile(file);
  ASSERT_EQ(bytes.size(), 2012u);
  const ByteArray plain = ReferenceUnframe(bytes, CacheKey());
  ASSERT_EQ(plain.size(), 2000u);
  EXPECT_EQ(ByteArray(plain.begin(), plain.begin() + 4), (ByteArray{0xDB, 0x45, 0xAB, 0x23}));
  EXPECT_EQ(Utf16At(plain, 4), L"C:\\App\\A.dll");
  EXPECT_EQ(Utf16At(plain, 644), L"Harbor Varo Network Software Co.,Ltd");
  EXPECT_EQ(Utf16At(plain, 900), L"900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(Le(plain, 972, 8), 0x0000000123456789ull);
  EXPECT_EQ(Le(plain, 980, 8), 0x01D9ABCDEF012345ull);
  EXPECT_EQ(Le(plain, 988, 8), 0x01D8000011112222ull);
  EXPECT_EQ(Le(plain, 996, 4), 2u);
  EXPECT_EQ(Utf16At(plain, 1004), L"C:\\App\\B.dll");
  EXPECT_EQ(Le(plain, 1996, 4), 3u);
}

// A file written by another writer, verdict 7 included, reads back as stored.
TEST_F(CacheFileTest, ReadsAFileMadeByAnIndependentWriter) {
  const std::wstring file = WriteFrame(Concat({HandMadeRecord(L"C:\\x.dll", 7), HandMadeRecord(L"C:\\y.dll", 1)}));
  ASSERT_TRUE(ReadCacheFile(file, entries_, corrupt_));
  EXPECT_FALSE(corrupt_);
  ASSERT_EQ(entries_.size(), 2u);
  EXPECT_EQ(entries_[0].path, L"C:\\x.dll");
  EXPECT_EQ(entries_[0].signer, L"S");
  EXPECT_EQ(entries_[0].size, 42u);
  EXPECT_EQ(entries_[0].lastWriteTime, 7u);
  EXPECT_EQ(entries_[0].creationTime, 9u);
  EXPECT_EQ(static_cast<uint32_t>(entries_[0].verdict), 7u);
  EXPECT_FALSE(entries_[0].dirty);
  EXPECT_EQ(entries_[1].verdict, SignatureVerdict::NotSigned);
}

// Texts are read unit by unit, not byte by byte: a unit with a zero low byte
// (U+0100, U+4E00) is text, a field filled to its last unit by another writer
// ends one unit early, and whatever follows a terminator is ignored.
TEST_F(CacheFileTest, TextsEndAtAZeroUnitOrTheFieldsLastUnit) {
  ByteArray record = HandMadeRecord(std::wstring(320, L'\x0100'), 2);
  const std::wstring signer = L"\x4E00\x0100z";
  for (size_t i = 0; i < signer.size(); ++i) {
    record[644 + 2 * i] = static_cast<uint8_t>(signer[i]);
    record[645 + 2 * i] = static_cast<uint8_t>(signer[i] >> 8);
  }
  record[900] = 'd';
  record[904] = 'x';  // after the digest's terminator
  const ByteArray second = HandMadeRecord(L"C:\\second.dll", 3);
  ASSERT_TRUE(ReadCacheFile(WriteFrame(Concat({record, second})), entries_, corrupt_));
  ASSERT_EQ(entries_.size(), 2u);
  EXPECT_EQ(entries_[0].path, std::wstring(319, L'\x0100'));
  EXPECT_EQ(entries_[0].signer, signer);
  EXPECT_EQ(entries_[0].digest, L"d");
  EXPECT_EQ(entries_[1].path, L"C:\\second.dll");
  EXPECT_EQ(entries_[1].signer, L"S");
  EXPECT_TRUE(entries_[1].digest.empty());
}

// A path or signer that does not fit its field is not stored at all (cut, it
// would never match or would name another signer); a digest that does not
// fit is stored empty.
TEST_F(CacheFileTest, TextsThatDoNotFitTheirFieldsAreNotStoredCut) {
  const std::wstring file = temp_.Path(L"cache.dat");
  auto roundTrip = [&](CacheEntry entry) {
    EXPECT_TRUE(WriteCacheFile(file, {Entry(L"C:\\other.dll"), entry}));
    EXPECT_TRUE(ReadCacheFile(file, entries_, corrupt_));
    return entries_;
  };
  CacheEntry entry = Entry(std::wstring(319, L'p'));
  EXPECT_EQ(roundTrip(entry).at(1).path.size(), 319u);
  entry.path.assign(320, L'p');
  EXPECT_EQ(roundTrip(entry).size(), 1u);
  entry.path.assign(319, L'p');
  entry.signer.assign(127, L's');
  EXPECT_EQ(roundTrip(entry).at(1).signer.size(), 127u);
  entry.signer.assign(128, L's');
  EXPECT_EQ(roundTrip(entry).size(), 1u);
  entry.signer.assign(127, L's');
  entry.digest.assign(35, L'd');
  EXPECT_EQ(roundTrip(entry).at(1).digest.size(), 35u);
  entry.digest.assign(36, L'd');
  EXPECT_EQ(roundTrip(entry).at(1).digest, L"");
  EXPECT_FALSE(WriteCacheFile(file, {Entry(std::wstring(320, L'p'))}));
}

// Verdicts that are not answered from the cache never reach the file, and a
// write with nothing to store must not destroy the existing file.
TEST_F(CacheFileTest, OnlyCacheableVerdictsAreWritten) {
  const std::wstring file = temp_.Path(L"cache.dat");
  ASSERT_TRUE(WriteCacheFile(file, {Entry(L"C:\\keep.dll")}));
  const ByteArray before = ReadWholeFile(file);
  EXPECT_FALSE(WriteCacheFile(file, {Entry(L"a", SignatureVerdict::Revoked), Entry(L"b", SignatureVerdict::Distrusted),
                                     Entry(L"c", SignatureVerdict::Failed), Entry(L"d", SignatureVerdict::Unavailable)}));
  EXPECT_EQ(ReadWholeFile(file), before);

  ASSERT_TRUE(WriteCacheFile(file, {Entry(L"x", SignatureVerdict::Failed), Entry(L"y", SignatureVerdict::NotSigned)}));
  ASSERT_TRUE(ReadCacheFile(file, entries_, corrupt_));
  ASSERT_EQ(entries_.size(), 1u);
  EXPECT_EQ(entries_[0].path, L"y");
}

TEST_F(CacheFileTest, WriteCreatesTheFolderAndCutsALongerOldFile) {
  const std::wstring file = temp_.Path(L"VaroPic\\deeper\\cache.dat");
  ASSERT_TRUE(WriteCacheFile(file, {Entry(L"a"), Entry(L"b"), Entry(L"c")}));
  EXPECT_EQ(ReadWholeFile(file).size(), 3012u);
  ASSERT_TRUE(WriteCacheFile(file, {Entry(L"a")}));
  EXPECT_EQ(ReadWholeFile(file).size(), 1012u);
}

// Each kind of damage gets its defined outcome: "corrupt" (the caller deletes
// the file) only when the content itself is bad.
TEST_F(CacheFileTest, DamagedFilesAreRecognised) {
  std::mt19937 random(17);
  ByteArray noise(4096);
  for (auto& b : noise) b = static_cast<uint8_t>(random());
  const ByteArray good = ReferenceFrame(Concat({HandMadeRecord(L"a", 2), HandMadeRecord(L"b", 2)}), CacheKey());

  struct Case {
    const char* what;
    ByteArray bytes;
    bool corrupt;
  };
  const std::vector<Case> cases = {
      {"random bytes", noise, true},
      {"truncated frame", ByteArray(good.begin(), good.end() - 8), true},
      {"cut inside a block", ByteArray(good.begin(), good.end() - 3), true},
      {"plaintext of 1001 bytes", ReferenceFrame(ByteArray(1001, 0), CacheKey()), true},
      {"wrong magic in the last record",
       ReferenceFrame(Concat({HandMadeRecord(L"a", 2), HandMadeRecord(L"b", 2), HandMadeRecord(L"c", 2, 0)}),
                      CacheKey()),
       true},
      {"wrong magic in one record",
       ReferenceFrame(Concat({HandMadeRecord(L"a", 2), HandMadeRecord(L"b", 2, 0x23AB45DC), HandMadeRecord(L"c", 2)}),
                      CacheKey()),
       true},
      {"empty file", ByteArray(), false},
  };
  for (const Case& c : cases) {
    const std::wstring file = temp_.WriteFile(L"damaged.dat", c.bytes);
    entries_ = {Entry(L"stale")};
    EXPECT_FALSE(ReadCacheFile(file, entries_, corrupt_)) << c.what;
    EXPECT_EQ(corrupt_, c.corrupt) << c.what;
    EXPECT_TRUE(entries_.empty()) << c.what;
  }
  EXPECT_FALSE(ReadCacheFile(temp_.Path(L"missing.dat"), entries_, corrupt_));
  EXPECT_FALSE(corrupt_);
}

// 5,242 records is the largest file that is read; one byte short of 5 MiB
// more is not read at all, and not called corrupt either.
TEST_F(CacheFileTest, ReadLimitIsFiveMebibytes) {
  ByteArray plain;
  plain.reserve(5242 * 1000);
  for (int i = 0; i < 5242; ++i) {
    const ByteArray record = HandMadeRecord(L"C:\\f" + std::to_wstring(i), 2);
    plain.insert(plain.end(), record.begin(), record.end());
  }
  const std::wstring largest = WriteFrame(plain);
  ASSERT_EQ(ReadWholeFile(largest).size(), 5242012u);
  ASSERT_TRUE(ReadCacheFile(largest, entries_, corrupt_));
  EXPECT_EQ(entries_.size(), 5242u);
  EXPECT_EQ(entries_.back().path, L"C:\\f5241");

  const std::wstring tooLarge = temp_.WriteFile(L"large.dat", ByteArray(5 * 1024 * 1024, 0));
  EXPECT_FALSE(ReadCacheFile(tooLarge, entries_, corrupt_));
  EXPECT_FALSE(corrupt_);
}

// The finder, which deciphers only what a lookup needs, against the full
// read of the same file: the same verdict on the file, and for every lookup
// the first record whose path matches in any A to Z case, whatever another
// writer left after a path's terminator. Catches a block compared that may
// hold anything, a case variant missed, a later duplicate taken for the first
// and a damaged record overlooked.
TEST_F(CacheFileTest, FinderAnswersEveryLookupAsTheFullRead) {
  std::mt19937 random(29);
  auto swapCase = [](std::wstring path) {
    for (wchar_t& c : path) c = (c | 0x20) >= L'a' && (c | 0x20) <= L'z' ? static_cast<wchar_t>(c ^ 0x20) : c;
    return path;
  };
  // Paths of any length a record holds, now and then an earlier one again in
  // other letter cases, as when two spellings of one path were recorded.
  std::vector<std::wstring> made;
  auto madePath = [&](size_t) {
    const std::wstring units = L"ABCXYZabcxyz019\\.:\u00C9\u00E9\u4E00";
    std::wstring path(random() % 320, L' ');
    for (wchar_t& c : path) c = units[random() % units.size()];
    if (!made.empty() && random() % 4 == 0) path = swapCase(made[random() % made.size()]);
    made.push_back(path);
    return path;
  };
  auto inOneFolder = [](size_t i) { return L"C:\\Program Files\\Varo\\2.0\\Module" + std::to_wstring(i) + L".DLL"; };
  // At times with text after the terminator, up to the field's last unit.
  auto records = [&](size_t count, const std::function<std::wstring(size_t)>& path) {
    ByteArray plain;
    for (size_t i = 0; i < count; ++i) {
      const std::wstring text = path(i);
      ByteArray record = HandMadeRecord(text, 2);
      for (size_t unit = text.size() + 1; random() % 2 && unit < 320; ++unit) record[4 + 2 * unit] = 'T';
      plain.insert(plain.end(), record.begin(), record.end());
    }
    return plain;
  };
  ByteArray damaged = records(3, madePath);
  damaged[2000] ^= 1;  // the last record's magic
  ByteArray damagedLate = records(200, madePath);
  damagedLate[150 * 1000] ^= 1;  // read well after the first records
  const struct {
    const char* what;
    ByteArray plain;
  } cases[] = {
      {"no records", {}},
      {"one record", records(1, madePath)},
      {"many paths and case variants", records(400, madePath)},
      {"5,242 records in one folder", records(5242, inOneFolder)},
      {"a damaged record", damaged},
      {"a damaged record late in the file", damagedLate},
      {"a plaintext of 1001 bytes", ByteArray(1001, 0)},
  };
  for (const auto& c : cases) {
    const std::wstring file = WriteFrame(c.plain);
    std::vector<CacheEntry> entries;
    EncipheredRecords kept;
    const CacheFileContent full = ReadCacheFileFrom(FileSystem::OpenForRead(file).Get(), entries);
    ASSERT_EQ(ReadCacheFileFrom(FileSystem::OpenForRead(file).Get(), kept), full) << c.what;
    ASSERT_EQ(kept.Count(), entries.size()) << c.what;
    std::vector<std::wstring> folded;
    for (const CacheEntry& entry : entries) folded.push_back(platform::FoldAscii(entry.path));
    std::vector<std::wstring> lookups = {L"", std::wstring(320, L'p'), L"C:\\absent.dll"};
    for (size_t i = 0; i < entries.size(); i += 1 + entries.size() / 100) {
      const std::wstring& path = entries[i].path;
      lookups.insert(lookups.end(), {path, swapCase(path), path + L"x", path.substr(0, path.size() / 2)});
    }
    if (!entries.empty()) lookups.push_back(swapCase(entries.back().path));
    for (const std::wstring& path : lookups) {
      const auto first =
          static_cast<size_t>(std::find(folded.begin(), folded.end(), platform::FoldAscii(path)) - folded.begin());
      CacheEntry found;
      size_t index = 0;
      ASSERT_EQ(kept.FindFirst(path, found, index), first < entries.size())
          << c.what << ", " << path.size() << " units";
      if (first == entries.size()) continue;
      EXPECT_EQ(index, first) << c.what;
      EXPECT_TRUE(found.SameStoredData(entries[first])) << c.what;
    }
  }
}

// A file that another process holds open cannot be read: no entries, and
// not corrupt, so nobody deletes it.
TEST_F(CacheFileTest, FileHeldByAnotherProcessIsNotCorrupt) {
  const std::wstring file = WriteFrame(HandMadeRecord(L"a", 2));
  const std::wstring ready = temp_.Path(L"ready");
  auto peer = StartProcess(SiblingProgram(L"cache_peer.exe"),
                           L"hold-file " + Quoted(file) + L" " + Quoted(ready) + L" 20000");
  ASSERT_TRUE(WaitForFile(ready, 20000));
  EXPECT_FALSE(ReadCacheFile(file, entries_, corrupt_));
  EXPECT_FALSE(corrupt_);
  EXPECT_FALSE(WriteCacheFile(file, {Entry(L"b")}));
  ::TerminateProcess(peer.Get(), 0);
  WaitForExit(peer, 5000);
  EXPECT_TRUE(ReadCacheFile(file, entries_, corrupt_));
}

}  // namespace
