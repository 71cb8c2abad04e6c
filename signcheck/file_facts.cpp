#include "signcheck/file_facts.h"

#include <array>
#include <vector>

#include "platform/file_system.h"
#include "platform/get_proc.h"
#include "platform/system_library_cache.h"
#include "platform/win.h"
#include "signer/certificate_facts.h"

// Not every SDK's <windows.h> brings it in under WIN32_LEAN_AND_MEAN.
#include <winver.h>

// The low-level digest functions, which OpenSSL 3 marks deprecated: EVP
// goes through the provider machinery, which imports system libraries the
// tool must not link.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

namespace {

constexpr DWORD kChunkSize = 64 * 1024;

bool ReadDigest(const std::wstring& path, FileFacts& facts) {
  const platform::UniqueFileHandle file = FileSystem::OpenForRead(path);
  if (!file) return false;
  SHA256_CTX context{};
  SHA256_Init(&context);
  std::vector<BYTE> chunk(kChunkSize);
  uint64_t size = 0;
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.Get(), chunk.data(), kChunkSize, &read, nullptr)) return false;
    if (read == 0) break;
    SHA256_Update(&context, chunk.data(), read);
    size += read;
  }
  std::array<BYTE, SHA256_DIGEST_LENGTH> digest{};
  SHA256_Final(digest.data(), &context);
  facts.size = size;
  facts.sha256 = HexText(digest.data(), digest.size());
  return true;
}

// version.dll is not among the libraries the tool links.
std::wstring ReadVersion(const std::wstring& path) {
  const HMODULE version = platform::SystemLibraryCache::Instance().GetLibrary(L"version.dll");
  const auto infoSize = platform::GetProc<decltype(&::GetFileVersionInfoSizeW)>(version, "GetFileVersionInfoSizeW");
  const auto info = platform::GetProc<decltype(&::GetFileVersionInfoW)>(version, "GetFileVersionInfoW");
  const auto query = platform::GetProc<decltype(&::VerQueryValueW)>(version, "VerQueryValueW");
  if (infoSize == nullptr || info == nullptr || query == nullptr) return {};
  DWORD ignored = 0;
  const DWORD size = infoSize(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<BYTE> block(size);
  if (!info(path.c_str(), 0, size, block.data())) return {};
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  if (!query(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) || fixed == nullptr ||
      fixedSize < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != VS_FFI_SIGNATURE) {
    return {};
  }
  const auto part = [](DWORD half, bool high) { return std::to_wstring(high ? HIWORD(half) : LOWORD(half)); };
  return part(fixed->dwFileVersionMS, true) + L"." + part(fixed->dwFileVersionMS, false) + L"." +
         part(fixed->dwFileVersionLS, true) + L"." + part(fixed->dwFileVersionLS, false);
}

}  // namespace

FileFacts ReadFileFacts(const std::wstring& path) {
  FileFacts facts;
  facts.read = ReadDigest(path, facts);
  facts.version = ReadVersion(path);
  return facts;
}
