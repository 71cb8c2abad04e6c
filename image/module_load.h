// What became of one attempt to load a module after its signer check, with
// the reason when it did not load: the launchers leave a trace of it, and the
// tool replays it.
#pragma once

#include <string>

#include "image/dependency_closure.h"
#include "platform/trust_decision.h"
#include "platform/win.h"

struct ModuleLoad {
  enum class Outcome {
    Loaded,
    NoApplicationFolder,  // no folder to look for the module in
    Missing,              // no file at the path, or a folder: nothing to say to the user
    Refused,              // `file` refused (the module, a companion, or a library it brings along)
    DependencyMissing,    // `file` names a library the module needs that is nowhere
    LoadFailed,           // the system could not load it; `error` says why
    NotTheCheckedFile,    // what got loaded is not the file that was checked
    NoEntryFunction,      // the module does not export the entry function
  };
  HMODULE module = nullptr;
  Outcome outcome = Outcome::Missing;
  std::wstring file;
  // Why `file` was refused, in a few words; for NoEntryFunction the entry
  // function's name; empty otherwise.
  std::wstring reason;
  // The signer policy's answer for the module, or for the refused file.
  TrustDecision decision;
  // Every library of the module's closure that was looked at.
  std::vector<DependencyFinding> dependencies;
  DWORD error = 0;
};
