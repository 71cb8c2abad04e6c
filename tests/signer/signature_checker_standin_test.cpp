#include "signer/signature_checker.h"

#include <gtest/gtest.h>

#include <array>
#include <cwchar>
#include <string>

#include "platform/unique_handle.h"
#include "signer/signature_examination.h"
#include "tests/support/signature_verdict_printer.h"
#include "tests/support/temp_folder.h"
#include "tests/support/trust_standin.h"
#include "tests/support/windows_version_run.h"

using platform::SignatureVerdict;

// The checker against the stand-in wintrust.dll beside this program
// (WINEDLLOVERRIDES=wintrust=n,b), for what Wine's trust services never
// report: revocation, distrust, catalogs, a library that does not load. Each
// test runs in a process of its own, so the stand-in's settings and the
// library cache start fresh.

namespace {

namespace settings = trust_standin_settings;
using trust_standin::Log;

constexpr wchar_t kSigner[] = L"O=Varo, CN=\"Harbor Varo Network Software Co.,Ltd\"";
constexpr wchar_t kSignerName[] = L"Harbor Varo Network Software Co.,Ltd";
constexpr wchar_t kCatalog[] = L"C:\\windows\\system32\\catroot\\varo.cat";

// What the stand-in logs for the calls that the checker should make.
std::wstring EmbeddedCheck(const std::wstring& path, const wchar_t* flags = L"0x1300") {
  return std::wstring(L"WinVerifyTrust GENERIC_VERIFY_V2 window=-1 cbStruct=80 ui=2 revocation=0 choice=1 flags=") +
         flags + L" context=0 extra=0 file[cbStruct=32 path=" + path + L" handle=0 subject=0] state=1\n";
}
constexpr wchar_t kEmbeddedClose[] = L"WinVerifyTrust close GENERIC_VERIFY_V2 state=ours\n";
constexpr wchar_t kNameRead[] = L"ProvDataFromStateData state=ours\nProvSignerFromChain signer=0 counterSigner=0/0\n";
std::wstring CatalogLookup(const std::wstring& hash) {
  return L"AcquireContext DRIVER_ACTION_VERIFY flags=0\nEnumCatalogFromHash admin=ours hash=" + hash +
         L" flags=0 previous=0\n";
}
constexpr wchar_t kCatalogInfo[] = L"CatalogInfoFromContext catalog=ours cbStruct=524 flags=0\n";
std::wstring CatalogCheck(const std::wstring& path, const std::wstring& tag, const wchar_t* flags = L"0x1200") {
  return std::wstring(L"WinVerifyTrust DRIVER_ACTION_VERIFY window=-1 cbStruct=80 ui=2 revocation=1 choice=2 flags=") +
         flags + L" context=0 extra=0 catalog[cbStruct=64 version=0 catalog=" + kCatalog + L" tag=" + tag +
         L" member=" + path + L" handle=0 hash=0/0 context=0] state=1\n";
}
constexpr wchar_t kCatalogClose[] = L"WinVerifyTrust close DRIVER_ACTION_VERIFY state=ours\n";
constexpr wchar_t kReleaseCatalog[] = L"ReleaseCatalogContext admin=ours catalog=ours flags=0\n";
constexpr wchar_t kReleaseAdmin[] = L"ReleaseContext admin=ours flags=0\n";

bool Logged(const std::wstring& call) { return Log().find(call) != std::wstring::npos; }

class SignatureCheckerStandInTest : public ::testing::Test {
 protected:
  // A file whose stand-in hash (its first 20 bytes) is kHash.
  void SetUp() override {
    const std::vector<uint8_t> bytes = {0x00, 0x1F, 0xA0, 0xFF, 0x5C, 0x09, 0xB3, 0x7E, 0xC4, 0x62,
                                        0xD8, 0x10, 0xEA, 0x35, 0x4B, 0x96, 0x21, 0xFC, 0x8D, 0x70, 0x11};
    file_ = temp_.WriteFile(L"member.dll", bytes);
  }
  static constexpr wchar_t kHash[] = L"001FA0FF5C09B37EC462D810EA354B9621FC8D70";

  SignatureVerdict Verify(const std::wstring& path) {
    name_.fill(L'\0');
    return checker_.Verify(path.c_str(), name_.data());
  }
  std::wstring Name() const { return name_.data(); }

  // A file of exactly `size` bytes, quickly: the system fills it with zeros.
  std::wstring FileOfSize(const std::wstring& name, LONGLONG size) {
    const std::wstring path = temp_.WriteFile(name, std::vector<uint8_t>());
    platform::UniqueFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER end{};
    end.QuadPart = size;
    EXPECT_TRUE(::SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.Get()));
    return path;
  }

  TempFolder temp_;
  std::wstring file_;
  SignatureChecker checker_;
  std::array<wchar_t, kSignerNameCapacity> name_{};
};

// Catches wrong record sizes, flags, action or window, a state left open, and
// a name not read for a valid signature.
TEST_F(SignatureCheckerStandInTest, EmbeddedCheckAsksTheProviderExactlyAndClosesItsState) {
  trust_standin::SetResult(settings::kFileResult, ERROR_SUCCESS);
  trust_standin::Set(settings::kSigner, kSigner);
  EXPECT_EQ(Verify(file_), SignatureVerdict::Valid);
  EXPECT_EQ(Name(), kSignerName);
  EXPECT_EQ(Log(), EmbeddedCheck(file_) + kNameRead + kEmbeddedClose);
}

// Catches --revocation that does not reach the provider, or that reaches more
// than the tool's report: only a person's request asks for the whole chain's
// revocation, online. (Wine's provider checks no revocation at all, so only
// the stand-in can show the question.)
TEST_F(SignatureCheckerStandInTest, RevocationIsAskedForOnlyOnRequest) {
  trust_standin::SetResult(settings::kFileResult, ERROR_SUCCESS);
  trust_standin::Set(settings::kSigner, kSigner);
  ExamineSignature(file_);
  EXPECT_TRUE(Logged(L"revocation=0 choice=1 flags=0x1300 ")) << ::testing::PrintToString(Log());
  ExamineSignature(file_, {.checkRevocation = true});
  EXPECT_TRUE(Logged(L"revocation=1 choice=1 flags=0x340 ")) << ::testing::PrintToString(Log());
}

struct Refusal {
  LONG result;
  SignatureVerdict verdict;
};

void PrintTo(const Refusal& refusal, std::ostream* out) {
  *out << "0x" << std::hex << std::uppercase << static_cast<unsigned long>(refusal.result);
}

class EmbeddedRefusalTest : public SignatureCheckerStandInTest, public ::testing::WithParamInterface<Refusal> {};

// Catches a provider result mapped to the wrong verdict, a refused file sent
// on to the catalogs, and the signer's name dropped for a refusal.
TEST_P(EmbeddedRefusalTest, MapsToItsVerdictAndStillNamesTheSigner) {
  trust_standin::SetResult(settings::kFileResult, GetParam().result);
  trust_standin::Set(settings::kSigner, kSigner);
  trust_standin::Set(settings::kCatalog, kCatalog);
  EXPECT_EQ(Verify(file_), GetParam().verdict);
  EXPECT_EQ(Name(), kSignerName);
  EXPECT_EQ(Log(), EmbeddedCheck(file_) + kNameRead + kEmbeddedClose);
}

INSTANTIATE_TEST_SUITE_P(ProviderResults, EmbeddedRefusalTest,
                         ::testing::Values(Refusal{CERT_E_EXPIRED, SignatureVerdict::Expired},
                                           Refusal{CERT_E_REVOKED, SignatureVerdict::Revoked},
                                           Refusal{TRUST_E_EXPLICIT_DISTRUST, SignatureVerdict::Distrusted},
                                           Refusal{CRYPT_E_SECURITY_SETTINGS, SignatureVerdict::Failed},
                                           Refusal{CERT_E_UNTRUSTEDROOT, SignatureVerdict::Failed}));

// Catches a wrong lookup sequence, member tag, record or flags in the catalog
// branch, and catalog contexts left unreleased.
TEST_F(SignatureCheckerStandInTest, UnsignedFileListedInACatalogIsVerifiedThroughIt) {
  trust_standin::Set(settings::kCatalog, kCatalog);
  trust_standin::Set(settings::kSigner, kSigner);
  EXPECT_EQ(Verify(file_), SignatureVerdict::Valid);
  EXPECT_EQ(Name(), kSignerName);
  EXPECT_EQ(Log(), EmbeddedCheck(file_) + kEmbeddedClose + L"CalcHash size=256 flags=0\n" + CatalogLookup(kHash) +
                       kCatalogInfo + CatalogCheck(file_, kHash) + kNameRead + kCatalogClose + kReleaseCatalog +
                       kReleaseAdmin);
}

// Catches a hash buffer that is not enlarged to the size the system asks for.
TEST_F(SignatureCheckerStandInTest, LongHashIsTakenAgainAtTheReportedSize) {
  std::vector<uint8_t> bytes(300);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  const std::wstring path = temp_.WriteFile(L"long-hash.dll", bytes);
  std::wstring tag;
  for (uint8_t b : bytes) {
    wchar_t digits[3];
    std::swprintf(digits, 3, L"%02X", b);
    tag += digits;
  }
  trust_standin::Set(settings::kHashSize, L"300");
  trust_standin::Set(settings::kCatalog, kCatalog);
  trust_standin::Set(settings::kSigner, kSigner);
  EXPECT_EQ(Verify(path), SignatureVerdict::Valid);
  EXPECT_TRUE(Logged(L"CalcHash size=256 flags=0\nCalcHash size=300 flags=0\n" + CatalogLookup(tag))) << Log();
  EXPECT_TRUE(Logged(L" tag=" + tag + L" ")) << Log();
}

// Catches catalog results mapped differently from embedded ones, and a name
// read where the catalog has no signature.
TEST_F(SignatureCheckerStandInTest, CatalogResultsMapToVerdicts) {
  trust_standin::Set(settings::kCatalog, kCatalog);
  trust_standin::Set(settings::kSigner, kSigner);
  trust_standin::SetResult(settings::kCatalogResult, CERT_E_REVOKED);
  EXPECT_EQ(Verify(file_), SignatureVerdict::Revoked);
  EXPECT_EQ(Name(), kSignerName);

  trust_standin::ClearLog();
  trust_standin::SetResult(settings::kCatalogResult, TRUST_E_NOSIGNATURE);
  EXPECT_EQ(Verify(file_), SignatureVerdict::NotSigned);
  EXPECT_EQ(Name(), L"");
  EXPECT_FALSE(Logged(L"ProvDataFromStateData")) << Log();
}

// Catches a catalog lookup for files over 32 MiB, or a limit one byte too low.
TEST_F(SignatureCheckerStandInTest, CatalogLookupStopsAbove32MiB) {
  trust_standin::Set(settings::kCatalog, kCatalog);
  trust_standin::Set(settings::kSigner, kSigner);
  EXPECT_EQ(Verify(FileOfSize(L"over.dll", 0x2000001)), SignatureVerdict::NotSigned);
  EXPECT_FALSE(Logged(L"CalcHash")) << Log();

  EXPECT_EQ(Verify(FileOfSize(L"limit.dll", 0x2000000)), SignatureVerdict::Valid);
  EXPECT_TRUE(Logged(L"CalcHash")) << Log();
}

// Catches a failed hash used anyway, or retried more than once.
TEST_F(SignatureCheckerStandInTest, FileThatCannotBeHashedIsNotSigned) {
  trust_standin::Set(settings::kHashFails);
  trust_standin::Set(settings::kCatalog, kCatalog);
  EXPECT_EQ(Verify(file_), SignatureVerdict::NotSigned);
  EXPECT_EQ(Log(), EmbeddedCheck(file_) + kEmbeddedClose + L"CalcHash size=256 flags=0\nCalcHash size=20 flags=0\n");
}

// Catches a lookup tried on a file that cannot be opened.
TEST_F(SignatureCheckerStandInTest, MissingFileIsNotSigned) {
  trust_standin::Set(settings::kCatalog, kCatalog);
  const std::wstring missing = temp_.Path(L"missing.dll");
  EXPECT_EQ(Verify(missing), SignatureVerdict::NotSigned);
  EXPECT_EQ(Log(), EmbeddedCheck(missing) + kEmbeddedClose);
}

// Catches a catalog context used without an administrator context.
TEST_F(SignatureCheckerStandInTest, NoAdministratorContextIsNotSigned) {
  trust_standin::Set(settings::kAcquireFails);
  trust_standin::Set(settings::kCatalog, kCatalog);
  EXPECT_EQ(Verify(file_), SignatureVerdict::NotSigned);
  EXPECT_FALSE(Logged(L"EnumCatalogFromHash")) << Log();
  EXPECT_FALSE(Logged(L"ReleaseContext")) << Log();
}

// Catches the administrator context leaked when no catalog lists the file.
TEST_F(SignatureCheckerStandInTest, FileInNoCatalogIsNotSignedAndContextIsReleased) {
  EXPECT_EQ(Verify(file_), SignatureVerdict::NotSigned);
  EXPECT_EQ(Log(), EmbeddedCheck(file_) + kEmbeddedClose + L"CalcHash size=256 flags=0\n" + CatalogLookup(kHash) +
                       kReleaseAdmin);
}

// Catches an unreadable catalog verified anyway, or its context leaked.
TEST_F(SignatureCheckerStandInTest, UnreadableCatalogIsNotSignedAndReleased) {
  trust_standin::Set(settings::kCatalog, kCatalog);
  trust_standin::Set(settings::kCatalogInfoFails);
  EXPECT_EQ(Verify(file_), SignatureVerdict::NotSigned);
  EXPECT_EQ(Log(), EmbeddedCheck(file_) + kEmbeddedClose + L"CalcHash size=256 flags=0\n" + CatalogLookup(kHash) +
                       kCatalogInfo + kReleaseCatalog + kReleaseAdmin);
}

// Catches a good answer taken without a signer whose chain could be looked
// at, and a name invented for it.
TEST_F(SignatureCheckerStandInTest, GoodAnswerWithoutASignerFails) {
  trust_standin::SetResult(settings::kFileResult, ERROR_SUCCESS);
  EXPECT_EQ(Verify(file_), SignatureVerdict::Failed);
  EXPECT_EQ(Name(), L"");
}

// Catches a provider's good answer taken while the signer's chain says
// otherwise (Wine skips its final policy for SHA-256 leaves): the chain must
// end in a trusted root, and what it says of time, revocation and distrust
// gives the verdicts those have; revocation that could not be checked does
// not count.
TEST_F(SignatureCheckerStandInTest, SignersChainDecidesAGoodAnswer) {
  struct Row {
    LONG result;
    DWORD chainErrors;
    SignatureVerdict expected;
  };
  const Row rows[] = {
      {ERROR_SUCCESS, 0, SignatureVerdict::Valid},
      {ERROR_SUCCESS, CERT_TRUST_IS_UNTRUSTED_ROOT, SignatureVerdict::Failed},
      {ERROR_SUCCESS, CERT_TRUST_IS_PARTIAL_CHAIN, SignatureVerdict::Failed},
      {ERROR_SUCCESS, CERT_TRUST_IS_NOT_SIGNATURE_VALID, SignatureVerdict::Failed},
      {ERROR_SUCCESS, CERT_TRUST_INVALID_BASIC_CONSTRAINTS, SignatureVerdict::Failed},
      {ERROR_SUCCESS, CERT_TRUST_IS_NOT_TIME_VALID, SignatureVerdict::Expired},
      {ERROR_SUCCESS, CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION,
       SignatureVerdict::Valid},
      {ERROR_SUCCESS, CERT_TRUST_IS_REVOKED, SignatureVerdict::Revoked},
      {ERROR_SUCCESS, CERT_TRUST_IS_EXPLICIT_DISTRUST, SignatureVerdict::Distrusted},
      {CERT_E_EXPIRED, CERT_TRUST_IS_NOT_TIME_VALID, SignatureVerdict::Expired},
      {CERT_E_EXPIRED, CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_IS_UNTRUSTED_ROOT, SignatureVerdict::Failed},
      {TRUST_E_BAD_DIGEST, 0, SignatureVerdict::Failed},
  };
  trust_standin::Set(settings::kSigner, kSigner);
  for (const Row& row : rows) {
    trust_standin::SetResult(settings::kFileResult, row.result);
    wchar_t errors[16];
    std::swprintf(errors, 16, L"%lX", static_cast<unsigned long>(row.chainErrors));
    trust_standin::Set(settings::kChainErrors, errors);
    EXPECT_EQ(Verify(file_), row.expected) << std::hex << row.result << " " << row.chainErrors;
    EXPECT_EQ(Name(), kSignerName);
  }
}

// Catches a load failure remembered for good, or a trust call attempted
// without the library.
TEST_F(SignatureCheckerStandInTest, UnavailableUntilTheLibraryLoads) {
  trust_standin::Set(settings::kRefuseLoad);
  trust_standin::SetResult(settings::kFileResult, ERROR_SUCCESS);
  EXPECT_EQ(Verify(file_), SignatureVerdict::Unavailable);
  EXPECT_EQ(Verify(file_), SignatureVerdict::Unavailable);
  EXPECT_EQ(::GetModuleHandleW(L"wintrust.dll"), nullptr);
  EXPECT_EQ(Log(), L"");

  trust_standin::Clear(settings::kRefuseLoad);
  trust_standin::Set(settings::kSigner, kSigner);
  EXPECT_EQ(Verify(file_), SignatureVerdict::Valid);
  EXPECT_TRUE(Logged(EmbeddedCheck(file_))) << Log();
}

// Catches a checker that calls into a library lacking one of its functions.
TEST_F(SignatureCheckerStandInTest, LibraryLackingAFunctionIsUnavailable) {
  wchar_t program[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::wstring partial = program;
  partial = partial.substr(0, partial.find_last_of(L'\\') + 1) + L"partial\\wintrust.dll";
  // Loaded first, it is the wintrust.dll that the checker's load by name finds.
  platform::UniqueModule library(::LoadLibraryW(partial.c_str()));
  ASSERT_TRUE(library) << "cannot load " << testing::PrintToString(partial);
  trust_standin::SetResult(settings::kFileResult, ERROR_SUCCESS);

  EXPECT_EQ(Verify(file_), SignatureVerdict::Unavailable);
  EXPECT_EQ(Verify(file_), SignatureVerdict::Unavailable);
  EXPECT_EQ(Log(), L"");
}

// Catches a null path passed on to the system.
TEST_F(SignatureCheckerStandInTest, NullPathFailsWithoutATrustCall) {
  EXPECT_EQ(checker_.Verify(nullptr, name_.data()), SignatureVerdict::Failed);
  EXPECT_EQ(Log(), L"");
}

// Runs only in the copy that the next test starts, which Wine tells it runs on
// Windows XP.
TEST_F(SignatureCheckerStandInTest, DISABLED_UsesPreVistaFlags) {
  trust_standin::Set(settings::kCatalog, kCatalog);
  trust_standin::Set(settings::kSigner, kSigner);
  EXPECT_EQ(Verify(file_), SignatureVerdict::Valid);
  EXPECT_TRUE(Logged(EmbeddedCheck(file_, L"0x110"))) << Log();
  EXPECT_TRUE(Logged(CatalogCheck(file_, kHash, L"0x10"))) << Log();
}

// Catches provider flags that ignore the system version.
TEST(SignatureCheckerVersionTest, PreVistaSystemGetsTheOlderProviderFlags) {
  EXPECT_TRUE(RunTestAsWindowsVersion(L"SignatureCheckerStandInTest.DISABLED_UsesPreVistaFlags", L"winxp",
                                      {L"wintrust.dll"}));
}

}  // namespace
