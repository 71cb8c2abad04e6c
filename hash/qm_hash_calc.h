// A digest calculator fed by QMFileHash.
#pragma once

#include <cstdint>
#include <string>

namespace QM {

class QMHashCalc {
 public:
  virtual int Init() = 0;
  virtual void Update(const uint8_t* data, uint32_t length) = 0;
  // Completes the digest and keeps it in the calculator.
  virtual int Final() = 0;
  virtual std::wstring GetHexDigest() = 0;
  // Copies the raw digest; false when `buffer` is null or too small.
  virtual bool GetDigest(uint8_t* buffer, uint32_t size) = 0;
  virtual ~QMHashCalc() = default;
};

}  // namespace QM
