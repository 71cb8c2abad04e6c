// Which tests a --gtest_filter value selects, decided the way GoogleTest
// decides it, for a main that must know before the tests run.
#pragma once

#include <string>

// Whether `filter` ("POSITIVE[-NEGATIVE]", each a ':'-separated list of
// patterns with '*' and '?', matched against "suite.name") selects the test
// `name` of `suite`. An empty positive part before a negative one selects
// every test; an empty filter selects none. Disabled
// tests (suite or name starting with "DISABLED_", after a parameter prefix's
// slash too) are selected only when `alsoDisabled`.
bool IsTestSelected(const std::string& filter, const std::string& suite, const std::string& name, bool alsoDisabled);
