// The start-up lock of the signer singletons. Its first use also creates the
// system library cache, so that the cache outlives everything created later
// (the verifier writes its cache back at exit and needs system libraries).
#pragma once

#include "platform/critical_section.h"

platform::CriticalSection& SignerStartupLock();
