#include "signer/file_verdicts.h"

#include "signer/signature_checker.h"

using platform::SignatureVerdict;

FileVerdicts::FileVerdicts() = default;

FileVerdicts::~FileVerdicts() = default;

FileCheck FileVerdicts::Check(const std::wstring& path, HANDLE pinned) {
  FileCheck result;
  FileStamp stamp;
  const bool stamped = ReadFileStamp(pinned, stamp);
  if (stamped) result.verdict = cache_.Lookup(path, stamp, result.signer);
  if (platform::IsCacheableVerdict(result.verdict)) {
    result.fromCache = true;
    return result;
  }

  if (!TakeAhead(path, pinned, stamp, result)) {
    if (!checker_) checker_ = std::make_unique<SignatureChecker>();
    wchar_t name[kSignerNameCapacity] = {};
    result.verdict = checker_->Verify(path.c_str(), name, pinned);
    result.signer = name;
    result.trustResult = checker_->LastTrustResult();
  }
  if (stamped && result.verdict != SignatureVerdict::Unavailable) {
    cache_.Record(result.verdict, path, result.signer, stamp);
  }
  return result;
}

FileCheck FileVerdicts::CheckAfresh(const std::wstring& path, HANDLE pinned) {
  cache_.Forget(path);
  return Check(path, pinned);
}

std::vector<AheadCheck> FileVerdicts::Unanswered(const std::vector<HeldFile>& files) {
  std::vector<AheadCheck> unanswered;
  for (const HeldFile& file : files) {
    AheadCheck ahead{file.handle, file.path, {}, {}};
    std::wstring signer;
    if (!ReadFileStamp(file.handle, ahead.stamp) ||
        platform::IsCacheableVerdict(cache_.Lookup(file.path, ahead.stamp, signer))) {
      continue;
    }
    unanswered.push_back(std::move(ahead));
  }
  return unanswered;
}

void FileVerdicts::KeepAhead(std::vector<AheadCheck> checks) {
  for (AheadCheck& ahead : checks) ahead_.push_back(std::move(ahead));
}

bool FileVerdicts::TakeAhead(const std::wstring& path, HANDLE pinned, const FileStamp& stamp, FileCheck& result) {
  for (auto ahead = ahead_.begin(); ahead != ahead_.end(); ++ahead) {
    if (ahead->handle != pinned || ahead->path != path) continue;
    // A handle's stamp changes only when its own file does.
    const bool current = ahead->stamp == stamp;
    if (current) result = std::move(ahead->check);
    ahead_.erase(ahead);
    return current;
  }
  return false;
}

void FileVerdicts::Release() {
  ahead_.clear();
  cache_.Flush();
  cache_.Reset();
  checker_.reset();
}
