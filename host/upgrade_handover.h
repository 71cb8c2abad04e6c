// Moves a pending application version from "temp.ini" into "config.ini" at
// the start of a launch, unless another launcher of the family is running;
// and says what it did, or would do now, and why.
#pragma once

#include <functional>
#include <string>

struct UpgradeHandover {
  enum class Outcome {
    HandedOver,            // "config.ini" names `version` now (a preview: would)
    AlreadyRan,            // this process ran the hand-over before: nothing looked at
    AnotherLauncherRuns,   // the family's marker exists: nothing looked at
    NoDataRoot,            // no user's roaming folder (or no user to act for)
    NoSideFile,            // no "temp.ini": nothing pending
    SideFileIsLink,        // "temp.ini" is a link: left alone, and what it leads to
    SideFileUnreadable,    // "temp.ini" cannot be opened (held by another process, no rights)
    SideFileNotDeleted,    // "temp.ini" stays, so "config.ini" waits for a launch that can delete it
    EmptyVersion,          // "temp.ini" names no version
    UnusableVersion,       // not a printable ASCII plain folder name
    VersionFolderMissing,  // no folder of that name under the application root: kept pending
    ModuleMissing,         // the version's folder lacks the launcher's application module: kept pending
    VersionWouldNotStart,  // the version's files would not start (see `reason`): kept pending
    ConfigIsLink,          // "config.ini" is a link: left alone, and what it leads to
    ConfigNotWritten,      // "config.ini" cannot be written
  };
  Outcome outcome = Outcome::NoSideFile;
  // As read from "temp.ini"; empty when it was not read.
  std::wstring version;
  // VersionWouldNotStart: why, in a few words naming the file.
  std::wstring reason;
};

// Why the version whose folder is `folder` (ending with a separator) would
// not start, in a few words naming the file; empty when it would.
using VersionCheck = std::function<std::wstring(const std::wstring& folder)>;

// Runs once per process; later calls do nothing (AlreadyRan). "config.ini"
// changes only after the side file is gone, and only to a printable ASCII
// plain folder name of a folder under the application root that holds the
// launcher's application module (`appModuleFileName`) and that would start
// (`wouldStart` finds nothing against it). A version that names no such
// folder yet, or would not start, stays pending, so that an upgrade still
// being copied is taken by a later launch rather than lost; an empty version
// or one that could lead out of the application root is consumed. A side
// file or "config.ini" that is a link is left alone, and what it leads to
// too: nothing is handed over. Under the system account all of it is done as
// the interactive user, or not at all. Never fails the launch.
UpgradeHandover RunUpgradeHandover(const std::wstring& appModuleFileName, const VersionCheck& wouldStart);

// What RunUpgradeHandover would do now, in a process that has not run it, for
// the user whose roaming folder is `dataRoot`: decided by the same steps,
// with each change only tried for whether it could be made. Changes nothing:
// the family's marker is looked for, not created, and no file is deleted,
// created or written.
UpgradeHandover PreviewUpgradeHandover(const std::wstring& appModuleFileName, const std::wstring& dataRoot,
                                       const VersionCheck& wouldStart);

// The outcome in a few words, e.g. "another launcher of the family runs".
const wchar_t* UpgradeHandoverText(UpgradeHandover::Outcome outcome);
// The outcome's name in the tool's JSON, e.g. "anotherLauncherRuns".
const wchar_t* UpgradeHandoverKey(UpgradeHandover::Outcome outcome);

// For the trace of a launch that did not start: why a version that may have
// been pending did not get into "config.ini", with the version when it is
// printable; empty when it was handed over or nothing was pending.
std::wstring SkippedHandoverText(const UpgradeHandover& handover);

// Whether there was a "temp.ini" that the hand-over looked at and did not
// hand over: worth a trace line even when the launch goes on to start.
bool PassedOverPendingVersion(const UpgradeHandover& handover);
