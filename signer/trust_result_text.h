// How a trust provider's result is named and explained to the people who
// ship and support the product: the launchers' trace and VaroSignCheck.
#pragma once

#include <string>

#include "platform/win.h"

// The result's symbolic name, e.g. "TRUST_E_BAD_DIGEST", for the results a
// signature check meets; "" for any other.
const wchar_t* TrustResultName(LONG result);

// The system's message for the result (FormatMessageW), else the text that
// Windows gives for a known result, else "no text for this result". One
// line, without a trailing line break.
std::wstring TrustResultText(LONG result);

// The result as eight upper-case hexadecimal digits, e.g. "0x800B0109".
std::wstring TrustResultCode(LONG result);
