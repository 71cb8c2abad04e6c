#include "tests/support/test_selection.h"

#include <algorithm>

namespace {

bool MatchesPattern(const char* pattern, const char* name) {
  for (;; ++pattern, ++name) {
    switch (*pattern) {
      case '\0': return *name == '\0';
      case '?':
        if (*name == '\0') return false;
        break;
      case '*':
        // The star takes nothing, or one more character and stays.
        return MatchesPattern(pattern + 1, name) || (*name != '\0' && MatchesPattern(pattern, name + 1));
      default:
        if (*pattern != *name) return false;
    }
  }
}

bool MatchesAnyPattern(const std::string& patterns, const std::string& name) {
  for (size_t start = 0; start <= patterns.size();) {
    const size_t end = std::min(patterns.find(':', start), patterns.size());
    if (MatchesPattern(patterns.substr(start, end - start).c_str(), name.c_str())) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

bool IsTestSelected(const std::string& filter, const std::string& suite, const std::string& name, bool alsoDisabled) {
  constexpr char kDisabled[] = "DISABLED_*:*/DISABLED_*";
  if (!alsoDisabled && (MatchesAnyPattern(kDisabled, suite) || MatchesAnyPattern(kDisabled, name))) return false;
  const std::string fullName = suite + "." + name;
  const size_t dash = filter.find('-');
  const std::string positive = filter.substr(0, dash);
  const std::string negative = dash == std::string::npos ? std::string() : filter.substr(dash + 1);
  // As in GoogleTest, an empty positive part means "all" only before a
  // negative part: an empty filter selects nothing.
  const bool all = positive.empty() && dash != std::string::npos;
  return MatchesAnyPattern(all ? "*" : positive, fullName) &&
         (negative.empty() || !MatchesAnyPattern(negative, fullName));
}
