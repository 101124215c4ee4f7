// Buffers, conversions, comparison and rendering of column values. These need
// no database: a BoundValue is filled exactly as a fetch would leave it.

#include "odbc/column_value.h"

#include <gtest/gtest.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cmath>
#include <cstdio>
#include <functional>

namespace kestrel {
namespace {

BoundValue makeValue(int sqlType, int precision = 10, bool nullable = false) {
  ColumnDescription d;
  d.name = "C";
  d.sqlType = static_cast<int16_t>(sqlType);
  d.precision = precision;
  d.nullable = nullable;
  EXPECT_TRUE(completeBinding(d)) << sqlType;
  return BoundValue(d);
}

BoundValue textValue(const std::string& text, int precision = 40) {
  BoundValue v = makeValue(SQL_VARCHAR, precision);
  v.setText(text);
  return v;
}
BoundValue longValue(int32_t n, int sqlType = SQL_INTEGER) {
  BoundValue v = makeValue(sqlType);
  v.setLong(n);
  return v;
}
BoundValue doubleValue(double x, int sqlType = SQL_DOUBLE) {
  BoundValue v = makeValue(sqlType);
  v.setDouble(x);
  return v;
}
BoundValue dateValue(int y, int m, int d) {
  BoundValue v = makeValue(SQL_DATE);
  v.setDate({y, m, d});
  return v;
}
BoundValue timeValue(int h, int m, int s) {
  BoundValue v = makeValue(SQL_TIME);
  v.setTime({h, m, s});
  return v;
}
BoundValue timestampValue(TimestampValue t) {
  BoundValue v = makeValue(SQL_TIMESTAMP);
  v.setTimestamp(t);
  return v;
}
BoundValue decimalValue(const std::string& text) {
  BoundValue v = makeValue(SQL_DECIMAL, 38);
  v.setText(text);
  return v;
}
BoundValue bigintValue(const std::string& text) {
  BoundValue v = makeValue(SQL_BIGINT);
  v.setText(text);
  return v;
}
BoundValue nullValue(int sqlType = SQL_VARCHAR) {
  BoundValue v = makeValue(sqlType, 10, true);
  v.setNull();
  return v;
}

// The value in a form independent of renderValue, for expectations.
std::string show(const BoundValue& v) {
  if (v.isNull()) return "NULL";
  char text[100];
  std::string s;
  int32_t n;
  double x;
  DateValue d;
  TimeValue t;
  TimestampValue ts;
  if (v.getText(s)) return "'" + s + "'";
  if (v.getLong(n)) return std::to_string(n);
  if (v.getDouble(x)) {
    std::snprintf(text, sizeof text, "%g", x);
    return text;
  }
  if (v.getDate(d)) {
    std::snprintf(text, sizeof text, "d %04d-%02d-%02d", d.year, d.month, d.day);
    return text;
  }
  if (v.getTime(t)) {
    std::snprintf(text, sizeof text, "t %02d:%02d:%02d", t.hour, t.minute, t.second);
    return text;
  }
  if (v.getTimestamp(ts)) {
    std::snprintf(text, sizeof text, "ts %04d-%02d-%02d %02d:%02d:%02d.%09u", ts.year, ts.month,
                  ts.day, ts.hour, ts.minute, ts.second, ts.fraction);
    return text;
  }
  return "?";
}

struct BindingCase {
  int sqlType;
  int precision;
  int bindingType;
  int bindingLength;
  size_t bufferSize;
};

void PrintTo(const BindingCase& c, std::ostream* out) {
  *out << "SQL type " << c.sqlType << " precision " << c.precision;
}

class BindingRuleTest : public ::testing::TestWithParam<BindingCase> {};

TEST_P(BindingRuleTest, ChoosesBufferTypeAndLength) {
  const BindingCase& c = GetParam();
  ColumnDescription d;
  d.sqlType = static_cast<int16_t>(c.sqlType);
  d.precision = c.precision;
  ASSERT_TRUE(completeBinding(d));
  EXPECT_EQ(d.bindingType, c.bindingType);
  EXPECT_EQ(d.bindingLength, c.bindingLength);
  EXPECT_EQ(BoundValue(d).bufferSize(), static_cast<SQLLEN>(c.bufferSize));
}

INSTANTIATE_TEST_SUITE_P(
    AllSupportedTypes, BindingRuleTest,
    // Four bytes per declared character: UTF-8 text of the full width fits.
    ::testing::Values(BindingCase{SQL_CHAR, 10, SQL_C_CHAR, 40, 41},
                      BindingCase{SQL_VARCHAR, 40, SQL_C_CHAR, 160, 161},
                      BindingCase{SQL_LONGVARCHAR, 8190, SQL_C_CHAR, 32760, 32761},
                      BindingCase{SQL_LONGVARCHAR, 8192, SQL_C_CHAR, 32767, 32768},
                      // Wide types, as the MariaDB driver reports its character columns.
                      BindingCase{SQL_WCHAR, 5, SQL_C_CHAR, 20, 21},
                      BindingCase{SQL_WVARCHAR, 10, SQL_C_CHAR, 40, 41},
                      // TEXT columns: precision unknown (0) or beyond the 16-bit length.
                      BindingCase{SQL_WLONGVARCHAR, 65535, SQL_C_CHAR, 32767, 32768},
                      BindingCase{SQL_LONGVARCHAR, 0, SQL_C_CHAR, 32767, 32768},
                      // Decimal text needs room for the sign and point, and its terminator.
                      BindingCase{SQL_NUMERIC, 8, SQL_C_CHAR, 10, 11},
                      BindingCase{SQL_DECIMAL, 20, SQL_C_CHAR, 22, 23},
                      BindingCase{SQL_INTEGER, 10, SQL_C_LONG, 4, 4},
                      BindingCase{SQL_SMALLINT, 5, SQL_C_SHORT, 2, 2},
                      BindingCase{SQL_FLOAT, 15, SQL_C_DOUBLE, 8, 8},
                      BindingCase{SQL_DOUBLE, 15, SQL_C_DOUBLE, 8, 8},
                      BindingCase{SQL_REAL, 7, SQL_C_FLOAT, 4, 4},
                      BindingCase{SQL_DATE, 10, SQL_C_DATE, 6, 6},
                      BindingCase{SQL_TIME, 8, SQL_C_TIME, 6, 6},
                      BindingCase{SQL_TIMESTAMP, 26, SQL_C_TIMESTAMP, 16, 16},
                      BindingCase{SQL_BIT, 1, SQL_C_BIT, 1, 1},
                      BindingCase{SQL_TINYINT, 3, SQL_C_TINYINT, 1, 1},
                      BindingCase{SQL_BIGINT, 19, SQL_C_CHAR, 20, 21},
                      BindingCase{SQL_BINARY, 16, SQL_C_BINARY, 16, 16},
                      BindingCase{SQL_VARBINARY, 0, SQL_C_BINARY, 32767, 32767},
                      BindingCase{SQL_LONGVARBINARY, 100000, SQL_C_BINARY, 32767, 32767}));

TEST(BindingRule, RejectsTypesWithoutBinding) {
  for (int type : {SQL_GUID, 91, 93, 0, -150}) {
    ColumnDescription d;
    d.sqlType = static_cast<int16_t>(type);
    d.bindingType = 77;
    EXPECT_FALSE(completeBinding(d)) << type;
    EXPECT_EQ(d.bindingType, 77);
  }
}

TEST(Accessors, RefuseBuffersOfAnotherType) {
  BoundValue text = textValue("5");
  BoundValue number = longValue(5);
  int32_t n = 99;
  std::string s = "untouched";
  double x = 7;
  DateValue d{2000, 2, 3};
  EXPECT_FALSE(text.getLong(n));
  EXPECT_FALSE(number.getText(s));
  EXPECT_FALSE(number.getDouble(x));
  EXPECT_FALSE(number.getDate(d));
  EXPECT_FALSE(text.setLong(1));
  EXPECT_FALSE(number.setBytes("1", 1));
  EXPECT_FALSE(makeValue(SQL_DATE).setTime({1, 2, 3}));
  EXPECT_EQ(n, 99);
  EXPECT_EQ(s, "untouched");
  EXPECT_EQ(x, 7);
  EXPECT_EQ(d, (DateValue{2000, 2, 3}));
}

TEST(Accessors, SetBytesCutsAndBlankPadsWithTheRealLength) {
  BoundValue v = makeValue(SQL_CHAR, 2);  // 8 bytes
  ASSERT_TRUE(v.setBytes("abcdefghij", 10));
  EXPECT_EQ(v.indicator(), 8);
  EXPECT_EQ(show(v), "'abcdefgh'");
  ASSERT_TRUE(v.setBytes("ab", 2));
  EXPECT_EQ(v.indicator(), 2);
  EXPECT_EQ(std::string(v.data(), 8), "ab      ");
  ASSERT_TRUE(v.setBytes("xyz", -3));
  EXPECT_EQ(v.indicator(), 0);
  EXPECT_EQ(show(v), "''");

  BoundValue binary = makeValue(SQL_BINARY, 4);
  ASSERT_TRUE(binary.setBytes("\x01\x02", 2));
  EXPECT_EQ(std::string(binary.data(), 2), "\x01\x02");
  EXPECT_EQ(binary.indicator(), 2);
}

TEST(Accessors, IntegerWidths) {
  int32_t n = 0;
  int16_t s = 0;
  BoundValue wide = longValue(70000);
  ASSERT_TRUE(wide.getShort(s));
  EXPECT_EQ(s, 4464);  // low 16 bits

  BoundValue shortValue = longValue(-2, SQL_SMALLINT);
  ASSERT_TRUE(shortValue.getLong(n));
  EXPECT_EQ(n, -2);

  // SQL_C_TINYINT is a signed byte (drivers deliver TINYINT -5 as 0xFB);
  // a bit is 0 or 1 either way.
  BoundValue tiny = longValue(-5, SQL_TINYINT);
  ASSERT_TRUE(tiny.getLong(n));
  EXPECT_EQ(n, -5);
  BoundValue bit = longValue(1, SQL_BIT);
  ASSERT_TRUE(bit.getLong(n));
  EXPECT_EQ(n, 1);
  EXPECT_EQ(bit.indicator(), 1);
}

TEST(Accessors, RealBuffersNarrowAndWiden) {
  BoundValue real = doubleValue(1.5, SQL_REAL);
  double x = 0;
  ASSERT_TRUE(real.getDouble(x));
  EXPECT_EQ(x, 1.5);
  ASSERT_TRUE(real.setDouble(1e300));  // beyond float: infinity, not undefined behaviour
  ASSERT_TRUE(real.getDouble(x));
  EXPECT_TRUE(std::isinf(x));
}

TEST(Accessors, TruncatedValuesAreDetectedAndNeverReadBeyondTheBuffer) {
  BoundValue v = makeValue(SQL_VARCHAR, 1);  // 4 bytes
  v.setText("abcd");
  *v.odbcIndicator() = 100000;  // as a fetch of a longer value leaves it
  EXPECT_TRUE(v.truncated());
  EXPECT_EQ(show(v), "'abcd'");
  *v.odbcIndicator() = SQL_NO_TOTAL;
  EXPECT_TRUE(v.truncated());
  v.setText("ab");
  EXPECT_FALSE(v.truncated());
  v.setNull();
  EXPECT_FALSE(v.truncated());
  EXPECT_EQ(v.indicator(), -1);
}

struct DecimalCase {
  std::string fetched;
  std::string normalised;
};

void PrintTo(const DecimalCase& c, std::ostream* out) { *out << '"' << c.fetched << '"'; }

class DecimalNormalisationTest : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(DecimalNormalisationTest, RewritesInPlace) {
  BoundValue v = makeValue(SQL_DECIMAL, 8);
  v.setText(GetParam().fetched);
  normaliseDecimalText(v);
  EXPECT_EQ(show(v), "'" + GetParam().normalised + "'");
}

INSTANTIATE_TEST_SUITE_P(Cases, DecimalNormalisationTest,
                         ::testing::Values(DecimalCase{"  -12.", "-00012"},
                                           DecimalCase{"  -3.", "-0003"},
                                           DecimalCase{"12.5", "12.5"},
                                           DecimalCase{"-12.500", "-12.500"},
                                           DecimalCase{" +5", "005"}, DecimalCase{"  7", "007"},
                                           DecimalCase{"7.", "07"}, DecimalCase{"", ""}));

TEST(DecimalNormalisation, LeavesNullAndTruncatedValuesSafe) {
  BoundValue null = nullValue(SQL_DECIMAL);
  normaliseDecimalText(null);
  EXPECT_TRUE(null.isNull());

  BoundValue cut = makeValue(SQL_DECIMAL, 2);  // 4 bytes
  cut.setText("  1.");
  *cut.odbcIndicator() = 50;
  normaliseDecimalText(cut);
  EXPECT_EQ(std::string(cut.data(), 4), "0001");
}

TEST(NumberFields, ReadDatesTimesAndTimestampsOutOfText) {
  EXPECT_EQ(readDateFields("1997-2-3"), (DateValue{1997, 2, 3}));
  EXPECT_EQ(readDateFields("abc"), (DateValue{1900, 1, 1}));
  EXPECT_EQ(readDateFields("2001"), (DateValue{2001, 1, 1}));
  EXPECT_EQ(readDateFields("03.04.1998"), (DateValue{3, 4, 1998}));  // fields in order only
  EXPECT_EQ(readTimeFields("12:30"), (TimeValue{12, 30, 0}));
  EXPECT_EQ(readTimeFields(""), (TimeValue{0, 0, 0}));
  EXPECT_EQ(readTimestampFields("1997-01-28 13:05:00.5"),
            (TimestampValue{1997, 1, 28, 13, 5, 0, 500000000}));
  EXPECT_EQ(readTimestampFields("1997-01-28 13:05:00.123").fraction, 123000000u);
  EXPECT_EQ(readTimestampFields("1997-01-28 13:05:00.1234567891").fraction, 123456789u);
  EXPECT_EQ(readTimestampFields("1997-01-28"), (TimestampValue{1997, 1, 28, 0, 0, 0, 0}));
}

TEST(DoubleToText, FixedFormWithoutTrailingZeros) {
  EXPECT_EQ(doubleToText(12.0, 120), "12.");
  EXPECT_EQ(doubleToText(2.5, 120), "2.5");
  EXPECT_EQ(doubleToText(-0.25, 120), "-0.25");
  EXPECT_EQ(doubleToText(0.0, 120), "0.");
  EXPECT_EQ(doubleToText(1e20, 120), "100000000000000000000.");
  EXPECT_EQ(doubleToText(123.456, 6), "123.");
  EXPECT_EQ(doubleToText(1.0 / 3, 200), "0.333333333333333");
  // Too long for the fixed form: the exponent form keeps the value.
  EXPECT_EQ(doubleToText(1e150, 120), "1e+150");
}

TEST(FormatPattern, OnlyOneLongConversionReachesPrintf) {
  EXPECT_EQ(formatLong("%05d", 42), "00042");
  EXPECT_EQ(formatLong("%ld", -7), "-7");
  EXPECT_EQ(formatLong("No. %-4d|", 7), "No. 7   |");
  EXPECT_EQ(formatLong("100%% %x", 255), "100% ff");
  EXPECT_EQ(formatLong("", 42), "42");
  // Anything else would read arguments that are not there: plain decimal.
  for (const char* unsafe : {"%s", "%n", "%d %d", "%f", "%*d", "%99999d", "text", "%", "%lld"})
    EXPECT_EQ(formatLong(unsafe, 42), "42") << unsafe;
}

struct ConversionCase {
  std::string name;
  std::function<BoundValue()> source;
  int targetType;
  bool nullable;
  std::string pattern;
  std::string expected;
};

void PrintTo(const ConversionCase& c, std::ostream* out) { *out << c.name; }

class ConvertValueTest : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(ConvertValueTest, WritesTheTargetBuffer) {
  const ConversionCase& c = GetParam();
  BoundValue source = c.source();
  BoundValue target = makeValue(c.targetType, 30, c.nullable);
  convertValue(source, target, c.pattern);
  EXPECT_EQ(show(target), c.expected);
}

const TimestampValue kStamp{1997, 1, 28, 13, 5, 0, 500000000};

INSTANTIATE_TEST_SUITE_P(
    Table, ConvertValueTest,
    ::testing::Values(
        ConversionCase{"TextToText", [] { return textValue("hello"); }, SQL_VARCHAR, false, "",
                       "'hello'"},
        ConversionCase{"TextToInteger", [] { return textValue("  -42xyz"); }, SQL_INTEGER, false,
                       "", "-42"},
        ConversionCase{"UnparseableTextToInteger", [] { return textValue("abc"); }, SQL_SMALLINT,
                       false, "", "0"},
        ConversionCase{"TextToDouble", [] { return textValue("3.75"); }, SQL_DOUBLE, false, "",
                       "3.75"},
        ConversionCase{"TextToDate", [] { return textValue("1997-2-3"); }, SQL_DATE, false, "",
                       "d 1997-02-03"},
        ConversionCase{"UnparseableTextToDate", [] { return textValue("abc"); }, SQL_DATE, false,
                       "", "d 1900-01-01"},
        ConversionCase{"TextToTime", [] { return textValue("12:30"); }, SQL_TIME, false, "",
                       "t 12:30:00"},
        ConversionCase{"TextToTimestamp", [] { return textValue("1997-01-28 13:05:00.5"); },
                       SQL_TIMESTAMP, false, "", "ts 1997-01-28 13:05:00.500000000"},
        ConversionCase{"IntegerToTextPlain", [] { return longValue(42); }, SQL_VARCHAR, false, "",
                       "'42'"},
        ConversionCase{"IntegerToTextPattern", [] { return longValue(42); }, SQL_CHAR, false,
                       "%05d", "'00042'"},
        ConversionCase{"SmallToInteger", [] { return longValue(-3, SQL_SMALLINT); }, SQL_INTEGER,
                       false, "", "-3"},
        ConversionCase{"IntegerToDouble", [] { return longValue(7); }, SQL_DOUBLE, false, "", "7"},
        ConversionCase{"DoubleToInteger", [] { return doubleValue(2.5); }, SQL_INTEGER, false, "",
                       "2"},
        ConversionCase{"NegativeDoubleToInteger", [] { return doubleValue(-2.5); }, SQL_INTEGER,
                       false, "", "-2"},
        ConversionCase{"HugeDoubleToInteger", [] { return doubleValue(1e12); }, SQL_INTEGER, false,
                       "", "2147483647"},
        ConversionCase{"DoubleToText", [] { return doubleValue(12.0); }, SQL_VARCHAR, false, "",
                       "'12.'"},
        ConversionCase{"DoubleToTextPattern", [] { return doubleValue(2.9); }, SQL_VARCHAR, false,
                       "%03d", "'002'"},
        ConversionCase{"RealToDouble", [] { return doubleValue(0.5, SQL_REAL); }, SQL_DOUBLE, false,
                       "", "0.5"},
        ConversionCase{"DateToText", [] { return dateValue(1997, 2, 3); }, SQL_VARCHAR, false, "",
                       "'1997-02-03'"},
        ConversionCase{"TimeToText", [] { return timeValue(13, 5, 0); }, SQL_VARCHAR, false, "",
                       "'13:05:00'"},
        ConversionCase{"TimestampToText", [] { return timestampValue(kStamp); }, SQL_VARCHAR, false,
                       "", "'1997-01-28 13:05:00.500000000'"},
        ConversionCase{"TimestampToNullableText", [] { return timestampValue(kStamp); },
                       SQL_VARCHAR, true, "", "'1997-01-28 13:05:00.500000000'"},
        ConversionCase{"DateToDate", [] { return dateValue(1997, 2, 3); }, SQL_DATE, false, "",
                       "d 1997-02-03"},
        ConversionCase{"TimestampToTimestamp", [] { return timestampValue(kStamp); }, SQL_TIMESTAMP,
                       false, "", "ts 1997-01-28 13:05:00.500000000"},
        ConversionCase{"DateToInteger", [] { return dateValue(1997, 2, 3); }, SQL_INTEGER, false,
                       "", "0"},
        ConversionCase{"DateToNullableInteger", [] { return dateValue(1997, 2, 3); }, SQL_INTEGER,
                       true, "", "NULL"},
        ConversionCase{"TimeToDouble", [] { return timeValue(1, 2, 3); }, SQL_DOUBLE, false, "",
                       "0"},
        ConversionCase{"DateToTimestamp", [] { return dateValue(1997, 2, 3); }, SQL_TIMESTAMP,
                       false, "", "ts 1900-01-01 00:00:00.000000000"},
        ConversionCase{"TimestampToNullableDate", [] { return timestampValue(kStamp); }, SQL_DATE,
                       true, "", "NULL"},
        ConversionCase{"IntegerToTime", [] { return longValue(5); }, SQL_TIME, false, "",
                       "t 00:00:00"},
        ConversionCase{"DoubleToNullableDate", [] { return doubleValue(5); }, SQL_DATE, true, "",
                       "NULL"},
        ConversionCase{"NullToText", [] { return nullValue(SQL_INTEGER); }, SQL_VARCHAR, false, "",
                       "NULL"},
        ConversionCase{"NullToInteger", [] { return nullValue(); }, SQL_INTEGER, false, "",
                       "NULL"}),
    [](const auto& info) { return info.param.name; });

TEST(ConvertValue, TextIsCutToTheTargetAndPaddedWithItsRealLength) {
  BoundValue target = makeValue(SQL_CHAR, 1);  // 4 bytes
  convertValue(textValue("abcdefgh"), target, "");
  EXPECT_EQ(show(target), "'abcd'");
  convertValue(textValue("x"), target, "");
  EXPECT_EQ(target.indicator(), 1);
  EXPECT_EQ(std::string(target.data(), 4), "x   ");
}

TEST(ConvertValue, UnknownSourceTypeLeavesTheTargetUntouched) {
  ColumnDescription odd;
  odd.bindingType = 99;
  odd.bindingLength = 4;
  BoundValue source(odd);
  BoundValue target = textValue("keep");
  convertValue(source, target, "");
  EXPECT_EQ(show(target), "'keep'");
}

struct ComparisonCase {
  std::string name;
  std::function<BoundValue()> target;
  std::function<BoundValue()> source;
  bool equal;
};

void PrintTo(const ComparisonCase& c, std::ostream* out) { *out << c.name; }

class ValuesEqualTest : public ::testing::TestWithParam<ComparisonCase> {};

TEST_P(ValuesEqualTest, ComparesTargetWithSource) {
  EXPECT_EQ(valuesEqual(GetParam().target(), GetParam().source()), GetParam().equal);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ValuesEqualTest,
    ::testing::Values(
        ComparisonCase{"NullAndNull", [] { return nullValue(); },
                       [] { return nullValue(SQL_INTEGER); }, true},
        ComparisonCase{"NullTarget", [] { return nullValue(); }, [] { return textValue(""); },
                       false},
        ComparisonCase{"NullSource", [] { return textValue(""); }, [] { return nullValue(); },
                       false},
        ComparisonCase{"SameText", [] { return textValue("ABC"); }, [] { return textValue("ABC"); },
                       true},
        ComparisonCase{"TextCase", [] { return textValue("abc"); }, [] { return textValue("ABC"); },
                       false},
        ComparisonCase{"TextTrailingBlank", [] { return textValue("ABC "); },
                       [] { return textValue("ABC"); }, false},
        ComparisonCase{"IntegerAgainstText", [] { return textValue("5"); },
                       [] { return longValue(5); }, true},
        ComparisonCase{"TextAgainstInteger", [] { return longValue(5); },
                       [] { return textValue(" 5"); }, true},
        ComparisonCase{"TextAgainstOtherInteger", [] { return longValue(6); },
                       [] { return textValue("5"); }, false},
        ComparisonCase{"IntegerAgainstDouble", [] { return doubleValue(5.0); },
                       [] { return longValue(5); }, true},
        ComparisonCase{"IntegerAgainstSmall", [] { return longValue(5, SQL_SMALLINT); },
                       [] { return longValue(5); }, true},
        ComparisonCase{"DoubleAgainstInteger", [] { return longValue(5); },
                       [] { return doubleValue(5.7); }, true},
        ComparisonCase{"DoubleAgainstText", [] { return textValue("5.70"); },
                       [] { return doubleValue(5.7); }, true},
        ComparisonCase{"TextAgainstDouble", [] { return doubleValue(5.7); },
                       [] { return textValue("5.7"); }, true},
        ComparisonCase{"DoubleAgainstOtherDouble", [] { return doubleValue(5.7); },
                       [] { return doubleValue(5.8); }, false},
        // A REAL column holds 1.1 only to float precision.
        ComparisonCase{"DoubleAgainstReal", [] { return doubleValue(1.1, SQL_REAL); },
                       [] { return doubleValue(1.1); }, true},
        ComparisonCase{"TextAgainstReal", [] { return doubleValue(1.1, SQL_REAL); },
                       [] { return textValue("1.1"); }, true},
        ComparisonCase{"TextAgainstDate", [] { return dateValue(1997, 2, 3); },
                       [] { return textValue("1997-2-3"); }, true},
        ComparisonCase{"TextAgainstOtherDate", [] { return dateValue(1997, 2, 4); },
                       [] { return textValue("1997-2-3"); }, false},
        ComparisonCase{"TextAgainstTimestamp", [] { return timestampValue(kStamp); },
                       [] { return textValue("1997-01-28 13:05:00.5"); }, true},
        ComparisonCase{"TextAgainstTimestampFraction", [] { return timestampValue(kStamp); },
                       [] { return textValue("1997-01-28 13:05:00"); }, false},
        ComparisonCase{"DateAgainstText", [] { return textValue("1997-02-03"); },
                       [] { return dateValue(1997, 2, 3); }, true},
        ComparisonCase{"TimeAgainstText", [] { return textValue("13:05"); },
                       [] { return timeValue(13, 5, 0); }, true},
        ComparisonCase{"SameDate", [] { return dateValue(1997, 2, 3); },
                       [] { return dateValue(1997, 2, 3); }, true},
        ComparisonCase{"OtherDate", [] { return dateValue(1997, 2, 3); },
                       [] { return dateValue(1998, 2, 3); }, false},
        ComparisonCase{"DateAgainstTimestamp",
                       [] {
                         return timestampValue({1997, 2, 3});
                       },
                       [] { return dateValue(1997, 2, 3); }, false},
        ComparisonCase{"IntegerAgainstDate", [] { return dateValue(1900, 1, 1); },
                       [] { return longValue(0); }, false},
        ComparisonCase{"DateAgainstInteger", [] { return longValue(0); },
                       [] { return dateValue(1900, 1, 1); }, false},
        ComparisonCase{"DoubleAgainstTime", [] { return timeValue(0, 0, 0); },
                       [] { return doubleValue(0); }, false},
        // Numbers as numbers, texts as texts.
        ComparisonCase{"DecimalZeros", [] { return decimalValue("1.5"); },
                       [] { return decimalValue("1.5000000000"); }, true},
        ComparisonCase{"DecimalExponent", [] { return decimalValue("1.0e-05"); },
                       [] { return decimalValue("0.00001"); }, true},
        ComparisonCase{"DecimalNegativeZero", [] { return decimalValue("-0.00"); },
                       [] { return decimalValue("0"); }, true},
        ComparisonCase{"DecimalAgainstText", [] { return textValue("1.50"); },
                       [] { return decimalValue("1.5"); }, true},
        ComparisonCase{"DecimalLastDigit",
                       [] { return decimalValue("12345678901234567890.1234567891"); },
                       [] { return decimalValue("12345678901234567890.1234567892"); }, false},
        ComparisonCase{"TextsKeepTheirZeros", [] { return textValue("1.50"); },
                       [] { return textValue("1.5"); }, false},
        ComparisonCase{"NaNAgainstNaN", [] { return doubleValue(std::nan("")); },
                       [] { return doubleValue(std::nan("")); }, true},
        ComparisonCase{"NaNAgainstNumber", [] { return doubleValue(1); },
                       [] { return doubleValue(std::nan("")); }, false},
        // What narrowing would have left is no equal value.
        ComparisonCase{"BigintAgainstClampedInteger", [] { return longValue(2147483647); },
                       [] { return textValue("4294967296"); }, false},
        ComparisonCase{"DoubleAgainstClampedInteger", [] { return longValue(2147483647); },
                       [] { return doubleValue(1e10); }, false},
        // A timestamp at the digits its column keeps.
        ComparisonCase{"TimestampCutToSeconds",
                       [] {
                         return timestampValue({1997, 1, 28, 13, 5, 0, 0});
                       },
                       [] {
                         return timestampValue({1997, 1, 28, 13, 5, 0, 123456000});
                       },
                       true},
        ComparisonCase{"TimestampRoundedToMilliseconds",
                       [] {
                         return timestampValue({1997, 1, 28, 13, 5, 0, 124000000});
                       },
                       [] {
                         return timestampValue({1997, 1, 28, 13, 5, 0, 123556000});
                       },
                       true},
        ComparisonCase{"TimestampRoundedIntoTheNextYear",
                       [] {
                         return timestampValue({1998, 1, 1, 0, 0, 0, 0});
                       },
                       [] {
                         return timestampValue({1997, 12, 31, 23, 59, 59, 999999600});
                       },
                       true},
        ComparisonCase{"TimestampOtherFraction",
                       [] {
                         return timestampValue({1997, 1, 28, 13, 5, 0, 123000000});
                       },
                       [] {
                         return timestampValue({1997, 1, 28, 13, 5, 0, 124000000});
                       },
                       false},
        ComparisonCase{"TimestampTextKeptToSeconds",
                       [] { return textValue("1997-01-28 13:05:00"); },
                       [] {
                         return timestampValue({1997, 1, 28, 13, 5, 0, 123456000});
                       },
                       true}),
    [](const auto& info) { return info.param.name; });

struct FittingCase {
  std::string name;
  std::function<BoundValue()> source;
  int targetType;
  int targetPrecision;
  ValueLimits limits;
  const char* shown;  // nullptr: the value fits
};

void PrintTo(const FittingCase& c, std::ostream* out) { *out << c.name; }

class ConvertFittingTest : public ::testing::TestWithParam<FittingCase> {};

TEST_P(ConvertFittingTest, RefusesWhatTheTargetCannotHold) {
  const FittingCase& c = GetParam();
  BoundValue source = c.source();
  BoundValue target = makeValue(c.targetType, c.targetPrecision, true);
  target.setNull();
  std::string shown;
  const bool fits = convertFitting(source, target, "", c.limits, shown);
  ASSERT_EQ(fits, c.shown == nullptr) << shown;
  if (fits) {
    BoundValue converted = makeValue(c.targetType, c.targetPrecision, true);
    convertValue(source, converted, "");
    EXPECT_EQ(show(target), show(converted));
  } else {
    EXPECT_EQ(shown, c.shown);
    EXPECT_TRUE(target.isNull()) << "a refused value leaves the target untouched";
  }
}

const ValueLimits kNoNaN{false, true};
const ValueLimits kFiniteOnly{false, false};

INSTANTIATE_TEST_SUITE_P(
    Table, ConvertFittingTest,
    ::testing::Values(
        FittingCase{"BigintIntoInteger",
                    [] { return bigintValue("4294967296"); },
                    SQL_INTEGER,
                    10,
                    {},
                    "4294967296"},
        FittingCase{"BigintBeyond64Bits",
                    [] { return bigintValue("99999999999999999999"); },
                    SQL_INTEGER,
                    10,
                    {},
                    "99999999999999999999"},
        FittingCase{"SmallBigintIntoInteger",
                    [] { return bigintValue("-2147483648"); },
                    SQL_INTEGER,
                    10,
                    {},
                    nullptr},
        FittingCase{
            "IntegerIntoSmallint", [] { return longValue(70000); }, SQL_SMALLINT, 5, {}, "70000"},
        FittingCase{
            "SmallestSmallint", [] { return longValue(-32768); }, SQL_SMALLINT, 5, {}, nullptr},
        FittingCase{"IntegerIntoTinyint", [] { return longValue(300); }, SQL_TINYINT, 3, {}, "300"},
        FittingCase{"TinyintIsSigned", [] { return longValue(128); }, SQL_TINYINT, 3, {}, "128"},
        FittingCase{"SmallestTinyint", [] { return longValue(-128); }, SQL_TINYINT, 3, {}, nullptr},
        FittingCase{"DoubleTruncatedIntoInteger",
                    [] { return doubleValue(2147483647.9); },
                    SQL_INTEGER,
                    10,
                    {},
                    nullptr},
        FittingCase{"DoubleBeyondInteger",
                    [] { return doubleValue(2147483648.0); },
                    SQL_INTEGER,
                    10,
                    {},
                    "2147483648"},
        FittingCase{
            "NaNIntoInteger", [] { return doubleValue(std::nan("")); }, SQL_INTEGER, 10, {}, "NaN"},
        FittingCase{"TextWithoutDigitsIsZeroAsBefore",
                    [] { return textValue("abc"); },
                    SQL_INTEGER,
                    10,
                    {},
                    nullptr},
        FittingCase{"TextNotStartingAsANumberIsZeroAsBefore",
                    [] { return textValue("x99999999999"); },
                    SQL_INTEGER,
                    10,
                    {},
                    nullptr},
        FittingCase{"DoubleIntoReal", [] { return doubleValue(1e39); }, SQL_REAL, 7, {}, "1e+39"},
        FittingCase{
            "LargestRealFits", [] { return doubleValue(3.4e38); }, SQL_REAL, 7, {}, nullptr},
        FittingCase{
            "InfinityIntoReal", [] { return doubleValue(-INFINITY); }, SQL_REAL, 7, {}, nullptr},
        FittingCase{"NaNWhereNoneIsKept", [] { return doubleValue(std::nan("")); }, SQL_DOUBLE, 15,
                    kNoNaN, "NaN"},
        FittingCase{
            "NaNWhereKept", [] { return doubleValue(std::nan("")); }, SQL_DOUBLE, 15, {}, nullptr},
        FittingCase{"InfinityWhereNoneIsKept", [] { return doubleValue(INFINITY); }, SQL_DOUBLE, 15,
                    kFiniteOnly, "Infinity"},
        FittingCase{"TextTooLargeForADouble",
                    [] { return textValue("1e999"); },
                    SQL_DOUBLE,
                    15,
                    {},
                    "'1e999'"},
        FittingCase{"TextLongerThanTheBuffer",
                    [] { return textValue(std::string(9, 'x')); },
                    SQL_VARCHAR,
                    2,
                    {},
                    "'xxxxxxxxx'"},
        FittingCase{"TextFillingTheBuffer",
                    [] { return textValue(std::string(8, 'x')); },
                    SQL_VARCHAR,
                    2,
                    {},
                    nullptr}),
    [](const auto& info) { return info.param.name; });

// Integers fetched as text read as the SQLite driver reads them, but never
// narrowed.
TEST(ReadIntegerText, ReadsLikeTheDriverAndRefusesWhatDoesNotFit) {
  struct Case {
    int sqlType;
    const char* text;
    bool fits;
    const char* shown;  // the value afterwards
  };
  for (const Case& c :
       {Case{SQL_INTEGER, " -42", true, "-42"}, Case{SQL_INTEGER, "10blurk", true, "10"},
        Case{SQL_INTEGER, "blurk", true, "NULL"}, Case{SQL_INTEGER, "2.9", true, "2"},
        Case{SQL_INTEGER, "1e3", true, "1000"}, Case{SQL_INTEGER, "4294967296", false, "7"},
        Case{SQL_INTEGER, "99999999999999999999", false, "7"},
        Case{SQL_SMALLINT, "-32768", true, "-32768"}, Case{SQL_SMALLINT, "70000", false, "7"},
        Case{SQL_TINYINT, "-128", true, "-128"}, Case{SQL_TINYINT, "128", false, "7"}}) {
    BoundValue value = longValue(7, c.sqlType);
    EXPECT_EQ(readIntegerText(value, c.text), c.fits) << c.text;
    EXPECT_EQ(show(value), c.shown) << c.text;
  }
}

TEST(ValuesEqual, UnknownBufferTypesNeverCompareEqual) {
  ColumnDescription odd;
  odd.bindingType = 99;
  odd.bindingLength = 4;
  BoundValue a(odd), b(odd);
  EXPECT_FALSE(valuesEqual(a, b));
}

std::string rendered(const BoundValue& v, bool withHex = false,
                     const BoundValue* source = nullptr) {
  std::string line = "row:";
  renderValue(line, v, withHex, source);
  return line;
}

TEST(RenderValue, EachBufferTypeHasItsForm) {
  EXPECT_EQ(rendered(nullValue()), "row: C=NULL");
  EXPECT_EQ(rendered(textValue("AB")), "row: C=\"AB\"");
  EXPECT_EQ(rendered(textValue("AB"), true), "row: C=\"AB\"(41 42)");
  EXPECT_EQ(rendered(textValue(""), true), "row: C=\"\"()");
  EXPECT_EQ(rendered(longValue(-12)), "row: C=-12");
  EXPECT_EQ(rendered(longValue(1, SQL_BIT)), "row: C=1");
  EXPECT_EQ(rendered(doubleValue(12.0)), "row: C=12.");
  EXPECT_EQ(rendered(dateValue(1997, 2, 3)), "row: C={d 1997-02-03}");
  EXPECT_EQ(rendered(timeValue(9, 5, 0)), "row: C={t 09:05:00}");
  EXPECT_EQ(rendered(timestampValue(kStamp)), "row: C={ts 1997-01-28 13:05:00.500000000}");
  BoundValue binary = makeValue(SQL_BINARY, 4);
  binary.setBytes("\x01", 1);
  EXPECT_EQ(rendered(binary), "row: C=<unprintable binary>");
}

// What a column keeping 15 significant digits (SQLite's decimals) holds.
TEST(DecimalTextFitsDigits, CountsSignificantDigitsOfNonIntegers) {
  const struct {
    const char* text;
    bool fits;
  } cases[] = {
      {"1.5000000000", true},            // trailing zeros are no digits of the value
      {"123456789012345", true},         // an integer is kept exactly
      {"9223372036854775807", true},     // up to 64 bits
      {"9223372036854775808", false},    // beyond: a double
      {"-000123456789012345.6", false},  // 16 digits with a fraction
      {"0.000123456789012345", true},    // leading zeros are no digits either
      {"0.0001234567890123456", false},  // 16
      {"  12.25 ", true},
      {"1e30", true},  // not a plain decimal: left alone
      {"abc", true},
  };
  for (const auto& c : cases) EXPECT_EQ(decimalTextFitsDigits(c.text, 15), c.fits) << c.text;
}

TEST(RenderValue, DecimalShowsItsTextSourceUnquoted) {
  BoundValue target = makeValue(SQL_DECIMAL, 8);
  target.setText("1.500");
  BoundValue source = textValue("1.5");
  EXPECT_EQ(rendered(target, false, &source), "row: C=1.5");
  EXPECT_EQ(rendered(target), "row: C=\"1.500\"");
}

TEST(RenderValue, HexShowsOnlyTheFirstSixtyBytes) {
  std::string text(70, 'A');
  std::string line = rendered(textValue(text, 80), true);
  std::string hex;
  for (int i = 0; i < 60; ++i) hex += "41 ";
  hex.back() = ')';
  EXPECT_EQ(line, "row: C=\"" + text + "\"(" + hex);
}

}  // namespace
}  // namespace kestrel
