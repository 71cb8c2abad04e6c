// The libraries that ship with the product besides the application module.
#pragma once

#include <string>
#include <vector>

// The companion libraries that ship beside the application module and that
// the application loads itself when it needs them; the launcher checks those
// that are present before it loads the module. In check order: the thumbnail
// module for the system's native architecture
// ("VaroImageThumb64.dll" on 64-bit x64 and Itanium systems, else
// "VaroImageThumb.dll"), then "FreeImage.dll" and "FreeImagePlus.dll".
std::vector<std::wstring> CompanionLibraryNames();

// The compiler run-time libraries that ship beside the launcher, preloaded
// from its folder in this order when they are genuine.
inline constexpr const wchar_t* kRuntimeLibraryNames[] = {L"vcruntime140.dll", L"msvcp140.dll"};
