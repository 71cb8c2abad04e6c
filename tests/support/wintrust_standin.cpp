// Stands in for wintrust.dll where Wine cannot produce a situation: revoked and
// distrusted signers, catalog lookups, a library that will not load. A test
// program placed beside this DLL loads it instead of the system's under
// WINEDLLOVERRIDES=wintrust=n,b. Each function does what the settings of
// trust_standin_settings.h ask and logs its arguments, so the test in the same
// process can check what the code under test passed.
#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/unique_handle.h"
#include "platform/win.h"
// Declarations of the functions this DLL exports, so that a signature that
// differs from Windows' does not compile.
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
#include <mscat.h>

#include "tests/support/trust_standin_settings.h"

namespace {

namespace settings = trust_standin_settings;

std::wstring Setting(const wchar_t* name) {
  wchar_t value[4096] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, 4096);
  return length < 4096 ? std::wstring(value, length) : std::wstring();
}

bool IsSet(const wchar_t* name) { return ::GetEnvironmentVariableW(name, nullptr, 0) != 0; }

DWORD NumberSetting(const wchar_t* name, DWORD fallback, int base) {
  const std::wstring text = Setting(name);
  return text.empty() ? fallback : static_cast<DWORD>(std::wcstoul(text.c_str(), nullptr, base));
}

void Log(const std::wstring& line) {
  ::SetEnvironmentVariableW(settings::kLog, (Setting(settings::kLog) + line + L"\n").c_str());
}

std::wstring Number(unsigned long long value, const wchar_t* format = L"%llu") {
  wchar_t text[32];
  std::swprintf(text, 32, format, value);
  return text;
}

std::wstring Text(const wchar_t* text) { return text != nullptr ? text : L"(null)"; }

std::wstring Hex(const BYTE* bytes, DWORD size) {
  std::wstring text;
  for (DWORD i = 0; i < size; ++i) text += Number(bytes[i], L"%02llX");
  return text;
}

std::wstring ActionName(const GUID* action) {
  static const GUID kGenericVerifyV2 = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  static const GUID kDriverVerify = DRIVER_ACTION_VERIFY;
  if (action != nullptr && *action == kGenericVerifyV2) return L"GENERIC_VERIFY_V2";
  if (action != nullptr && *action == kDriverVerify) return L"DRIVER_ACTION_VERIFY";
  return L"other";
}

// Tokens handed out as handles; only their addresses matter.
char stateToken, adminToken, catalogToken;

std::wstring Ours(const void* handle, const void* token) { return handle == token ? L"ours" : L"other"; }

// The provider data behind the state handle, rebuilt at each verification.
struct SignerState {
  std::vector<BYTE> subject;
  CERT_INFO info{};
  CERT_CONTEXT certificate{};
  // From kSignerCertificates, freed at the next verification.
  std::vector<PCCERT_CONTEXT> loaded;
  std::vector<CRYPT_PROVIDER_CERT> chain;
  CERT_CHAIN_CONTEXT chainContext{};
  CRYPT_PROVIDER_SGNR signer{};
  CRYPT_PROVIDER_DATA provider{};
  bool present = false;
} signerState;

// The certificates of a PEM file, in file order.
void LoadSignerCertificates(const std::wstring& path) {
  for (PCCERT_CONTEXT certificate : signerState.loaded) ::CertFreeCertificateContext(certificate);
  signerState.loaded.clear();
  const platform::UniqueFileHandle file(
      ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  std::string text(1 << 16, '\0');
  DWORD read = 0;
  if (!file || !::ReadFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr)) return;
  text.resize(read);
  const std::string end = "-----END CERTIFICATE-----";
  for (size_t at = text.find("-----BEGIN CERTIFICATE-----"); at != std::string::npos;
       at = text.find("-----BEGIN CERTIFICATE-----", at)) {
    const size_t stop = text.find(end, at);
    if (stop == std::string::npos) break;
    const DWORD length = static_cast<DWORD>(stop + end.size() - at);
    DWORD size = 0;
    ::CryptStringToBinaryA(text.data() + at, length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr);
    std::vector<BYTE> der(size);
    if (::CryptStringToBinaryA(text.data() + at, length, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr,
                               nullptr)) {
      if (PCCERT_CONTEXT certificate = ::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size)) {
        signerState.loaded.push_back(certificate);
      }
    }
    at = stop + end.size();
  }
}

void SetSignerChain(CRYPT_PROVIDER_CERT* chain, DWORD length) {
  signerState.signer.cbStruct = sizeof(CRYPT_PROVIDER_SGNR);
  signerState.signer.csCertChain = length;
  signerState.signer.pasCertChain = chain;
  // A real provider's chain is an engine's; the caller reads only its status.
  signerState.chainContext.cbSize = sizeof(CERT_CHAIN_CONTEXT);
  signerState.chainContext.TrustStatus.dwErrorStatus = NumberSetting(settings::kChainErrors, 0, 16);
  signerState.signer.pChainContext = &signerState.chainContext;
  signerState.provider.cbStruct = sizeof(CRYPT_PROVIDER_DATA);
  signerState.present = true;
}

void BuildSignerState() {
  signerState.present = false;
  if (const std::wstring certificates = Setting(settings::kSignerCertificates); !certificates.empty()) {
    LoadSignerCertificates(certificates);
    signerState.chain.assign(signerState.loaded.size(), CRYPT_PROVIDER_CERT{});
    for (size_t i = 0; i < signerState.loaded.size(); ++i) {
      signerState.chain[i].cbStruct = sizeof(CRYPT_PROVIDER_CERT);
      signerState.chain[i].pCert = signerState.loaded[i];
    }
    if (signerState.chain.empty()) {
      Log(L"Signer certificates not read: " + certificates);
      return;
    }
    SetSignerChain(signerState.chain.data(), static_cast<DWORD>(signerState.chain.size()));
    return;
  }
  const std::wstring subject = Setting(settings::kSigner);
  DWORD size = 0;
  if (subject.empty() || !::CertStrToNameW(X509_ASN_ENCODING, subject.c_str(), CERT_X500_NAME_STR, nullptr,
                                           nullptr, &size, nullptr)) {
    if (!subject.empty()) Log(L"Signer not encoded: " + subject);
    return;
  }
  signerState.subject.assign(size, 0);
  ::CertStrToNameW(X509_ASN_ENCODING, subject.c_str(), CERT_X500_NAME_STR, nullptr, signerState.subject.data(),
                   &size, nullptr);
  signerState.info.Subject = {size, signerState.subject.data()};
  signerState.certificate.dwCertEncodingType = X509_ASN_ENCODING;
  signerState.certificate.pCertInfo = &signerState.info;
  signerState.chain.assign(1, CRYPT_PROVIDER_CERT{});
  signerState.chain[0].cbStruct = sizeof(CRYPT_PROVIDER_CERT);
  signerState.chain[0].pCert = &signerState.certificate;
  SetSignerChain(signerState.chain.data(), 1);
}

std::wstring DescribeFile(const WINTRUST_FILE_INFO* file) {
  if (file == nullptr) return L" file=(null)";
  return L" file[cbStruct=" + Number(file->cbStruct) + L" path=" + Text(file->pcwszFilePath) +
         L" handle=" + Number(file->hFile != nullptr) + L" subject=" + Number(file->pgKnownSubject != nullptr) +
         L"]";
}

std::wstring DescribeCatalog(const WINTRUST_CATALOG_INFO* member) {
  if (member == nullptr) return L" catalog=(null)";
  return L" catalog[cbStruct=" + Number(member->cbStruct) + L" version=" + Number(member->dwCatalogVersion) +
         L" catalog=" + Text(member->pcwszCatalogFilePath) + L" tag=" + Text(member->pcwszMemberTag) +
         L" member=" + Text(member->pcwszMemberFilePath) + L" handle=" + Number(member->hMemberFile != nullptr) +
         L" hash=" + Number(member->pbCalculatedFileHash != nullptr) + L"/" +
         Number(member->cbCalculatedFileHash) + L" context=" + Number(member->pcCatalogContext != nullptr) + L"]";
}

std::wstring DescribeVerification(HWND window, const GUID* action, const WINTRUST_DATA* data) {
  const bool extra = data->pPolicyCallbackData || data->pSIPClientData || data->pwszURLReference ||
                     data->hWVTStateData;
  std::wstring line = L"WinVerifyTrust " + ActionName(action) + L" window=" +
                      (window == static_cast<HWND>(INVALID_HANDLE_VALUE) ? L"-1" : L"other") +
                      L" cbStruct=" + Number(data->cbStruct) + L" ui=" + Number(data->dwUIChoice) +
                      L" revocation=" + Number(data->fdwRevocationChecks) + L" choice=" +
                      Number(data->dwUnionChoice) + L" flags=" + Number(data->dwProvFlags, L"0x%llX") +
                      L" context=" + Number(data->dwUIContext) + L" extra=" + Number(extra);
  if (data->dwUnionChoice == WTD_CHOICE_FILE) return line + DescribeFile(data->pFile);
  if (data->dwUnionChoice == WTD_CHOICE_CATALOG) return line + DescribeCatalog(data->pCatalog);
  return line;
}

// What another process could do to the file while it is being verified.
void LogWhetherWritable(const wchar_t* path) {
  const platform::UniqueFileHandle file(::CreateFileW(
      path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
  Log(file ? L"write=allowed" : L"write=denied");
}

// Whether the image's security directory names a certificate table, read
// through the handle the caller gave, else by the path.
bool HasCertificateTable(const WINTRUST_FILE_INFO* info) {
  platform::UniqueFileHandle opened;
  HANDLE file = info->hFile;
  if (file == nullptr) {
    opened.Reset(::CreateFileW(info->pcwszFilePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    file = opened.Get();
  }
  std::vector<BYTE> headers(4096, 0);
  DWORD read = 0;
  LARGE_INTEGER start{};
  if (!platform::FileHandleTraits::IsValid(file) || !::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) ||
      !::ReadFile(file, headers.data(), static_cast<DWORD>(headers.size()), &read, nullptr)) {
    return false;
  }
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(headers.data());
  if (read < sizeof(IMAGE_DOS_HEADER) || dos->e_lfanew < 0 ||
      static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS64) > read) {
    return false;
  }
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(headers.data() + dos->e_lfanew);
  return nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY].Size != 0;
}

LONG FileResult(const WINTRUST_FILE_INFO* file) {
  if (IsSet(settings::kUnsignedWithoutCertificates) && !HasCertificateTable(file)) return TRUST_E_NOSIGNATURE;
  return static_cast<LONG>(NumberSetting(settings::kFileResult, TRUST_E_NOSIGNATURE, 16));
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  return reason != DLL_PROCESS_ATTACH || !IsSet(settings::kRefuseLoad);
}

// Lets a test in another process act while a check is under way: creates the
// pause file and waits, at most half a minute, until the test deletes it.
void PauseIfAsked(const wchar_t* path) {
  const std::wstring pauseFor = Setting(settings::kPauseFor);
  const std::wstring pauseFile = Setting(settings::kPauseFile);
  if (pauseFor.empty() || pauseFile.empty() || path == nullptr || std::wcsstr(path, pauseFor.c_str()) == nullptr) {
    return;
  }
  platform::UniqueFileHandle marker(::CreateFileW(pauseFile.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  marker.Reset();
  for (int i = 0; i < 3000 && ::GetFileAttributesW(pauseFile.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(10);
}

LONG WINAPI WinVerifyTrust(HWND window, GUID* action, LPVOID trustData) {
  auto* data = static_cast<WINTRUST_DATA*>(trustData);
  if (data->dwStateAction == WTD_STATEACTION_CLOSE) {
    Log(L"WinVerifyTrust close " + ActionName(action) + L" state=" + Ours(data->hWVTStateData, &stateToken));
    data->hWVTStateData = nullptr;
    return ERROR_SUCCESS;
  }
  Log(DescribeVerification(window, action, data) + L" state=" + Number(data->dwStateAction));
  if (IsSet(settings::kTryWrite) && data->dwUnionChoice == WTD_CHOICE_FILE) LogWhetherWritable(data->pFile->pcwszFilePath);
  // The answer is made before the pause: what a test does to the file then
  // happens after the check has read it.
  const LONG result = data->dwUnionChoice == WTD_CHOICE_CATALOG
                          ? static_cast<LONG>(NumberSetting(settings::kCatalogResult, ERROR_SUCCESS, 16))
                          : FileResult(data->pFile);
  if (data->dwUnionChoice == WTD_CHOICE_FILE) PauseIfAsked(data->pFile->pcwszFilePath);
  BuildSignerState();
  data->hWVTStateData = &stateToken;
  return result;
}

CRYPT_PROVIDER_DATA* WINAPI WTHelperProvDataFromStateData(HANDLE state) {
  Log(L"ProvDataFromStateData state=" + Ours(state, &stateToken));
  return signerState.present && state == &stateToken ? &signerState.provider : nullptr;
}

CRYPT_PROVIDER_SGNR* WINAPI WTHelperGetProvSignerFromChain(CRYPT_PROVIDER_DATA* provider, DWORD signer,
                                                           BOOL counterSigner, DWORD counterSignerIndex) {
  Log(L"ProvSignerFromChain signer=" + Number(signer) + L" counterSigner=" + Number(counterSigner) + L"/" +
      Number(counterSignerIndex));
  return provider == &signerState.provider ? &signerState.signer : nullptr;
}

BOOL WINAPI CryptCATAdminCalcHashFromFileHandle(HANDLE file, DWORD* hashSize, BYTE* hash, DWORD flags) {
  Log(L"CalcHash size=" + Number(*hashSize) + L" flags=" + Number(flags));
  const DWORD needed = NumberSetting(settings::kHashSize, 20, 10);
  if (IsSet(settings::kHashFails) || *hashSize < needed) {
    *hashSize = needed;
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::vector<BYTE> bytes(needed, 0);
  DWORD read = 0;
  LARGE_INTEGER start{};
  ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
  ::ReadFile(file, bytes.data(), needed, &read, nullptr);
  std::copy(bytes.begin(), bytes.end(), hash);
  *hashSize = needed;
  return TRUE;
}

BOOL WINAPI CryptCATAdminAcquireContext(HCATADMIN* admin, const GUID* subsystem, DWORD flags) {
  Log(L"AcquireContext " + ActionName(subsystem) + L" flags=" + Number(flags));
  if (IsSet(settings::kAcquireFails)) return FALSE;
  *admin = &adminToken;
  return TRUE;
}

HCATINFO WINAPI CryptCATAdminEnumCatalogFromHash(HCATADMIN admin, BYTE* hash, DWORD hashSize, DWORD flags,
                                                 HCATINFO* previous) {
  Log(L"EnumCatalogFromHash admin=" + Ours(admin, &adminToken) + L" hash=" + Hex(hash, hashSize) + L" flags=" +
      Number(flags) + L" previous=" + Number(previous != nullptr));
  if (!IsSet(settings::kCatalog)) {
    ::SetLastError(ERROR_NOT_FOUND);
    return nullptr;
  }
  return &catalogToken;
}

BOOL WINAPI CryptCATCatalogInfoFromContext(HCATINFO catalog, CATALOG_INFO* info, DWORD flags) {
  Log(L"CatalogInfoFromContext catalog=" + Ours(catalog, &catalogToken) + L" cbStruct=" + Number(info->cbStruct) +
      L" flags=" + Number(flags));
  if (IsSet(settings::kCatalogInfoFails)) return FALSE;
  const size_t length = Setting(settings::kCatalog).copy(info->wszCatalogFile, MAX_PATH - 1);
  info->wszCatalogFile[length] = L'\0';
  return TRUE;
}

BOOL WINAPI CryptCATAdminReleaseCatalogContext(HCATADMIN admin, HCATINFO catalog, DWORD flags) {
  Log(L"ReleaseCatalogContext admin=" + Ours(admin, &adminToken) + L" catalog=" + Ours(catalog, &catalogToken) +
      L" flags=" + Number(flags));
  return TRUE;
}

BOOL WINAPI CryptCATAdminReleaseContext(HCATADMIN admin, DWORD flags) {
  Log(L"ReleaseContext admin=" + Ours(admin, &adminToken) + L" flags=" + Number(flags));
  return TRUE;
}

}  // extern "C"
