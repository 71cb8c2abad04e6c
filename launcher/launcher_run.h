// The body of both launchers' wWinMain; the programs differ only in these
// constants.
#pragma once

#include "platform/win.h"

struct LauncherConstants {
  const wchar_t* appModuleFileName;  // loaded from the application directory
  const char* entryExport;           // looked up in it and called with wWinMain's arguments
  bool osGate;                       // refuse systems older than Windows 7
};

// Runs the launch and returns the exit code: the application entry's result,
// or 0 when the gate refused or no entry could be called.
int RunLauncher(const LauncherConstants& constants, HINSTANCE instance, HINSTANCE previousInstance,
                LPWSTR commandLine, int showCommand);
