#include "host/companion_libraries.h"

#include "platform/win.h"

std::vector<std::wstring> CompanionLibraryNames() {
  SYSTEM_INFO info{};
  ::GetNativeSystemInfo(&info);
  const WORD architecture = info.wProcessorArchitecture;
  const bool native64 = architecture == PROCESSOR_ARCHITECTURE_AMD64 || architecture == PROCESSOR_ARCHITECTURE_IA64;
  return {native64 ? L"VaroImageThumb64.dll" : L"VaroImageThumb.dll", L"FreeImage.dll", L"FreeImagePlus.dll"};
}
