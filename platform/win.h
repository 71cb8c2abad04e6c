// The one place that includes <windows.h>: every file of the project includes
// this header instead, so the same switches apply everywhere.
#pragma once

// The build defines these for every target, but a standard header included
// first makes MinGW's _mingw.h define _WIN32_WINNT as 0x0A00, and an #ifndef
// guard would then leave the file compiling against Windows 10 declarations.
// Undefining first keeps every file on the Windows 7 floor, so a call to a
// function that Windows 7 lacks fails to compile instead of failing to start.
#undef WINVER
#undef _WIN32_WINNT
#undef WIN32_LEAN_AND_MEAN
#undef NOMINMAX
#define WINVER 0x0601
#define _WIN32_WINNT 0x0601  // Windows 7, the oldest system the launchers run on.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif

#include <windows.h>

static_assert(_WIN32_WINNT == 0x0601 && WINVER == 0x0601,
              "the launchers are built against the Windows 7 API");
