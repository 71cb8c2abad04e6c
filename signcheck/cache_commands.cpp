#include "signcheck/cache_commands.h"

#include <algorithm>

#include "cache/cache_file.h"
#include "cache/cache_file_lock.h"
#include "locations/product_paths.h"
#include "platform/ascii_fold.h"
#include "platform/error_text.h"
#include "platform/file_system.h"
#include "platform/path_text.h"
#include "signcheck/cache_file_report.h"
#include "signcheck/cache_record_state.h"
#include "signcheck/check_report.h"
#include "signcheck/exit_status.h"
#include "signcheck/json_writer.h"
#include "signcheck/text_table.h"
#include "signcheck/verdict_text.h"

namespace {

// The file named on the command line, else the launchers' one. False (after
// telling why) when there is none: without the product folder the launchers
// keep no cache.
bool ChooseCacheFile(const CommandLine& command, ConsoleWriter& err, std::wstring& file) {
  file = command.cacheFile;
  if (file.empty()) file = ProductPaths::SignerCacheLocation();
  if (file.empty()) {
    err.WriteLine(L"VaroSignCheck: the product folder does not exist, so the launchers keep no cache file");
    return false;
  }
  std::wstring full;
  size_t filePart = 0;
  if (PathText::FullPath(file, full, filePart)) file = full;
  return true;
}

int StatusExitCode(CacheFileStatus status) {
  switch (status) {
    case CacheFileStatus::Readable: return exit_status::kOk;
    case CacheFileStatus::Absent: return exit_status::kAbsent;
    case CacheFileStatus::Corrupt:
    case CacheFileStatus::Unusable: return exit_status::kFailed;
  }
  return exit_status::kFailed;
}

void WriteJsonReport(const std::wstring& file, const CacheFileReport& report, ConsoleWriter& out) {
  JsonWriter json;
  json.BeginObject();
  json.StringMember(L"cacheFile", file);
  json.StringMember(L"status", CacheFileStatusName(report.status));
  NullableString(json, L"reason", report.reason);
  json.Key(L"records");
  json.BeginArray();
  for (const CacheEntry& entry : report.entries) {
    json.BeginObject();
    json.StringMember(L"path", entry.path);
    json.StringMember(L"signer", entry.signer);
    json.StringMember(L"verdict", VerdictText(entry.verdict));
    json.NumberMember(L"size", static_cast<int64_t>(entry.size));
    json.StringMember(L"lastWriteTime", IsoUtcTime(entry.lastWriteTime));
    json.StringMember(L"creationTime", IsoUtcTime(entry.creationTime));
    json.StringMember(L"digest", entry.digest);
    json.StringMember(L"state", RecordStateName(CurrentState(entry)));
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
  out.Write(json.Text());
}

void WriteTextReport(const std::wstring& file, const CacheFileReport& report, ConsoleWriter& out) {
  out.WriteLine(L"cache file: " + file);
  if (report.status != CacheFileStatus::Readable) return;
  out.WriteLine(std::to_wstring(report.entries.size()) + (report.entries.size() == 1 ? L" record" : L" records"));
  if (report.entries.empty()) return;
  TextTable table({L"STATE", L"VERDICT", L"SIGNER", L"SIZE", L"LAST WRITE (UTC)", L"CREATED (UTC)", L"DIGEST",
                   L"PATH"});
  for (const CacheEntry& entry : report.entries) {
    table.AddRow({RecordStateName(CurrentState(entry)), VerdictText(entry.verdict), OrDash(entry.signer),
                  std::to_wstring(entry.size), OrDash(IsoUtcTime(entry.lastWriteTime)),
                  OrDash(IsoUtcTime(entry.creationTime)), OrDash(entry.digest), entry.path});
  }
  out.Write(table.Render());
}

// Read as a launcher reads: not in the middle of another process's write.
CacheFileReport InspectUnderLock(const std::wstring& file) {
  const CacheFileLock lock(file);
  return InspectCacheFile(file);
}

// Why the change of the cache file just failed.
std::wstring ChangeFailure() {
  if (::GetLastError() == FileSystem::kLinkRefusedError) {
    return L"it is a link, and neither a link nor what it leads to is ever changed";
  }
  return platform::GetLastErrorText();
}

// Holds the cache lock for a change. Launchers go on unlocked after waiting
// in vain; a change made that way could be lost in a launcher's concurrent
// write-back, so the tool gives up instead.
bool LockForChange(const CacheFileLock& lock, ConsoleWriter& err) {
  if (lock.Held()) return true;
  err.WriteLine(L"VaroSignCheck: another process holds the cache lock; nothing was changed");
  return false;
}

}  // namespace

int RunCacheShow(const CommandLine& command, ConsoleWriter& out, ConsoleWriter& err) {
  std::wstring file;
  if (!ChooseCacheFile(command, err, file)) return exit_status::kAbsent;
  const CacheFileReport report = InspectUnderLock(file);
  if (command.json) {
    WriteJsonReport(file, report, out);
  } else {
    WriteTextReport(file, report, out);
  }
  if (report.status != CacheFileStatus::Readable) err.WriteLine(L"VaroSignCheck: " + report.reason);
  return StatusExitCode(report.status);
}

int RunCacheCheck(const CommandLine& command, ConsoleWriter& out, ConsoleWriter& err) {
  std::wstring file;
  if (!ChooseCacheFile(command, err, file)) return exit_status::kAbsent;
  const CacheFileReport report = InspectUnderLock(file);
  if (report.status == CacheFileStatus::Readable) {
    out.WriteLine(file + L": readable, " + std::to_wstring(report.entries.size()) +
                  (report.entries.size() == 1 ? L" record" : L" records"));
  } else {
    out.WriteLine(file + L": " + CacheFileStatusName(report.status) + L": " + report.reason);
  }
  return StatusExitCode(report.status);
}

int RunCacheForget(const CommandLine& command, ConsoleWriter& out, ConsoleWriter& err) {
  std::wstring file;
  if (!ChooseCacheFile(command, err, file)) return exit_status::kOk;
  std::wstring target = command.path;
  size_t filePart = 0;
  PathText::FullPath(command.path, target, filePart);
  const std::wstring foldedTarget = platform::FoldAscii(target);
  const std::wstring foldedGiven = platform::FoldAscii(command.path);

  const CacheFileLock lock(file);
  if (!LockForChange(lock, err)) return exit_status::kFailed;
  CacheFileReport report = InspectCacheFile(file);
  if (report.status == CacheFileStatus::Absent) {
    out.WriteLine(L"there is no cache file, so nothing is cached for " + target);
    return exit_status::kOk;
  }
  if (report.status != CacheFileStatus::Readable) {
    err.WriteLine(L"VaroSignCheck: " + report.reason + L"; nothing was changed (cache clear removes the file)");
    return exit_status::kFailed;
  }
  std::vector<CacheEntry>& entries = report.entries;
  const size_t before = entries.size();
  std::erase_if(entries, [&](const CacheEntry& entry) {
    const std::wstring folded = platform::FoldAscii(entry.path);
    return folded == foldedTarget || folded == foldedGiven;
  });
  const size_t removed = before - entries.size();
  if (removed == 0) {
    out.WriteLine(L"nothing is cached for " + target);
    return exit_status::kOk;
  }
  // WriteCacheFile refuses an empty list: with nothing left, the file goes.
  const bool written = entries.empty() ? FileSystem::RemoveFile(file) : WriteCacheFile(file, entries);
  if (!written) {
    err.WriteLine(L"VaroSignCheck: cannot write " + file + L": " + ChangeFailure());
    return exit_status::kFailed;
  }
  out.WriteLine(L"forgot " + std::to_wstring(removed) + (removed == 1 ? L" record" : L" records") + L" for " +
                target);
  return exit_status::kOk;
}

int RunCacheClear(const CommandLine& command, ConsoleWriter& out, ConsoleWriter& err) {
  std::wstring file;
  if (!ChooseCacheFile(command, err, file)) return exit_status::kOk;
  const CacheFileLock lock(file);
  if (!LockForChange(lock, err)) return exit_status::kFailed;
  if (!FileSystem::Exists(file)) {
    out.WriteLine(L"there is no cache file at " + file);
    return exit_status::kOk;
  }
  if (!FileSystem::RemoveFile(file)) {
    err.WriteLine(L"VaroSignCheck: cannot delete " + file + L": " + ChangeFailure());
    return exit_status::kFailed;
  }
  out.WriteLine(L"cleared: deleted " + file);
  return exit_status::kOk;
}
