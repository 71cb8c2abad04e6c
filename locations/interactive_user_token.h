// Finding the identity of the user who works at the machine: the token of the
// desktop shell ("explorer.exe") in the active interactive session.
#pragma once

#include <string>

#include "platform/unique_handle.h"
#include "platform/win.h"

// Stores an open token of an "explorer.exe" process whose session is the
// active console session or another active session, and that session's
// identifier. False, with both outputs untouched, when there is no console
// session, a system function is missing, or no such shell can be opened.
bool FindInteractiveUserToken(platform::UniqueKernelHandle& token, DWORD& sessionId);

// True when a process image path (narrow text, as the process functions give
// it) names "explorer.exe", ignoring case. A path it cannot split gives false.
bool IsShellImagePath(const std::string& path);
