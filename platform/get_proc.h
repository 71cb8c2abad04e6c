// Typed lookup of a function bound at run time. The type comes from the
// function's own declaration, e.g. GetProc<decltype(&::WinVerifyTrust)>(...).
#pragma once

#include "platform/win.h"

namespace platform {

// Returns null when the module is null or does not export `name`.
template <typename Fn>
Fn GetProc(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  // GetProcAddress returns a generic FARPROC; going through void (*)() keeps
  // -Wcast-function-type quiet.
  auto generic = reinterpret_cast<void (*)()>(::GetProcAddress(module, name));
  return reinterpret_cast<Fn>(generic);
}

}  // namespace platform
