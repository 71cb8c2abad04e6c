// Verdict names as the console tool prints them.
#pragma once

#include <string>

#include "platform/signature_verdict.h"

// The verdict's name; a number no verdict has (a damaged or foreign record)
// as "Unknown(N)".
std::wstring VerdictText(platform::SignatureVerdict verdict);
