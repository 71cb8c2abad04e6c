#include <gtest/gtest.h>

#include <initializer_list>
#include <string_view>
#include <vector>

#include "signcheck/check_report.h"
#include "signcheck/command_line.h"
#include "signcheck/json_writer.h"
#include "signcheck/text_table.h"
#include "signer/trust_result_text.h"
#include "signer/certificate_facts.h"
#include "tests/support/json_value.h"

// The console tool's text pieces, on their own: what they get wrong would
// show only for unusual names, which the end-to-end runs rarely meet.

namespace {

// Every character a file or publisher name may hold survives a round trip
// through the writer and a strict reader; unpaired surrogates, which UTF-8
// cannot carry, leave as escapes.
TEST(JsonWriterTest, StringsRoundTrip) {
  const std::wstring samples[] = {
      L"C:\\Program Files\\Varo\\a\"b\".dll",
      L"tab\tnew line\ncarriage\rbell\x07 nul-free \x1f end",
      L"港湾星禾信息科技服务工作室",
      std::wstring(L"pair \xD83D\xDE00 ok"),
      std::wstring(L"lone high \xD83D and low \xDE00"),
  };
  for (const std::wstring& sample : samples) {
    JsonWriter json;
    json.BeginObject();
    json.StringMember(L"name", sample);
    json.EndObject();
    JsonValue value;
    size_t errorOffset = 0;
    ASSERT_TRUE(ParseJson(json.Text(), value, errorOffset)) << ::testing::PrintToString(json.Text());
    EXPECT_EQ(value[L"name"].text, sample);
    for (wchar_t c : json.Text()) {
      EXPECT_FALSE(c < 0x20 && c != L'\n' && c != L' ') << "raw control character in " << ::testing::PrintToString(json.Text());
    }
  }
  EXPECT_EQ(JsonQuoted(std::wstring(L"\xD83D", 1)), L"\"\\ud83d\"");
  EXPECT_EQ(JsonQuoted(std::wstring(L"\xD83D\xDE00", 2)), std::wstring(L"\"\xD83D\xDE00\""));
}

// Commas go between members and items only, nested containers close where
// they opened, and empty containers stay valid.
TEST(JsonWriterTest, NestingAndSeparators) {
  JsonWriter json;
  json.BeginObject();
  json.Key(L"empty");
  json.BeginArray();
  json.EndArray();
  json.Key(L"items");
  json.BeginArray();
  for (int i = 0; i < 3; ++i) {
    json.BeginObject();
    json.NumberMember(L"n", -i);
    json.BoolMember(L"even", i % 2 == 0);
    json.Key(L"nothing");
    json.Null();
    json.EndObject();
  }
  json.EndArray();
  json.Key(L"none");
  json.BeginObject();
  json.EndObject();
  json.EndObject();
  JsonValue value;
  size_t errorOffset = 0;
  ASSERT_TRUE(ParseJson(json.Text(), value, errorOffset)) << errorOffset << ::testing::PrintToString(json.Text());
  EXPECT_TRUE(value[L"empty"].items.empty());
  ASSERT_EQ(value[L"items"].items.size(), 3u);
  EXPECT_EQ(value[L"items"].items[2][L"n"].number, -2);
  EXPECT_FALSE(value[L"items"].items[1][L"even"].boolean);
  EXPECT_TRUE(value[L"items"].items[1].Has(L"nothing"));
  EXPECT_EQ(value[L"none"].kind, JsonValue::Kind::Object);
  EXPECT_EQ(json.Text().back(), L'\n');
}

// Columns line up by display cells, CJK characters taking two.
TEST(TextTableTest, ColumnsAlignByDisplayWidth) {
  EXPECT_EQ(DisplayWidth(L"abc"), 3u);
  EXPECT_EQ(DisplayWidth(L"港湾"), 4u);
  EXPECT_EQ(DisplayWidth(L"\uFF08x\uFF09"), 5u);
  TextTable table({L"A", L"B", L"C"});
  table.AddRow({L"港湾", L"x", L"last"});
  table.AddRow({L"abcde", L"", L"z"});
  EXPECT_EQ(table.Render(), L"A      B  C\r\n港湾   x  last\r\nabcde     z\r\n");
}

struct ParseCase {
  std::vector<std::wstring> arguments;
  bool valid;
};

// What each command accepts; everything else is a usage error.
TEST(CommandLineTest, AcceptsEachCommandAndRejectsTheRest) {
  const ParseCase cases[] = {
      {{L"check", L"a.dll"}, true},
      {{L"check", L"--json", L"--launcher", L"l.exe", L"--expect", L"S", L"a.dll", L"b.dll"}, true},
      {{L"check", L"--", L"--json"}, true},
      {{L"check"}, false},
      {{L"check", L"--json"}, false},
      {{L"check", L"--launcher"}, false},
      {{L"check", L"--expect", L"", L"a.dll"}, false},
      {{L"check", L"--frobnicate", L"a.dll"}, false},
      {{L"check", L"--fresh", L"folder"}, true},
      {{L"check", L"--fresh"}, false},
      {{L"check", L"--cached", L"a.dll"}, true},
      {{L"check", L"-r", L"folder"}, true},
      {{L"check", L"--all", L"--revocation", L"a.dll"}, true},
      {{L"check", L"--fresh", L"--cached", L"a.dll"}, false},
      {{L"cache", L"show"}, true},
      {{L"cache", L"show", L"--json", L"c.dat"}, true},
      {{L"cache", L"show", L"c.dat", L"d.dat"}, false},
      {{L"cache", L"check", L"--json"}, false},
      {{L"cache", L"forget", L"p.dll"}, true},
      {{L"cache", L"forget"}, false},
      {{L"cache", L"clear"}, true},
      {{L"cache", L"clear", L"x"}, false},
      {{L"cache"}, false},
      {{L"cache", L"list"}, false},
      {{}, false},
      {{L"inspect"}, false},
  };
  for (const ParseCase& c : cases) {
    CommandLine parsed;
    std::wstring error;
    EXPECT_EQ(ParseCommandLine(c.arguments, parsed, error), c.valid) << ::testing::PrintToString(c.arguments);
    EXPECT_EQ(error.empty(), c.valid) << ::testing::PrintToString(error);
  }

  CommandLine parsed;
  std::wstring error;
  ASSERT_TRUE(ParseCommandLine({L"check", L"--launcher", L"l.exe", L"--", L"--json", L"b"}, parsed, error));
  EXPECT_EQ(parsed.command, Command::Check);
  EXPECT_FALSE(parsed.json);
  EXPECT_EQ(parsed.launcher, L"l.exe");
  EXPECT_EQ(parsed.files, (std::vector<std::wstring>{L"--json", L"b"}));
  ASSERT_TRUE(ParseCommandLine({L"cache", L"forget", L"--help"}, parsed, error));
  EXPECT_EQ(parsed.command, Command::Help);
}

// Codes as scripts match them, no name for a result the table lacks, and a
// one-line text for every result, whether or not the system has a message.
TEST(TrustResultTextTest, CodesAndOneLineTexts) {
  EXPECT_EQ(TrustResultCode(static_cast<LONG>(0x800B0101)), L"0x800B0101");
  EXPECT_EQ(TrustResultCode(5), L"0x00000005");
  EXPECT_STREQ(TrustResultName(0x12345678), L"");
  for (LONG result : {0L, static_cast<LONG>(0x800B0101), 0x12345678L}) {
    const std::wstring text = TrustResultText(result);
    EXPECT_FALSE(text.empty()) << result;
    EXPECT_EQ(text.find_first_of(L"\r\n"), std::wstring::npos) << ::testing::PrintToString(text);
  }
}

// The heading says what the policy does with each kind of launcher: only an
// unsigned one accepts every file; one whose check fails accepts none, even
// when a signer name could be read from it.
TEST(CheckReportTest, OwnPublisherRuleAsThePolicyApplies) {
  using platform::SignatureVerdict;
  struct Case {
    Reference reference;
    OwnPublisherAccepts accepts;
    const wchar_t* heading;
  };
  const std::wstring path = L"C:\\Varo\\VaroPicViewer.exe";
  const Case cases[] = {
      {{path, false, false, SignatureVerdict::NotSigned, L""}, OwnPublisherAccepts::EveryFile,
       L"own-publisher rule: launcher C:\\Varo\\VaroPicViewer.exe is not signed (NotSigned): like that launcher, a "
       L"development build, every file is accepted"},
      {{path, true, false, SignatureVerdict::Valid, L"Varo"}, OwnPublisherAccepts::ItsPublisher,
       L"own-publisher rule: Varo, the publisher of installed launcher C:\\Varo\\VaroPicViewer.exe (Valid)"},
      {{path, false, false, SignatureVerdict::Expired, L"Varo"}, OwnPublisherAccepts::ItsPublisher,
       L"own-publisher rule: Varo, the publisher of launcher C:\\Varo\\VaroPicViewer.exe (Expired)"},
      {{path, false, false, SignatureVerdict::Failed, L""}, OwnPublisherAccepts::Nothing,
       L"own-publisher rule: launcher C:\\Varo\\VaroPicViewer.exe fails its own check (Failed, no readable signer): "
       L"like that launcher, this rule accepts no file"},
      {{path, false, false, SignatureVerdict::Failed, L"Varo"}, OwnPublisherAccepts::Nothing,
       L"own-publisher rule: launcher C:\\Varo\\VaroPicViewer.exe fails its own check (Failed, signer Varo): like "
       L"that launcher, this rule accepts no file"},
      {{path, false, false, SignatureVerdict::Revoked, L"Varo"}, OwnPublisherAccepts::Nothing, nullptr},
      {{path, false, false, SignatureVerdict::Valid, L""}, OwnPublisherAccepts::Nothing, nullptr},
      {{path, false, false, SignatureVerdict::Unavailable, L""}, OwnPublisherAccepts::Nothing, nullptr},
      {{path, false, true, SignatureVerdict::Unavailable, L""}, OwnPublisherAccepts::Nothing,
       L"own-publisher rule: off (no such launcher file: C:\\Varo\\VaroPicViewer.exe)"},
      {{}, OwnPublisherAccepts::Nothing,
       L"own-publisher rule: off (no --launcher, and no installed VaroPicViewer.exe)"},
  };
  for (const Case& c : cases) {
    const std::wstring heading = ReferenceText(c.reference);
    SCOPED_TRACE(::testing::PrintToString(heading));
    EXPECT_EQ(WhatReferenceAccepts(c.reference), c.accepts);
    if (c.heading != nullptr) {
      EXPECT_EQ(heading, c.heading);
    }
    if (c.accepts != OwnPublisherAccepts::EveryFile) {
      EXPECT_EQ(heading.find(L"every file"), std::wstring::npos);
    }
  }
}

// A file that could not be checked gets one line in its place; the six
// lines scripts read come first and unchanged, the chain last.
TEST(CheckReportTest, TextLayout) {
  CheckReport report;
  report.fresh = true;
  report.files.push_back({L"C:\\a.dll", L"no such file", {}, {}, {}, {}});
  CheckedFile checked;
  checked.path = L"C:\\b.dll";
  checked.decision = {true, TrustRule::AllowedPublisher, 6, platform::SignatureVerdict::Valid, L"Signer", false, {}};
  checked.examination.trustFunctionsBound = true;
  checked.examination.trustResult = ERROR_SUCCESS;
  checked.examination.source = SignatureSource::Embedded;
  checked.examination.chainOrigin = ChainOrigin::TrustProvider;
  checked.examination.chain.push_back({L"CN=Signer", L"CN=Root", L"1006", L"AB", L"CD", 0, 0});
  checked.examination.signingTime = 133444736000000000;
  checked.facts = {true, 3, L"EF", L"1.2.3.4"};
  report.files.push_back(checked);
  const std::wstring text = CheckText(report);
  const std::wstring expected =
      L"\r\nC:\\a.dll\r\n  missing:   no such file\r\n"
      L"\r\nC:\\b.dll\r\n  verdict:   Valid\r\n  signer:    Signer\r\n  decision:  trusted\r\n"
      L"  rule:      allowed publisher (row 6)\r\n  cached:    no\r\n  result:    0x00000000 ERROR_SUCCESS\r\n";
  EXPECT_NE(text.find(expected), std::wstring::npos) << ::testing::PrintToString(text);
  for (const wchar_t* line :
       {L"cache file: not used (--fresh", L"\r\n  signature: embedded\r\n",
        L"\r\n  signed at: 2023-11-14T22:13:20Z (timestamp countersignature)\r\n", L"\r\n  sha256:    EF\r\n",
        L"\r\n  size:      3 bytes\r\n", L"\r\n  version:   1.2.3.4\r\n",
        L"\r\n  chain:     1 certificate, as the trust provider built it\r\n    1 subject: CN=Signer\r\n"
        L"      issuer:  CN=Root\r\n      serial:  1006\r\n      sha1:    AB\r\n      sha256:  CD\r\n"
        L"      valid:   - to -\r\n"}) {
    EXPECT_NE(text.find(line), std::wstring::npos) << ::testing::PrintToString(line);
  }
}

std::vector<BYTE> Der(BYTE tag, std::initializer_list<std::vector<BYTE>> parts) {
  size_t size = 0;
  for (const auto& part : parts) size += part.size();
  std::vector<BYTE> element;
  element.reserve(size + 4);
  element.push_back(tag);
  if (size >= 0x80) {
    element.push_back(0x82);
    element.push_back(static_cast<BYTE>(size >> 8));
  }
  element.push_back(static_cast<BYTE>(size));
  for (const auto& part : parts) {
    for (BYTE b : part) element.push_back(b);
  }
  return element;
}

std::vector<BYTE> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

// An RFC 3161 token: ContentInfo with SignedData around a TSTInfo.
std::vector<BYTE> Rfc3161Token(BYTE timeTag, std::string_view time) {
  const std::vector<BYTE> oid = Der(0x06, {{0x2A, 0x03}});
  const std::vector<BYTE> imprint = Der(0x30, {Der(0x30, {oid}), Der(0x04, {std::vector<BYTE>(200, 0x11)})});
  const std::vector<BYTE> tstInfo =
      Der(0x30, {Der(0x02, {{1}}), oid, imprint, Der(0x02, {{0x12, 0x34}}), Der(timeTag, {Bytes(time)})});
  const std::vector<BYTE> signedData = Der(
      0x30, {Der(0x02, {{3}}), Der(0x31, {}), Der(0x30, {oid, Der(0xA0, {Der(0x04, {tstInfo})})}), Der(0x31, {})});
  return Der(0x30, {oid, Der(0xA0, {signedData})});
}

// A PKCS #9 countersignature: a SignerInfo whose signed attributes hold the
// signing time.
std::vector<BYTE> CounterSignature(BYTE timeTag, std::string_view time) {
  const std::vector<BYTE> signingTime = Der(0x06, {{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x05}});
  const std::vector<BYTE> contentType = Der(0x06, {{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x03}});
  const std::vector<BYTE> attributes =
      Der(0xA0, {Der(0x30, {contentType, Der(0x31, {contentType})}),
                 Der(0x30, {signingTime, Der(0x31, {Der(timeTag, {Bytes(time)})})})});
  return Der(0x30, {Der(0x02, {{1}}), Der(0x30, {}), Der(0x30, {}), attributes, Der(0x04, {{0}})});
}

// Signing times read from both kinds of countersignature, known answers in
// FILETIME units; anything malformed reads as no time at all.
TEST(CertificateFactsTest, TimestampOfCountersignatures) {
  constexpr uint64_t k20231114T221320Z = 133444736000000000;  // Unix time 1700000000
  constexpr char kRfc3161[] = "1.3.6.1.4.1.311.3.3.1";
  constexpr char kPkcs9[] = "1.2.840.113549.1.9.6";
  std::vector<BYTE> truncated = Rfc3161Token(0x18, "20231114221320Z");
  truncated.pop_back();
  std::vector<BYTE> overlong = CounterSignature(0x17, "231114221320Z");
  overlong[1] += 1;
  struct Case {
    const char* what;
    const char* oid;
    std::vector<BYTE> value;
    uint64_t expected;
  };
  const Case cases[] = {
      {"RFC 3161 genTime", kRfc3161, Rfc3161Token(0x18, "20231114221320Z"), k20231114T221320Z},
      {"RFC 3161 genTime with a fraction", kRfc3161, Rfc3161Token(0x18, "20231114221320.25Z"), k20231114T221320Z},
      {"PKCS #9 UTCTime", kPkcs9, CounterSignature(0x17, "231114221320Z"), k20231114T221320Z},
      {"PKCS #9 UTCTime before 2000", kPkcs9, CounterSignature(0x17, "991231235959Z"), 125911583990000000},
      {"another attribute", "1.2.3", Rfc3161Token(0x18, "20231114221320Z"), 0},
      {"truncated token", kRfc3161, truncated, 0},
      {"length past its parent", kPkcs9, overlong, 0},
      {"local time", kRfc3161, Rfc3161Token(0x18, "20231114221320"), 0},
      {"month 13", kPkcs9, CounterSignature(0x17, "231314221320Z"), 0},
      {"an OCTET STRING where the time belongs", kRfc3161, Rfc3161Token(0x04, "20231114221320Z"), 0},
  };
  for (const Case& c : cases) {
    CRYPT_ATTR_BLOB value{static_cast<DWORD>(c.value.size()), const_cast<BYTE*>(c.value.data())};
    CRYPT_ATTRIBUTE attribute{const_cast<char*>(c.oid), 1, &value};
    EXPECT_EQ(TimestampOf(CRYPT_ATTRIBUTES{1, &attribute}), c.expected) << c.what;
  }
}

}  // namespace
