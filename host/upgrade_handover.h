// Moves a pending application version from "temp.ini" into "config.ini" at
// the start of a launch, unless another launcher of the family is running;
// and says what it did, or would do now, and why.
#pragma once

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
    VersionFolderMissing,  // no folder of that name under the application root
    ModuleMissing,         // the version's folder lacks the launcher's application module
    ConfigIsLink,          // "config.ini" is a link: left alone, and what it leads to
    ConfigNotWritten,      // "config.ini" cannot be written
  };
  Outcome outcome = Outcome::NoSideFile;
  // As read from "temp.ini"; empty when it was not read.
  std::wstring version;
};

// Runs once per process; later calls do nothing (AlreadyRan). The side file
// is consumed whatever it holds; "config.ini" changes only after the side
// file is gone, and only to a printable ASCII plain folder name of a folder
// under the application root that holds the launcher's application module
// (`appModuleFileName`). A side file or "config.ini" that is a link is left
// alone, and what it leads to too: nothing is handed over. Under the system
// account all of it is done as the interactive user, or not at all. Never
// fails the launch.
UpgradeHandover RunUpgradeHandover(const std::wstring& appModuleFileName);

// What RunUpgradeHandover would do now, in a process that has not run it, for
// the user whose roaming folder is `dataRoot`: decided by the same steps,
// with each change only tried for whether it could be made. Changes nothing:
// the family's marker is looked for, not created, and no file is deleted,
// created or written.
UpgradeHandover PreviewUpgradeHandover(const std::wstring& appModuleFileName, const std::wstring& dataRoot);

// The outcome in a few words, e.g. "another launcher of the family runs".
const wchar_t* UpgradeHandoverText(UpgradeHandover::Outcome outcome);
// The outcome's name in the tool's JSON, e.g. "anotherLauncherRuns".
const wchar_t* UpgradeHandoverKey(UpgradeHandover::Outcome outcome);

// For the trace of a launch that did not start: why a version that may have
// been pending did not get into "config.ini", with the version when it is
// printable; empty when it was handed over or nothing was pending.
std::wstring SkippedHandoverText(const UpgradeHandover& handover);
