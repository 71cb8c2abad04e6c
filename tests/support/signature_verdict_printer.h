// Lets GoogleTest print verdicts by name in failure messages.
#pragma once

#include <iterator>
#include <ostream>

#include "platform/signature_verdict.h"

// In the verdict's own namespace: GoogleTest finds printers by
// argument-dependent lookup only.
namespace platform {

inline void PrintTo(SignatureVerdict verdict, std::ostream* out) {
  static constexpr const char* kNames[] = {"Unavailable", "NotSigned", "Valid", "Expired",
                                           "Revoked", "Distrusted", "Failed"};
  const auto number = static_cast<uint32_t>(verdict);
  *out << (number < std::size(kNames) ? kNames[number] : "SignatureVerdict") << " (" << number << ")";
}

}  // namespace platform
