#include "host/upgrade_handover.h"

#include <atomic>

#include "ini_and_log/profile_file.h"
#include "locations/plain_folder_name.h"
#include "locations/product_layout.h"
#include "locations/product_paths.h"
#include "locations/product_user.h"
#include "platform/enum_names.h"
#include "platform/file_system.h"
#include "platform/unique_handle.h"

namespace {

using namespace product_layout;
using Outcome = UpgradeHandover::Outcome;

constexpr wchar_t kMarkerMutexName[] = L"QMImage_Update_Config_Ini";

// Its mere existence marks a running launcher of the family: it is never
// waited on, and it lives until the process exits.
struct UpgradeMarker {
  UpgradeMarker() : handle(::CreateMutexW(nullptr, FALSE, kMarkerMutexName)) {
    existedBefore = handle && ::GetLastError() == ERROR_ALREADY_EXISTS;
  }
  platform::UniqueKernelHandle handle;
  bool existedBefore = false;
};

const UpgradeMarker& Marker() {
  static const UpgradeMarker marker;
  return marker;
}

// What a launcher's marker would find now, without making one: a marker that
// this process could not have opened is one its CreateMutexW would not have
// got either, and then the hand-over goes ahead. The handle is closed at
// once, so a launcher starting meanwhile is put off for no longer than that.
bool MarkerExistsNow() {
  return platform::UniqueKernelHandle(::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, kMarkerMutexName)).IsValid();
}

// "config.ini" is an ANSI profile file: a character outside printable ASCII
// may come back from it as another one, and then the version it names is
// one that was never installed, at every launch from then on.
bool IsPrintableAscii(const std::wstring& text) {
  for (wchar_t c : text) {
    if (c < L' ' || c > L'~') return false;
  }
  return true;
}

// Opened through a handle that follows no link, and read and written only
// through it, at any path length: a link is never read or written through,
// and without delete sharing nobody can put one in its place meanwhile. Those
// who only read or write it, as the system's profile functions do, are let be.
platform::UniqueFileHandle OpenPlainFile(const std::wstring& path, DWORD access, DWORD disposition) {
  return FileSystem::OpenFileRefusingLinks(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, disposition, 0);
}

bool IsLinkRefusal() { return ::GetLastError() == FileSystem::kLinkRefusedError; }

// The two changes the hand-over makes, made or only tried.
struct HandoverChanges {
  bool (*removeSideFile)(const std::wstring& sidePath);
  Outcome (*writeVersion)(const std::wstring& configPath, const std::wstring& version);
};

Outcome WriteVersion(const std::wstring& configPath, const std::wstring& version) {
  const platform::UniqueFileHandle config = OpenPlainFile(configPath, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
  if (!config) return IsLinkRefusal() ? Outcome::ConfigIsLink : Outcome::ConfigNotWritten;
  return WriteProfileValue(config.Get(), kUpgradeSection, kVersionKey, version) ? Outcome::HandedOver
                                                                                  : Outcome::ConfigNotWritten;
}

// Opened as FileSystem::RemoveFile opens it to delete it: whoever holds the
// file without delete sharing, or a file that may not be deleted, stops
// both.
bool CouldRemove(const std::wstring& sidePath) {
  return FileSystem::OpenFileRefusingLinks(sidePath, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, 0)
      .IsValid();
}

// A missing "config.ini" would be made in the folder where "temp.ini" was.
Outcome CouldWriteVersion(const std::wstring& configPath, const std::wstring&) {
  if (OpenPlainFile(configPath, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING)) {
    return Outcome::HandedOver;
  }
  if (IsLinkRefusal()) return Outcome::ConfigIsLink;
  return ::GetLastError() == ERROR_FILE_NOT_FOUND ? Outcome::HandedOver : Outcome::ConfigNotWritten;
}

constexpr HandoverChanges kMade{&FileSystem::RemoveFile, &WriteVersion};
constexpr HandoverChanges kTried{&CouldRemove, &CouldWriteVersion};

// What becomes of the version read into `pending`: HandedOver when it is to
// be taken; EmptyVersion or UnusableVersion when it is to be dropped; else
// why it stays pending (with `pending.reason` when it would not start).
Outcome JudgePendingVersion(const std::wstring& appModuleFileName, const std::wstring& applicationRoot,
                            const VersionCheck& wouldStart, UpgradeHandover& pending) {
  const std::wstring& version = pending.version;
  if (version.empty()) return Outcome::EmptyVersion;
  // The version becomes a folder name under the application root, from which
  // code is loaded: anything that could leave that root is dropped.
  if (!IsPrintableAscii(version) || !IsPlainFolderName(version)) return Outcome::UnusableVersion;
  // The rest may be an upgrade still being copied, which a later launch
  // takes; taken now, it would stop every launch from then on.
  const std::wstring folder = applicationRoot + version + L"\\";
  if (!FileSystem::IsDirectory(folder)) return Outcome::VersionFolderMissing;
  if (!FileSystem::IsFile(folder + appModuleFileName)) return Outcome::ModuleMissing;
  pending.reason = wouldStart(folder);
  return pending.reason.empty() ? Outcome::HandedOver : Outcome::VersionWouldNotStart;
}

UpgradeHandover HandOverPendingVersion(const std::wstring& appModuleFileName, const std::wstring& dataRoot,
                                       const VersionCheck& wouldStart, const HandoverChanges& changes) {
  UpgradeHandover result;
  // One data root for the whole hand-over: the side file, the version folder
  // and "config.ini" must all be the same user's. Without one the paths
  // would be relative to the current folder, whose files nobody vouches for.
  if (dataRoot.empty()) {
    result.outcome = Outcome::NoDataRoot;
    return result;
  }
  const std::wstring dataDirectory = ProductPaths::ProductDataDirectory(dataRoot);
  const std::wstring sidePath = dataDirectory + kPendingUpgradeFile;
  if (!FileSystem::IsFile(sidePath)) {
    result.outcome = Outcome::NoSideFile;
    return result;
  }
  {
    const platform::UniqueFileHandle side = OpenPlainFile(sidePath, GENERIC_READ, OPEN_EXISTING);
    if (!side) {
      result.outcome = IsLinkRefusal() ? Outcome::SideFileIsLink : Outcome::SideFileUnreadable;
      return result;
    }
    ReadProfileString(side.Get(), kUpgradeSection, kVersionKey, result.version);
  }
  // As long a version as the system's reader gave with the launchers' buffer.
  if (result.version.size() >= kVersionUnits) result.version.resize(kVersionUnits - 1);
  result.outcome = JudgePendingVersion(appModuleFileName, ProductPaths::ApplicationRoot(dataRoot), wouldStart, result);
  const bool take = result.outcome == Outcome::HandedOver;
  const bool drop = result.outcome == Outcome::EmptyVersion || result.outcome == Outcome::UnusableVersion;
  if (!take && !drop) return result;
  // Consumed exactly once: a side file that stays would be handed over again
  // at every launch, so "config.ini" waits for a launch that can delete it.
  if (!changes.removeSideFile(sidePath)) {
    result.outcome = Outcome::SideFileNotDeleted;
  } else if (take) {
    result.outcome = changes.writeVersion(dataDirectory + kConfigFile, result.version);
  }
  return result;
}

// Each outcome's words and its key in the tool's JSON, in the enum's order.
constexpr platform::EnumNames<Outcome> kOutcomeNames[] = {
    {Outcome::HandedOver, L"handed over", L"handedOver"},
    {Outcome::AlreadyRan, L"already ran in this process", L"alreadyRan"},
    {Outcome::AnotherLauncherRuns, L"another launcher of the family runs", L"anotherLauncherRuns"},
    {Outcome::NoDataRoot, L"no roaming application-data folder to look in", L"noDataRoot"},
    {Outcome::NoSideFile, L"nothing pending (no temp.ini)", L"noSideFile"},
    {Outcome::SideFileIsLink, L"temp.ini is a link, left alone", L"sideFileIsLink"},
    {Outcome::SideFileUnreadable, L"temp.ini cannot be opened", L"sideFileUnreadable"},
    {Outcome::SideFileNotDeleted, L"temp.ini cannot be deleted, so config.ini waits for a launch that can",
     L"sideFileNotDeleted"},
    {Outcome::EmptyVersion, L"temp.ini names no version", L"emptyVersion"},
    {Outcome::UnusableVersion, L"the version is not a printable ASCII plain folder name", L"unusableVersion"},
    {Outcome::VersionFolderMissing, L"the version's folder does not exist", L"versionFolderMissing"},
    {Outcome::ModuleMissing, L"the version's folder lacks the application module", L"moduleMissing"},
    {Outcome::VersionWouldNotStart, L"the version would not start", L"versionWouldNotStart"},
    {Outcome::ConfigIsLink, L"config.ini is a link, left alone", L"configIsLink"},
    {Outcome::ConfigNotWritten, L"config.ini cannot be written", L"configNotWritten"},
};

static_assert(platform::ListsEveryValueInOrder(kOutcomeNames, Outcome::ConfigNotWritten),
              "one row per outcome, in the enum's order");

}  // namespace

UpgradeHandover RunUpgradeHandover(const std::wstring& appModuleFileName, const VersionCheck& wouldStart) {
  UpgradeHandover result;
  // Every later Load of the process finds the hand-over done.
  static std::atomic<bool> ran{false};
  if (ran.exchange(true)) {
    result.outcome = Outcome::AlreadyRan;
    return result;
  }
  const UpgradeMarker& marker = Marker();
  if (marker.handle && marker.existedBefore) {
    result.outcome = Outcome::AnotherLauncherRuns;
    return result;
  }
  const bool asUser = RunAsProductUser([&] {
    result = HandOverPendingVersion(appModuleFileName, ProductPaths::DataRoot(), wouldStart, kMade);
  });
  if (!asUser) result.outcome = Outcome::NoDataRoot;
  return result;
}

UpgradeHandover PreviewUpgradeHandover(const std::wstring& appModuleFileName, const std::wstring& dataRoot,
                                       const VersionCheck& wouldStart) {
  if (MarkerExistsNow()) return {Outcome::AnotherLauncherRuns, {}, {}};
  return HandOverPendingVersion(appModuleFileName, dataRoot, wouldStart, kTried);
}

const wchar_t* UpgradeHandoverText(Outcome outcome) { return platform::NamesOf(kOutcomeNames, outcome).text; }

const wchar_t* UpgradeHandoverKey(Outcome outcome) { return platform::NamesOf(kOutcomeNames, outcome).key; }

std::wstring SkippedHandoverText(const UpgradeHandover& handover) {
  switch (handover.outcome) {
    case Outcome::HandedOver:
    case Outcome::AlreadyRan:
    case Outcome::NoSideFile: return {};
    default: break;
  }
  std::wstring text = std::wstring(L"not done: ") + UpgradeHandoverText(handover.outcome);
  // The trace quotes its fields: a version that could break the line out of
  // its quotes is left out.
  if (!handover.version.empty() && IsPrintableAscii(handover.version) &&
      handover.version.find(L'"') == std::wstring::npos) {
    text += L" (version " + handover.version + L")";
  }
  if (!handover.reason.empty()) text += L": " + handover.reason;
  return text;
}

bool PassedOverPendingVersion(const UpgradeHandover& handover) {
  switch (handover.outcome) {
    case Outcome::HandedOver:
    case Outcome::AlreadyRan:
    case Outcome::AnotherLauncherRuns:
    case Outcome::NoDataRoot:
    case Outcome::NoSideFile: return false;
    default: break;
  }
  return true;
}
