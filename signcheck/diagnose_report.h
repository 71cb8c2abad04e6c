// What the diagnose command found, and its text and JSON forms. Building the
// report (diagnose_command.cpp) and writing it are apart, as for check.
#pragma once

#include <string>
#include <vector>

#include "host/launch_replay.h"
#include "signcheck/cache_snapshot.h"
#include "signcheck/check_report.h"

struct DiagnoseReport {
  std::wstring product;     // "pic" or "pdf"
  std::wstring moduleName;  // the product's application module, e.g. "VaroImageApp.dll"
  Reference launcher;       // the launcher replayed; none: no launcher folder
  std::wstring productFolder;  // the user's product folder; empty without a roaming folder
  std::wstring cacheFile;      // the launchers' cache file; empty: none
  CacheSnapshot::State cacheState = CacheSnapshot::State::None;
  bool fresh = false;  // --fresh: the cache file was not read
  LaunchReplay replay;
  std::wstring logFile;  // "launcher.log" in the product folder; empty: none
  std::wstring logProblem;  // why a launch could not write its line there; empty: nothing known against it
  std::vector<std::wstring> logLines;  // its last lines, oldest first
};

// The replayed launch would load the module and call its entry (and the
// launcher file is there to start).
bool WouldStart(const DiagnoseReport& report);

// "would start", or how the launch would end instead, e.g. "would refuse
// C:\...\VaroImageApp.dll: it was changed after signing".
std::wstring OutcomeText(const DiagnoseReport& report);

// The report as the console shows it, lines ending in CR LF.
std::wstring DiagnoseText(const DiagnoseReport& report);

// The report as one JSON document.
std::wstring DiagnoseJson(const DiagnoseReport& report);
