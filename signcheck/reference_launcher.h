// Which launcher the tool judges files for, and making the signer policy
// judge as that launcher would.
#pragma once

#include <string>

#include "signcheck/check_report.h"

// `path` made full, as the tool names files; unchanged when it cannot be.
std::wstring FullPathOf(const std::wstring& path);

// The launcher at `launcherArgument` (made full; `missing` when it names no
// file), else `installedName` in the install path recorded in the registry,
// else none.
Reference FindReference(const std::wstring& launcherArgument, const wchar_t* installedName);

// Makes the verifier's own-publisher rule that of `reference`, whose verdict
// and signer are determined now; without a reference, or for a missing one,
// the rule accepts nothing. Never the default, which would make this
// program's own (missing) signature the reference, and an unsigned reference
// accepts every file.
void UseReference(Reference& reference);
