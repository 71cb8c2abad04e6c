// Reads a file once, in 64 KiB chunks, and feeds every chunk to a list of
// digest calculators.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hash/qm_hash_calc.h"

namespace QM {

class QMFileHashObserver {
 public:
  // Bytes hashed so far divided by the file size.
  virtual void OnProgress(double fraction) = 0;
  // `message` is the system's error text when the file could not be opened
  // or read, empty otherwise.
  virtual void OnFinished(bool success, std::wstring message) = 0;

 protected:
  ~QMFileHashObserver() = default;
};

class QMFileHash {
 public:
  QMFileHash(const QMFileHash&) = delete;
  QMFileHash& operator=(const QMFileHash&) = delete;

  // Hashes the whole file. False when it cannot be opened, is empty, cannot
  // be read to its end, or a stop was requested meanwhile; the calculators'
  // digests are then not to be used.
  bool CalcFile(const std::wstring& path);

  // Not owned; may be null.
  void SetObserver(QMFileHashObserver* observer) { observer_ = observer; }

  // Makes a running CalcFile give up before hashing its next chunk (e.g. from
  // an observer's OnProgress).
  void RequestStop() { stopRequested_ = true; }

  virtual void Init() = 0;
  virtual void Update(const uint8_t* data, uint32_t length) = 0;
  virtual void Final() = 0;

 protected:
  QMFileHash() = default;
  virtual ~QMFileHash() { stopRequested_ = true; }

 private:
  void NotifyFinished(bool success, std::wstring message);

  QMFileHashObserver* observer_ = nullptr;
  std::atomic<bool> stopRequested_ = false;
};

class QMFileHashCalc : public QMFileHash {
 public:
  void Init() override;
  void Update(const uint8_t* data, uint32_t length) override;
  void Final() override;

  const std::vector<std::shared_ptr<QMHashCalc>>& Calculators() const { return calculators_; }

 protected:
  std::vector<std::shared_ptr<QMHashCalc>> calculators_;
};

// Holds exactly one MD5 calculator.
class QMMD5 : public QMFileHashCalc {
 public:
  QMMD5();
};

}  // namespace QM
