// Product pieces that reach further into Windows than the in-memory stand-in
// goes: the mutex gets default security (as when the security functions
// cannot be bound), and no file digest can be computed (the launchers never
// ask for one).
#include "hash/file_md5.h"
#include "platform/everyone_security_attributes.h"

namespace platform {

std::unique_ptr<EveryoneSecurityAttributes> EveryoneSecurityAttributes::Create() { return CreateForTesting(nullptr); }

std::unique_ptr<EveryoneSecurityAttributes> EveryoneSecurityAttributes::CreateForTesting(HMODULE advapi) {
  return std::unique_ptr<EveryoneSecurityAttributes>(new EveryoneSecurityAttributes(advapi));
}

EveryoneSecurityAttributes::EveryoneSecurityAttributes(HMODULE advapi) : advapi_(advapi) {}

}  // namespace platform

bool GetFileMD5(const std::wstring&, std::wstring&) { return false; }
