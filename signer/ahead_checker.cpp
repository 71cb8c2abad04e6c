#include "signer/ahead_checker.h"

#include <atomic>

#include "platform/worker_thread.h"
#include "signer/signature_checker.h"

void CheckSideBySide(std::vector<AheadCheck>& work) {
  std::atomic<size_t> next{0};
  auto verify = [&work, &next] {
    SignatureChecker checker;
    for (size_t i = next++; i < work.size(); i = next++) {
      wchar_t name[kSignerNameCapacity] = {};
      work[i].check.verdict = checker.Verify(work[i].path.c_str(), name, work[i].handle);
      work[i].check.signer = name;
      work[i].check.trustResult = checker.LastTrustResult();
    }
  };
  platform::WorkerThread helper(verify);
  verify();
}
