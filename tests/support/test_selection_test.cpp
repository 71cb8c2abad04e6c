#include "tests/support/test_selection.h"

#include <gtest/gtest.h>

namespace {

// A whole run that picks other tests than GoogleTest would runs the wrong
// set: the positive and negative parts, both wildcards and several patterns.
TEST(TestSelectionTest, FilterPartsAndWildcardsAsGoogleTestReadsThem) {
  EXPECT_TRUE(IsTestSelected("*", "Cache", "Reads", false));
  EXPECT_FALSE(IsTestSelected("", "Cache", "Reads", false));
  EXPECT_TRUE(IsTestSelected("-Other.*", "Cache", "Reads", false));
  EXPECT_TRUE(IsTestSelected("C*e.*s", "Cache", "Reads", false));
  EXPECT_FALSE(IsTestSelected("C*e.*s", "Cache", "Read", false));
  EXPECT_TRUE(IsTestSelected("Other.*::Cache.Reads", "Cache", "Reads", false));
  // Only the first dash starts the negative part.
  EXPECT_FALSE(IsTestSelected("*-Other.*-x:Cache.*", "Cache", "Reads", false));
  EXPECT_TRUE(IsTestSelected("Cache.*", "Cache", "Reads", false));
  EXPECT_FALSE(IsTestSelected("Cache.*", "CacheFile", "Reads", false));
  EXPECT_TRUE(IsTestSelected("Other.*:Cache.Re?ds", "Cache", "Reads", false));
  EXPECT_FALSE(IsTestSelected("Cache.Re?ds", "Cache", "Rds", false));
  EXPECT_FALSE(IsTestSelected("-Cache.*", "Cache", "Reads", false));
  EXPECT_TRUE(IsTestSelected("-Cache.W*", "Cache", "Reads", false));
  EXPECT_FALSE(IsTestSelected("*-Other.*:*Reads", "Cache", "Reads", false));
  EXPECT_TRUE(IsTestSelected("P/Suite.*", "P/Suite", "Name/0", false));
}

// Disabled tests run only when asked for, whatever the filter says; a
// parameterised suite is disabled by the name after its prefix.
TEST(TestSelectionTest, DisabledTestsOnlyWhenAskedFor) {
  EXPECT_FALSE(IsTestSelected("*", "Cache", "DISABLED_Reads", false));
  EXPECT_FALSE(IsTestSelected("Cache.DISABLED_Reads", "Cache", "DISABLED_Reads", false));
  EXPECT_FALSE(IsTestSelected("*", "DISABLED_Cache", "Reads", false));
  EXPECT_FALSE(IsTestSelected("*", "P/DISABLED_Cache", "Reads", false));
  EXPECT_TRUE(IsTestSelected("Cache.DISABLED_Reads", "Cache", "DISABLED_Reads", true));
  EXPECT_FALSE(IsTestSelected("Cache.Other", "Cache", "DISABLED_Reads", true));
}

}  // namespace
