// Wine starts its desktop shell ("explorer.exe") when a program first needs
// the desktop, and ends it when its server shuts down between programs. Tests
// that impersonate the console user, whose shell must be running, call this
// first.
#pragma once

// Returns once the shell runs; false when it could not be started.
bool StartInteractiveShell();
