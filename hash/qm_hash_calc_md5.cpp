#include "hash/qm_hash_calc_md5.h"

#include <algorithm>
#include <cwchar>

// The one-shot MD5_* functions are all this needs; OpenSSL 3 marks them
// deprecated in favour of EVP, which would drag in its provider machinery.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>

namespace QM {

struct QMHashCalcMD5::State {
  std::unique_ptr<MD5_CTX> context = std::make_unique<MD5_CTX>();  // value-initialised: zero-filled
  uint8_t digest[kDigestSize] = {};
};

QMHashCalcMD5::QMHashCalcMD5() : state_(std::make_unique<State>()) {}

QMHashCalcMD5::~QMHashCalcMD5() = default;

int QMHashCalcMD5::Init() {
  MD5_Init(state_->context.get());
  return 1;
}

void QMHashCalcMD5::Update(const uint8_t* data, uint32_t length) {
  if (data == nullptr || length == 0) return;
  MD5_Update(state_->context.get(), data, length);
}

int QMHashCalcMD5::Final() {
  MD5_Final(state_->digest, state_->context.get());
  return 1;
}

std::wstring QMHashCalcMD5::GetHexDigest() { return FormatDigestHex(state_->digest); }

bool QMHashCalcMD5::GetDigest(uint8_t* buffer, uint32_t size) {
  if (buffer == nullptr || size < kDigestSize) return false;
  std::copy(std::begin(state_->digest), std::end(state_->digest), buffer);
  return true;
}

std::wstring FormatDigestHex(const uint8_t (&digest)[QMHashCalcMD5::kDigestSize]) {
  wchar_t text[2 * QMHashCalcMD5::kDigestSize + 2] = {};
  for (uint32_t i = 0; i < QMHashCalcMD5::kDigestSize; ++i) {
    std::swprintf(text + 2 * i, 3, L"%02X", static_cast<unsigned>(digest[i]));
  }
  return text;
}

}  // namespace QM
