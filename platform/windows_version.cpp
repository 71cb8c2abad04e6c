#include "platform/windows_version.h"

#include "platform/win.h"

namespace platform {

bool IsVistaOrLater() {
  OSVERSIONINFOW info{};
  static_assert(sizeof(info) == 276);
  info.dwOSVersionInfoSize = sizeof(info);
#ifdef _MSC_VER
#pragma warning(suppress : 4996)  // deprecated, but the version it reports is the one that matters here
#endif
  return ::GetVersionExW(&info) && info.dwMajorVersion > 5;
}

}  // namespace platform
