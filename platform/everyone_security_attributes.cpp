#include "platform/everyone_security_attributes.h"

#include "platform/get_proc.h"
#include "platform/system_library_cache.h"

namespace platform {

namespace {

// The ACL header (8 bytes) plus an ACCESS_ALLOWED_ACE (12 bytes) less the
// first word of its SID, which the SID's own length already counts.
constexpr DWORD kAclOverhead = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);
static_assert(kAclOverhead == 16);

// Frees the Everyone SID on every way out of BuildDacl.
class WorldSid {
 public:
  explicit WorldSid(HMODULE advapi) : advapi_(advapi) {}
  WorldSid(const WorldSid&) = delete;
  WorldSid& operator=(const WorldSid&) = delete;
  ~WorldSid() {
    if (sid_ == nullptr) return;
    if (auto freeSid = GetProc<decltype(&::FreeSid)>(advapi_, "FreeSid")) freeSid(sid_);
  }

  bool Allocate() {
    auto allocate = GetProc<decltype(&::AllocateAndInitializeSid)>(advapi_, "AllocateAndInitializeSid");
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    return allocate && allocate(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid_);
  }
  PSID Get() const { return sid_; }

 private:
  HMODULE advapi_;
  PSID sid_ = nullptr;
};

}  // namespace

std::unique_ptr<EveryoneSecurityAttributes> EveryoneSecurityAttributes::Create() {
  return CreateForTesting(SystemLibraryCache::Instance().GetLibrary(L"Advapi32.dll"));
}

std::unique_ptr<EveryoneSecurityAttributes> EveryoneSecurityAttributes::CreateForTesting(HMODULE advapi) {
  // Not make_unique: the constructor is private. The descriptor points into
  // the object, so it lives on the heap and never moves.
  std::unique_ptr<EveryoneSecurityAttributes> holder(new EveryoneSecurityAttributes(advapi));
  holder->dacl_.reset(holder->BuildDacl());
  return holder;
}

EveryoneSecurityAttributes::EveryoneSecurityAttributes(HMODULE advapi) : advapi_(advapi) {
  attributes_.nLength = sizeof(SECURITY_ATTRIBUTES);
  attributes_.lpSecurityDescriptor = &descriptor_;
  attributes_.bInheritHandle = FALSE;
}

PACL EveryoneSecurityAttributes::BuildDacl() {
  const HMODULE advapi = advapi_;
  if (advapi == nullptr) return nullptr;
  auto initializeDescriptor =
      GetProc<decltype(&::InitializeSecurityDescriptor)>(advapi, "InitializeSecurityDescriptor");
  if (!initializeDescriptor || !initializeDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION)) return nullptr;

  WorldSid everyone(advapi);
  if (!everyone.Allocate()) return nullptr;
  auto getLengthSid = GetProc<decltype(&::GetLengthSid)>(advapi, "GetLengthSid");
  if (!getLengthSid) return nullptr;
  const DWORD size = getLengthSid(everyone.Get()) + kAclOverhead;
  UniqueProcessHeapMemory<ACL> dacl(
      static_cast<ACL*>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, size)));
  if (!dacl) return nullptr;

  auto initializeAcl = GetProc<decltype(&::InitializeAcl)>(advapi, "InitializeAcl");
  auto addAllowedAce = GetProc<decltype(&::AddAccessAllowedAce)>(advapi, "AddAccessAllowedAce");
  auto setDacl = GetProc<decltype(&::SetSecurityDescriptorDacl)>(advapi, "SetSecurityDescriptorDacl");
  if (!initializeAcl || !initializeAcl(dacl.get(), size, ACL_REVISION)) return nullptr;
  if (!addAllowedAce || !addAllowedAce(dacl.get(), ACL_REVISION, GENERIC_ALL, everyone.Get())) return nullptr;
  if (!setDacl || !setDacl(&descriptor_, TRUE, dacl.get(), FALSE)) return nullptr;
  return dacl.release();
}

}  // namespace platform
