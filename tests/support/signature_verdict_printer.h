// Lets GoogleTest print verdicts by name in failure messages.
#pragma once

#include <ostream>

#include "platform/signature_verdict.h"

// In the verdict's own namespace: GoogleTest finds printers by
// argument-dependent lookup only.
namespace platform {

inline void PrintTo(SignatureVerdict verdict, std::ostream* out) {
  // The names are ASCII.
  for (const wchar_t* c = SignatureVerdictName(verdict); *c != L'\0'; ++c) *out << static_cast<char>(*c);
  *out << " (" << static_cast<uint32_t>(verdict) << ")";
}

}  // namespace platform
