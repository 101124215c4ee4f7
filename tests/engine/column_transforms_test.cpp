#include "engine/column_transforms.h"

#include <gtest/gtest.h>

#include "base/message_log.h"
#include "odbc/column_value.h"

namespace kestrel {
namespace {

TEST(ChangeRules, ApplyInScriptOrderWithTheirLimits) {
  struct Case {
    std::vector<ChangeRule> rules;
    std::string in, out;
  };
  const Case cases[] = {
      {{{"", "n/a"}}, "", "n/a"},
      {{{"", "n/a"}}, "value", "value"},
      {{{"x", "y"}}, "", ""},
      {{{"-", ""}}, "12-34-56", "123456"},
      {{{"a", "b"}}, "AAA", "AAA"},  // case counts
      {{{"ab", "b"}, {"b", "c"}}, "aab", "c"},
      {{{"A", "AA"}}, "A", std::string(501, 'A')},  // stops after 500 passes
      {{{"", ""}}, "", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(applyChangeRules(c.rules, c.in), c.out) << c.in;
}

// Coded values are stored in target tables, so they must never change from
// release to release. These were computed independently from the coding rule
// and the fixed key-stream constants.
TEST(Coding, GivesTheSameCodesInEveryRelease) {
  CodingTables tables(4711, false);
  EXPECT_EQ(tables.code("HELLO", false), "\xc1\xc2\xc3\xbd\xba");
  EXPECT_EQ(tables.code("AB-123/45", true), "AB-332/57");
  EXPECT_EQ(tables.keyStream()[0], 165);
  EXPECT_EQ(tables.keyStream()[3], 48);
  CodingTables negative(-1, false);
  EXPECT_EQ(negative.code("Smith, John", false),
            "h\xec\xba"
            "A[\xa3H\xd8~(u");
}

TEST(Coding, IsDeterministicAndKeepsShape) {
  CodingTables tables(99, false);
  std::string first = tables.code("Same text", false);
  EXPECT_EQ(tables.code("other value first", false).size(), 17u);
  EXPECT_EQ(tables.code("Same text", false), first) << "no state carries over between values";
  EXPECT_EQ(first.size(), 9u);
  for (unsigned char c : tables.code(std::string("\x01\x7f\xff\xa0 ~", 6), false)) {
    EXPECT_TRUE(c == 32 || (c >= 33 && c <= 126) || (c >= 161 && c <= 254)) << int(c);
  }
  EXPECT_EQ(tables.code("", false), "");
  std::string digits = tables.code("AB-123/45", true);
  EXPECT_EQ(digits.substr(0, 3), "AB-");
  EXPECT_EQ(digits[6], '/');
  EXPECT_NE(CodingTables(100, false).code("Same text", false), first) << "the key matters";
}

TEST(Coding, WritesADebugLineWhenTheDefinitionWasMadeInDebugMode) {
  MessageLog log;
  log.Configure(100, "", true);
  setProgramLog(&log);
  CodingTables(4711, true).code("AB-123/45", true);
  CodingTables(4711, false).code("quiet", true);
  setProgramLog(nullptr);
  ASSERT_EQ(log.lineCount(), 1);
  EXPECT_NE(log.lines().front().text.find("  Debug: Coding AB-123/45 --> AB-332/57"),
            std::string::npos);
}

TEST(Edit, NumericFormsEditTheDigits) {
  std::vector<ChangeRule> none;
  std::vector<ChangeRule> nineToOne{{"9", "1"}};
  CodingTables tables(4711, false);
  bool fits = false;
  EXPECT_EQ(editInteger({nineToOne, nullptr}, 1999, &fits), 1111);
  EXPECT_TRUE(fits);
  EXPECT_EQ(editInteger({none, &tables}, -2000000000, &fits), -864208644);
  EXPECT_TRUE(fits);
  EXPECT_DOUBLE_EQ(editFloat({nineToOne, nullptr}, 9.5), 1.5);
  EXPECT_DOUBLE_EQ(editFloat({none, nullptr}, -0.25), -0.25);
  // Coding keeps the number of digits, which may leave the 32-bit range:
  // reported, never wrapped.
  int overflowing = 0;
  for (std::int32_t v = 2147483647; v > 2147483600; --v) {
    std::int32_t coded = editInteger({none, &tables}, v, &fits);
    if (!fits) {
      ++overflowing;
      EXPECT_EQ(coded, v);
    }
  }
  EXPECT_GT(overflowing, 0);
}

// The patterns that FORMAT commands build, as the conversion into a target
// column applies them.
TEST(Format, PatternsFromFormatCommands) {
  struct Case {
    const char* pattern;
    long long value;
    const char* text;
  };
  const Case cases[] = {
      {"%05ld", 42, "00042"},
      {"%5ld", 42, "   42"},
      {"%05ld", -42, "-0042"},
      {"%5ld", -42, "  -42"},
      {"%02ld", 12345, "12345"},
      {"%0ld", 7, "7"},
      {"%s%s%n", 7, "7"},
      {"", -3, "-3"},
      {"%08ld", 20261210, "20261210"},
  };
  for (const Case& c : cases) EXPECT_EQ(formatLong(c.pattern, c.value), c.text) << c.pattern;
}

TEST(Format, ReadDecimalIntegerStopsAtTheFirstNonDigit) {
  EXPECT_EQ(readDecimalInteger("  -12ab"), -12);
  EXPECT_EQ(readDecimalInteger("+7"), 7);
  EXPECT_EQ(readDecimalInteger("x1"), 0);
  EXPECT_EQ(readDecimalInteger(""), 0);
}

}  // namespace
}  // namespace kestrel
