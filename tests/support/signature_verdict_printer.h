// Lets GoogleTest print verdicts by name in failure messages.
#pragma once

#include <iterator>
#include <ostream>

#include "platform/signature_verdict.h"

inline void PrintTo(platform::SignatureVerdict verdict, std::ostream* out) {
  static constexpr const char* kNames[] = {"Unavailable", "NotSigned", "Valid", "Expired",
                                           "Revoked", "Distrusted", "Failed"};
  const auto number = static_cast<uint32_t>(verdict);
  *out << (number < std::size(kNames) ? kNames[number] : "platform::SignatureVerdict") << " (" << number << ")";
}
