// A second launcher-like process for the cache tests:
//   cache_peer hold-mutex CACHEFILE READYFILE MILLISECONDS [abandon]
//       owns the cache file's lock, says so by creating READYFILE, sleeps, and
//       exits (releasing the lock unless told to abandon it).
//   cache_peer hold-file FILE READYFILE MILLISECONDS
//       keeps FILE open without sharing.
//   cache_peer record CACHEFILE PREFIX COUNT SHAREDPATH STARTEVENT [REPORTFILE]
//       waits for the named event, looks a path up (which reads the file, as
//       in a launcher), records COUNT paths PREFIX0.. and SHAREDPATH as Valid,
//       and flushes; writes the milliseconds that took into REPORTFILE.
#include <cwchar>
#include <string>

#include "cache/cache_file_lock.h"
#include "cache/verification_cache.h"
#include "platform/file_system.h"
#include "platform/unique_handle.h"

namespace {

void Touch(const std::wstring& path) {
  platform::UniqueFileHandle file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

int HoldMutex(const std::wstring& cacheFile, const std::wstring& ready, DWORD milliseconds, bool abandon) {
  platform::NamedMutex mutex;
  if (!mutex.Create(CacheMutexName(cacheFile))) return 2;
  platform::NamedMutexLock lock(mutex);
  if (!lock.Acquire(INFINITE)) return 3;
  Touch(ready);
  ::Sleep(milliseconds);
  // Ending without ReleaseMutex leaves the mutex abandoned.
  if (abandon) ::ExitProcess(0);
  return 0;
}

int HoldFile(const std::wstring& path, const std::wstring& ready, DWORD milliseconds) {
  platform::UniqueFileHandle file(
      ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 2;
  Touch(ready);
  ::Sleep(milliseconds);
  return 0;
}

int RecordMany(const std::wstring& cacheFile, const std::wstring& prefix, int count, const std::wstring& shared,
               const std::wstring& startEvent, const std::wstring& report) {
  platform::UniqueKernelHandle start(::OpenEventW(SYNCHRONIZE, FALSE, startEvent.c_str()));
  if (!start || ::WaitForSingleObject(start.Get(), 20000) != WAIT_OBJECT_0) return 2;
  const ULONGLONG begin = ::GetTickCount64();
  {
    VerificationCache cache;
    cache.SetFile(cacheFile);
    std::wstring signer;
    cache.Lookup(prefix + L"0", signer);
    for (int i = 0; i < count; ++i) {
      cache.Record(platform::SignatureVerdict::Valid, prefix + std::to_wstring(i), L"Peer");
    }
    cache.Record(platform::SignatureVerdict::Valid, shared, prefix);
    cache.Flush();
  }  // destruction writes back what the flush could not
  const std::string took = std::to_string(::GetTickCount64() - begin);
  if (report.empty()) return 0;
  platform::UniqueFileHandle file(
      ::CreateFileW(report.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file || !::WriteFile(file.Get(), took.data(), static_cast<DWORD>(took.size()), &written, nullptr)) return 4;
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"hold-mutex" && argc >= 5) {
    return HoldMutex(argv[2], argv[3], std::wcstoul(argv[4], nullptr, 10), argc > 5);
  }
  if (mode == L"hold-file" && argc == 5) return HoldFile(argv[2], argv[3], std::wcstoul(argv[4], nullptr, 10));
  if (mode == L"record" && (argc == 7 || argc == 8)) {
    return RecordMany(argv[2], argv[3], std::stoi(argv[4]), argv[5], argv[6], argc == 8 ? argv[7] : L"");
  }
  return 1;
}
