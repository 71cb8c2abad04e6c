// Holds a prefix's desktop for a whole test run; scripts/test starts it with
// its output going nowhere and ends it with the prefix's Wine server.
// Wine's explorer closes the desktop a second after its last user goes. The
// next test to touch the desktop starts a new explorer, which inherits that
// test's output pipe, and ctest waits for the test until that explorer goes
// too: over a minute while other tests keep the desktop in use.
#include "platform/win.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  if (!::GetDesktopWindow()) return 1;
  ::Sleep(INFINITE);
  return 0;
}
