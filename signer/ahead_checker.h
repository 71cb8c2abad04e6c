// Signature checks of several held files at once: a launch's companion
// libraries and module are checked side by side rather than one after the
// other.
#pragma once

#include <vector>

#include "signer/file_verdicts.h"

// Fills in the check of every entry of `work`, on this thread and one helper
// thread, each with a signature checker of its own (the trust provider may be
// called from several threads). Without a helper thread, this one checks
// them all.
void CheckSideBySide(std::vector<AheadCheck>& work);
