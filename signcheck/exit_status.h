// The console tool's exit statuses, which scripts rely on.
#pragma once

namespace exit_status {

inline constexpr int kOk = 0;       // every file trusted; the cache file readable; the change made
inline constexpr int kFailed = 1;   // a file refused or missing; the cache file bad; the change not made
inline constexpr int kUsage = 2;    // a usage error, and only that
inline constexpr int kAbsent = 3;   // no cache file

}  // namespace exit_status
