#include "hash/qm_file_hash.h"

#include <utility>

#include "hash/qm_hash_calc_md5.h"
#include "platform/error_text.h"
#include "platform/file_system.h"

namespace QM {
namespace {

constexpr DWORD kChunkSize = 64 * 1024;

}  // namespace

void QMFileHash::NotifyFinished(bool success, std::wstring message) {
  if (observer_ != nullptr) observer_->OnFinished(success, std::move(message));
}

bool QMFileHash::CalcFile(const std::wstring& path) {
  stopRequested_ = false;
  Init();

  platform::UniqueFileHandle file = FileSystem::OpenForRead(path);
  if (!file) {
    NotifyFinished(false, platform::GetLastErrorText());
    return false;
  }

  DWORD sizeHigh = 0;
  ::SetLastError(0);
  const DWORD sizeLow = ::GetFileSize(file.Get(), &sizeHigh);
  const uint64_t size = uint64_t{sizeHigh} << 32 | sizeLow;
  if ((sizeLow == INVALID_FILE_SIZE && ::GetLastError() != 0) || size == 0) {
    NotifyFinished(false, std::wstring());
    return false;
  }

  // The size only drives the progress fraction; reading goes on to the real
  // end of the file whatever it said.
  std::vector<uint8_t> buffer(kChunkSize);
  uint64_t total = 0;
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.Get(), buffer.data(), kChunkSize, &read, nullptr)) {
      // A digest of part of the file would pass for the file's own.
      NotifyFinished(false, platform::GetLastErrorText());
      return false;
    }
    if (stopRequested_) {
      NotifyFinished(false, std::wstring());
      return false;
    }
    if (read == 0) break;
    Update(buffer.data(), read);
    total += read;
    if (observer_ != nullptr) observer_->OnProgress(static_cast<double>(total) / static_cast<double>(size));
  }
  file.Reset();
  Final();
  NotifyFinished(true, std::wstring());
  return true;
}

void QMFileHashCalc::Init() {
  for (const auto& calculator : calculators_) calculator->Init();
}

void QMFileHashCalc::Update(const uint8_t* data, uint32_t length) {
  for (const auto& calculator : calculators_) calculator->Update(data, length);
}

void QMFileHashCalc::Final() {
  for (const auto& calculator : calculators_) calculator->Final();
}

QMMD5::QMMD5() { calculators_.push_back(std::make_shared<QMHashCalcMD5>()); }

}  // namespace QM
