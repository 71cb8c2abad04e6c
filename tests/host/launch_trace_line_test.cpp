#include "host/launch_trace.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

// The trace line as text: what a launch writes and what diagnose reads back.

namespace {

std::map<std::wstring, std::wstring> Fields(const std::wstring& line) {
  std::map<std::wstring, std::wstring> fields;
  for (const TraceField& field : ReadTraceLine(line)) fields[field.name] = field.value;
  return fields;
}

// Catches a field that ends its quotes or its line early: a certificate's
// name, a path or a reason with a quote, a backslash, a line break or another
// control character would otherwise write what reads as another field, or
// another launch's whole line. Each line stays one line and reads back as
// written.
TEST(LaunchTraceLineTest, HostileFieldsStayInTheirFieldsAndReadBack) {
  const std::wstring hostile[] = {
      L"Harbor\" outcome \"would start",
      L"Harbor\r\n2026-01-01T00:00:00Z pid 1 launcher \"x\" outcome \"loaded\"",
      L"C:\\folder\\ends with a backslash\\",
      L"\\\" \\\\\" \\u0041",
      L"tab\tbell\a unit\x1F del\x7F next\x85 line\x2028 paragraph\x2029",
      L"港湾鸣远网络科技股份有限公司",
  };
  const SYSTEMTIME utc{2026, 12, 3, 9, 13, 15, 44, 0};
  for (const std::wstring& text : hostile) {
    SCOPED_TRACE(::testing::PrintToString(text));
    TrustDecision decision;
    decision.verdict = platform::SignatureVerdict::Failed;
    decision.signer = text;
    decision.trustResult = static_cast<LONG>(0x800B0109);
    const std::wstring line = TraceLine({L"refused", text, decision, text, text}, utc, 7, L"C:\\bin\\Varo.exe");
    EXPECT_EQ(line.find_first_of(L"\r\n\x85\x2028\x2029"), std::wstring::npos);

    const std::map<std::wstring, std::wstring> expected = {
        {L"time", L"2026-12-09T13:15:44Z"},
        {L"pid", L"7"},
        {L"launcher", L"C:\\bin\\Varo.exe"},
        {L"outcome", L"refused"},
        {L"file", text},
        {L"verdict", L"Failed"},
        {L"result", L"0x800B0109 CERT_E_UNTRUSTEDROOT"},
        {L"rule", L"refused"},
        {L"signer", text},
        {L"detail", text},
        {L"hand-over", text},
    };
    EXPECT_EQ(Fields(line), expected);
  }
  // A line cut short, or with an escape no line is written with, is none.
  EXPECT_TRUE(ReadTraceLine(L"2026-12-09T13:15:44Z pid 7 file \"C:\\\\cut").empty());
  EXPECT_TRUE(ReadTraceLine(L"2026-12-09T13:15:44Z pid 7 file \"\\q\"").empty());
}

}  // namespace
