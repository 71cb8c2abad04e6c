#include "signer/signer_startup.h"

#include "platform/system_library_cache.h"

namespace {

struct StartupObjects {
  // Created after the lock and before the lock's own construction completes,
  // so the exit handlers destroy it after the lock.
  StartupObjects() { platform::SystemLibraryCache::Instance(); }
  platform::CriticalSection lock;
};

}  // namespace

platform::CriticalSection& SignerStartupLock() {
  static StartupObjects objects;
  return objects.lock;
}
