#include "hash/file_md5.h"

#include <gtest/gtest.h>

#include "hash/qm_file_hash.h"
#include "hash/qm_hash_calc_md5.h"
#include "platform/unique_handle.h"
#include "tests/support/temp_folder.h"

namespace {

class FileMD5Test : public ::testing::Test {
 protected:
  TempFolder temp_;
};

// Catches a wrong digest or lower-case digits, which the cache compares as text.
TEST_F(FileMD5Test, KnownDigestInUpperCase) {
  std::wstring digest;
  ASSERT_TRUE(GetFileMD5(temp_.WriteFile(L"abc.txt", "abc"), digest));
  EXPECT_EQ(digest, L"900150983CD24FB0D6963F7D28E17F72");
}

// Missing, empty or unnamed files have no digest, and the caller's text stays.
TEST_F(FileMD5Test, NoDigestForEmptyMissingOrUnnamedFiles) {
  std::wstring digest = L"untouched";
  EXPECT_FALSE(GetFileMD5(temp_.WriteFile(L"empty.bin", ""), digest));
  EXPECT_FALSE(GetFileMD5(temp_.Path(L"missing.bin"), digest));
  EXPECT_FALSE(GetFileMD5(L"", digest));
  EXPECT_EQ(digest, L"untouched");
}

// Chunk boundaries must not change the digest. The expected digest is that
// of md5sum over the same bytes, so a fault shared with the digest class
// cannot hide.
TEST_F(FileMD5Test, LargeFileDigestEqualsDigestOfWholeContent) {
  std::vector<uint8_t> bytes(3 * 65536 + 17);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
  std::wstring digest;
  ASSERT_TRUE(GetFileMD5(temp_.WriteFile(L"big.bin", bytes), digest));
  EXPECT_EQ(digest, L"A79831BBFFD8B1EF13E357EEC0EC958F");
}

// A file opened elsewhere for writing without read sharing is unreadable,
// which counts as missing.
TEST_F(FileMD5Test, FileHeldForWritingHasNoDigest) {
  const std::wstring path = temp_.WriteFile(L"held.bin", "abc");
  platform::UniqueFileHandle writer(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer);
  std::wstring digest;
  EXPECT_FALSE(GetFileMD5(path, digest));
}

class RecordingObserver : public QM::QMFileHashObserver {
 public:
  explicit RecordingObserver(QM::QMFileHash* stopOnProgress = nullptr) : stopOnProgress_(stopOnProgress) {}
  void OnProgress(double fraction) override {
    fractions.push_back(fraction);
    if (stopOnProgress_) stopOnProgress_->RequestStop();
  }
  void OnFinished(bool success, std::wstring message) override {
    finished.push_back({success, std::move(message)});
  }
  std::vector<double> fractions;
  std::vector<std::pair<bool, std::wstring>> finished;

 private:
  QM::QMFileHash* stopOnProgress_;
};

// Catches progress past 1.0, a missing finish, and a failure without its reason.
TEST_F(FileMD5Test, ObserverSeesProgressAndOneFinish) {
  const std::wstring path = temp_.WriteFile(L"two.bin", std::vector<uint8_t>(65536 + 1, 7));
  QM::QMMD5 md5;
  RecordingObserver observer;
  md5.SetObserver(&observer);
  ASSERT_TRUE(md5.CalcFile(path));
  ASSERT_EQ(observer.fractions.size(), 2u);
  EXPECT_DOUBLE_EQ(observer.fractions.back(), 1.0);
  ASSERT_EQ(observer.finished.size(), 1u);
  EXPECT_TRUE(observer.finished[0].first);

  // A missing file reports the system's reason.
  observer.finished.clear();
  EXPECT_FALSE(md5.CalcFile(temp_.Path(L"missing.bin")));
  ASSERT_EQ(observer.finished.size(), 1u);
  EXPECT_FALSE(observer.finished[0].first);
  EXPECT_FALSE(observer.finished[0].second.empty());
}

// Catches a stopped calculation reported as a finished digest.
TEST_F(FileMD5Test, StopRequestEndsTheCalculationAsFailure) {
  const std::wstring path = temp_.WriteFile(L"three.bin", std::vector<uint8_t>(3 * 65536, 1));
  QM::QMMD5 md5;
  RecordingObserver observer(&md5);
  md5.SetObserver(&observer);
  EXPECT_FALSE(md5.CalcFile(path));
  EXPECT_EQ(observer.fractions.size(), 1u);
  ASSERT_EQ(observer.finished.size(), 1u);
  EXPECT_FALSE(observer.finished[0].first);
}

// A read that fails half-way must not pass off the digest of the part read
// as the file's own.
TEST_F(FileMD5Test, ReadErrorMidFileIsAFailure) {
  const std::wstring path = temp_.WriteFile(L"locked.bin", std::vector<uint8_t>(4 * 65536, 3));
  platform::UniqueFileHandle locker(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                                  nullptr));
  ASSERT_TRUE(locker);
  ASSERT_TRUE(::LockFile(locker.Get(), 2 * 65536, 0, 100, 0));
  QM::QMMD5 md5;
  RecordingObserver observer;
  md5.SetObserver(&observer);
  EXPECT_FALSE(md5.CalcFile(path));
  ASSERT_EQ(observer.finished.size(), 1u);
  EXPECT_FALSE(observer.finished[0].first);
  EXPECT_FALSE(observer.finished[0].second.empty());
  std::wstring digest;
  EXPECT_FALSE(GetFileMD5(path, digest));
}

// Catches a buffer overrun in GetDigest and Init clearing the kept digest.
TEST(QMHashCalcMD5Test, DigestAccessors) {
  QM::QMHashCalcMD5 md5;
  EXPECT_EQ(md5.GetHexDigest(), std::wstring(32, L'0'));
  md5.Init();
  md5.Update(reinterpret_cast<const uint8_t*>("abc"), 3);
  md5.Update(nullptr, 5);  // ignored
  md5.Final();
  uint8_t small[15];
  EXPECT_FALSE(md5.GetDigest(small, sizeof small));
  uint8_t exact[17] = {};
  exact[16] = 0xCC;
  ASSERT_TRUE(md5.GetDigest(exact, sizeof exact));
  EXPECT_EQ(exact[0], 0x90);
  EXPECT_EQ(exact[15], 0x72);
  EXPECT_EQ(exact[16], 0xCC);
  // Init starts afresh; the kept digest only changes at Final.
  md5.Init();
  EXPECT_EQ(md5.GetHexDigest(), L"900150983CD24FB0D6963F7D28E17F72");
}

}  // namespace
