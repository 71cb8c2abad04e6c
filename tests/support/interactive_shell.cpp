#include "tests/support/interactive_shell.h"

#include "platform/win.h"

// Wine creates the desktop window in its explorer.exe and waits for it.
bool StartInteractiveShell() { return ::GetDesktopWindow() != nullptr; }
