// The files that the test PKI fixture (setup-test-pki) prepares. Test programs
// added with varo_add_test_program(... USES_TEST_PKI) run after it and find
// its folder in the environment variable VARO_TEST_PKI.
#pragma once

#include <string>

// Path of the test payload DLL signed with `leaf` (a leaf ID of
// scripts/make-test-pki), or of its unsigned copy for L"unsigned". Empty when
// VARO_TEST_PKI is not set.
std::wstring SignedTestFile(const std::wstring& leaf);
