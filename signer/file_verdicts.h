// The verdicts on files held open: from the verification cache while a file
// is unchanged, else from a check made ahead for that very handle, else from
// the signature checker; every new verdict is recorded in the cache. Not
// synchronised: its owner's lock guards every call.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cache/file_stamp.h"
#include "cache/verification_cache.h"
#include "platform/signature_verdict.h"
#include "platform/win.h"

class SignatureChecker;

struct FileCheck {
  platform::SignatureVerdict verdict = platform::SignatureVerdict::Unavailable;
  std::wstring signer;
  bool fromCache = false;
  // What the trust provider answered, when it was asked.
  std::optional<LONG> trustResult;
};

// A file open in `handle`, known by `path`.
struct HeldFile {
  std::wstring path;
  HANDLE handle;
};

// A check made before its file's turn, for the handle it was made through.
struct AheadCheck {
  HANDLE handle;
  std::wstring path;
  FileStamp stamp;
  FileCheck check;
};

class FileVerdicts {
 public:
  FileVerdicts();
  ~FileVerdicts();
  FileVerdicts(const FileVerdicts&) = delete;
  FileVerdicts& operator=(const FileVerdicts&) = delete;

  // The verdict on the file open in `pinned`, known as `path`; looked up and
  // recorded with the stamp read through the handle, never with that of
  // whatever the name leads to by now.
  FileCheck Check(const std::wstring& path, HANDLE pinned);
  // Check, with the cached verdict forgotten first.
  FileCheck CheckAfresh(const std::wstring& path, HANDLE pinned);
  void Forget(const std::wstring& path) { cache_.Forget(path); }

  // The files among `files` that the cache cannot answer, stamped through
  // their handles, for checks to be made ahead.
  std::vector<AheadCheck> Unanswered(const std::vector<HeldFile>& files);
  // Keeps checks made ahead for the checks of the same handles that follow.
  void KeepAhead(std::vector<AheadCheck> checks);
  // Forgets the checks made ahead that no check has taken: their handles are
  // closed once the load that asked for them has ended, and a handle value is
  // soon another file's.
  void DropAhead() { ahead_.clear(); }

  // Switches the cache to the file at `path`.
  void SetCacheFile(const wchar_t* path) { cache_.SetFile(path); }
  // Writes the cache back and resets it, and drops the checker and the
  // checks made ahead.
  void Release();

 private:
  // Moves into `result` the check made ahead for this handle and path, if
  // the file's stamp is still the one it was made with.
  bool TakeAhead(const std::wstring& path, HANDLE pinned, const FileStamp& stamp, FileCheck& result);

  std::unique_ptr<SignatureChecker> checker_;
  std::vector<AheadCheck> ahead_;
  VerificationCache cache_;
};
