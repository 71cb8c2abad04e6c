// MD5 over OpenSSL's libcrypto.
#pragma once

#include <memory>

#include "hash/qm_hash_calc.h"

namespace QM {

class QMHashCalcMD5 : public QMHashCalc {
 public:
  static constexpr uint32_t kDigestSize = 16;

  QMHashCalcMD5();
  ~QMHashCalcMD5() override;

  int Init() override;
  void Update(const uint8_t* data, uint32_t length) override;
  int Final() override;
  // Digest of the last Final, 32 zero digits before the first one.
  std::wstring GetHexDigest() override;
  bool GetDigest(uint8_t* buffer, uint32_t size) override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The 16 bytes as 32 upper-case hexadecimal digits.
std::wstring FormatDigestHex(const uint8_t (&digest)[QMHashCalcMD5::kDigestSize]);

}  // namespace QM
