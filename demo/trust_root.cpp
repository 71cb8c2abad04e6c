// Adds a certificate to the current user's Root store, so that signatures
// chaining to it verify in this Wine prefix (Wine asks no question). Used by
// the demo layout and by the tests' signed files alike, so it builds without
// the tests.
// Usage: trust_root CERTIFICATE.der
// Exit code 0 when the certificate is in the store afterwards; adding one that
// is already there changes nothing.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/unique_handle.h"
#include "platform/win.h"

#include <wincrypt.h>

namespace {

struct CertStoreTraits {
  using Type = HCERTSTORE;
  static bool IsValid(HCERTSTORE store) { return store != nullptr; }
  static void Close(HCERTSTORE store) { ::CertCloseStore(store, 0); }
  static HCERTSTORE Invalid() { return nullptr; }
};

// Empty when the file cannot be read.
std::vector<uint8_t> ReadCertificate(const wchar_t* path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  if (!file) return {};
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fwprintf(stderr, L"usage: trust_root CERTIFICATE.der\n");
    return 2;
  }
  const std::vector<uint8_t> certificate = ReadCertificate(argv[1]);
  platform::UniqueHandle<CertStoreTraits> root(
      ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root"));
  if (certificate.empty() || !root ||
      !::CertAddEncodedCertificateToStore(root.Get(), X509_ASN_ENCODING, certificate.data(),
                                          static_cast<DWORD>(certificate.size()), CERT_STORE_ADD_USE_EXISTING,
                                          nullptr)) {
    std::fwprintf(stderr, L"trust_root: cannot add %ls (error %lu)\n", argv[1], ::GetLastError());
    return 1;
  }
  return 0;
}
