// Security attributes whose access list grants every account full access, for
// a named object that processes of all accounts and sessions must open
// whichever of them created it first. Lives only around one create call.
#pragma once

#include <memory>

#include "platform/unique_memory.h"
#include "platform/win.h"

namespace platform {

class EveryoneSecurityAttributes {
 public:
  // The security functions come from "Advapi32.dll" through the library
  // cache. Never fails: without them there is simply no access list.
  static std::unique_ptr<EveryoneSecurityAttributes> Create();

  // As Create, with the module to bind the security functions from.
  static std::unique_ptr<EveryoneSecurityAttributes> CreateForTesting(HMODULE advapi);

  EveryoneSecurityAttributes(const EveryoneSecurityAttributes&) = delete;
  EveryoneSecurityAttributes& operator=(const EveryoneSecurityAttributes&) = delete;

  // The attributes to pass to a create call, or null (default security) when
  // no access list could be built.
  SECURITY_ATTRIBUTES* Get() { return dacl_ ? &attributes_ : nullptr; }

 private:
  explicit EveryoneSecurityAttributes(HMODULE advapi);

  // Builds the one-entry list "Everyone: GENERIC_ALL" into the descriptor.
  // Returns the list (owned by the caller) or null when a security function
  // is missing or fails.
  PACL BuildDacl();

  UniqueProcessHeapMemory<ACL> dacl_;
  SECURITY_ATTRIBUTES attributes_{};
  SECURITY_DESCRIPTOR descriptor_{};
  HMODULE advapi_;
};

}  // namespace platform
