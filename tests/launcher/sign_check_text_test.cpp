#include <gtest/gtest.h>

#include "launcher/signcheck/command_line.h"
#include "launcher/signcheck/json_writer.h"
#include "launcher/signcheck/text_table.h"
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

}  // namespace
