#pragma once
// Typed column and parameter buffers and what is done with their values:
// the binding rule that chooses a buffer type from a column's SQL type, typed
// accessors, decimal text normalisation, conversion between buffers of
// different types, the equality test that decides whether a target row
// changed, and the text form of values for log lines.
//
// None of these report errors: an accessor returns false when the buffer's
// type does not fit, conversions between incompatible kinds yield NULL or a
// zero value, and unparseable text reads as 0 or as the date defaults.

#include <sql.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

// The longest binding length the 16-bit length field allows.
constexpr int16_t kMaxBindingLength = 32767;
// Bytes a character column's buffer holds per declared character. Drivers
// declare the width in characters but deliver and accept UTF-8 bytes, so a
// VARCHAR(10) of ten accented letters is 20 bytes long.
constexpr int kMaxBytesPerCharacter = 4;

struct ColumnDescription {
  int16_t number = 0;  // column number in a result set, or parameter number
  std::string name;
  int16_t sqlType = 0;  // ODBC SQL type code
  int32_t precision = 0;
  int16_t scale = 0;
  bool nullable = false;
  int16_t bindingLength = 0;  // bytes of the value part of the buffer
  int16_t bindingType = 0;    // ODBC C buffer type code
  // The values are decimal numbers held as text: a DECIMAL or NUMERIC
  // column, also one whose catalog reports it as characters. Such values
  // are compared as numbers ("1.50" equals "1.5").
  bool decimalText = false;
};

// SQL_CHAR, SQL_VARCHAR, SQL_LONGVARCHAR and their wide forms, which drivers
// with Unicode catalogs report for the same columns and which bind the same way.
bool isCharacterSqlType(int sqlType);

// Completes bindingType and bindingLength from sqlType and precision. False
// (description unchanged) for an SQL type that has no buffer type here.
// Character columns get kMaxBytesPerCharacter bytes per declared character.
// A character or binary column whose precision is 0 (unknown) or whose
// length would pass the 16-bit limit is bound at kMaxBindingLength, never at
// 0; longer values are then reported by BoundValue::truncated().
bool completeBinding(ColumnDescription& description);

enum class ValueClass { Text, Integer, Floating, Date, Time, Timestamp, Other };
ValueClass valueClassOf(int bindingType);

struct DateValue {
  int year = 1900, month = 1, day = 1;
  bool operator==(const DateValue&) const = default;
};
struct TimeValue {
  int hour = 0, minute = 0, second = 0;
  bool operator==(const TimeValue&) const = default;
};
struct TimestampValue {
  int year = 1900, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  uint32_t fraction = 0;  // nanoseconds
  bool operator==(const TimestampValue&) const = default;
};

// One column or parameter value with its owned buffer. The buffer holds
// bindingLength bytes, plus one for a terminating zero that drivers write
// after SQL_C_CHAR data. Once bound (by a statement or a request) the value
// lives inside its owner's list and never moves, since ODBC holds the
// addresses of its buffer and indicator.
class BoundValue {
 public:
  BoundValue() = default;
  // Allocates the buffer for the description's binding; the indicator starts
  // at the binding length.
  explicit BoundValue(const ColumnDescription& description);

  ColumnDescription description;

  // Byte count of the value, or -1 for NULL. Lengths beyond 32 bits (never
  // seen for a 16-bit buffer) read as the largest 32-bit count.
  int32_t indicator() const;
  void setIndicator(int32_t indicator) { indicator_ = indicator; }
  bool isNull() const { return indicator_ == SQL_NULL_DATA; }
  void setNull() { indicator_ = SQL_NULL_DATA; }
  // True when the last fetch delivered a value longer than the buffer: the
  // buffer then holds only its first bindingLength bytes.
  bool truncated() const;

  char* data() { return buffer_.data(); }
  const char* data() const { return buffer_.data(); }
  // Size handed to ODBC as the buffer length.
  SQLLEN bufferSize() const { return static_cast<SQLLEN>(buffer_.size()); }
  // ODBC writes lengths as SQLLEN; only this full-width field is handed to it.
  SQLLEN* odbcIndicator() { return &indicator_; }

  bool getText(std::string& text) const;
  bool getLong(int32_t& value) const;
  bool getShort(int16_t& value) const;
  bool getDouble(double& value) const;
  bool getDate(DateValue& value) const;
  bool getTime(TimeValue& value) const;
  bool getTimestamp(TimestampValue& value) const;

  // Each setter stores a non-NULL value and sets the indicator to its length.
  bool setBytes(const char* bytes, int length);
  bool setText(std::string_view text) {
    return setBytes(text.data(), static_cast<int>(std::min<size_t>(text.size(), 0x7fffffff)));
  }
  bool setLong(int32_t value);
  bool setDouble(double value);
  bool setDate(const DateValue& value);
  bool setTime(const TimeValue& value);
  bool setTimestamp(const TimestampValue& value);

  // The value's text form for a driver that would cut the typed form; it
  // lives here while the statement that it is bound to runs. Parameters send
  // it; an integer column of such a driver is fetched into it and read from
  // it with readIntegerText.
  std::string& sentText() { return sentText_; }
  SQLLEN* sentIndicator() { return &sentIndicator_; }

 private:
  // The bytes of a text-class value that the buffer really holds.
  size_t storedLength() const;

  std::vector<char> buffer_;
  SQLLEN indicator_ = 0;
  std::string sentText_;
  SQLLEN sentIndicator_ = 0;
};

// Fixes up decimal text as fetched from a SQL_DECIMAL column: a trailing "."
// is dropped (keeping the length by shifting right), a sign moves to the
// front and blanks between sign and digits become zeros ("  -12." gives
// "-00012"). Works in place on the value's stored bytes.
void normaliseDecimalText(BoundValue& value);

// Reading dates and times out of text: each field skips to the next digit and
// takes all consecutive digits; a field with no digit left takes its default
// (1900-01-01 00:00:00). The timestamp fraction takes at most 9 digits, scaled
// to nanoseconds ("5" is 500000000).
DateValue readDateFields(std::string_view text);
TimeValue readTimeFields(std::string_view text);
TimestampValue readTimestampFields(std::string_view text);

// "%30.15f" without the leading blanks, at most capacity - 2 characters, and
// without trailing zeros after a "." (12.0 gives "12.").
std::string doubleToText(double value, int capacity);

// True for a printf pattern with exactly one conversion of one integer
// ("%d", "%5ld", "x%08X") and no other conversions than "%%". Column format
// patterns come from script files, so no other pattern is ever handed to
// printf.
bool isLongFormatPattern(std::string_view pattern);
// The value formatted by the pattern, or in plain decimal when the pattern is
// empty or not a long-integer pattern.
std::string formatLong(std::string_view pattern, long value);

// Writes the source value into the target buffer, converted to the target's
// type. A NULL source makes the target NULL; between incompatible kinds the
// target becomes NULL when nullable and its kind's zero value otherwise. A
// source of an unknown buffer type leaves the target untouched. formatPattern
// is a column's FORMAT pattern (empty for none).
void convertValue(const BoundValue& source, BoundValue& target, std::string_view formatPattern);

// What a database keeps beyond what its column types say: whether its
// floating point columns hold NaN and the infinities.
struct ValueLimits {
  bool holdsNaN = true;
  bool holdsInfinity = true;
  // Significant digits a decimal column keeps of a number with a fraction
  // or beyond 64-bit integers; 0 for as many as the column declares.
  int decimalDigits = 0;
};

// Whether the decimal text keeps its value in a column that holds
// `digits` significant digits of numbers that are no 64-bit integer.
// Text that is no plain number is left to the conversion.
bool decimalTextFitsDigits(std::string_view text, int digits);

// convertValue for a value that is to be written to a database: a value the
// target cannot hold as it is is refused instead of being narrowed (an
// integer beyond the target's integer type, a number beyond REAL's range, a
// text that would be cut at the target's buffer, NaN or an infinity where the
// database keeps none, a fraction or an infinity into an integer). False when
// refused, the target untouched and `shown` holding the source value as an
// error line names it.
bool convertFitting(const BoundValue& source, BoundValue& target, std::string_view formatPattern,
                    const ValueLimits& limits, std::string& shown);

// Sets an integer-class value from fetched text: digits with leading blanks
// and a sign, a number with a fraction or an exponent truncated toward zero;
// text without digits is NULL (as the SQLite driver reads it). False, the
// value untouched, when the number is beyond the value's integer type.
bool readIntegerText(BoundValue& value, std::string_view text);

// The standard name of an ODBC SQL type ("INTEGER", "SMALLINT", ...), for
// messages; "SQL type N" for a code without one.
std::string sqlTypeName(int sqlType);

// Whether a target column's current value equals the value of its source
// column, as the replication decides whether a row changed. Numbers compare
// as numbers (also decimal text, exactly, whatever its zeros or exponent),
// NaN equals NaN, and a timestamp equals its source when it is the source
// cut or rounded to the fraction digits a column keeps (0, 3 or 6): a
// database that keeps fewer digits than the source never holds the source's
// value exactly. Texts compare byte for byte.
bool valuesEqual(const BoundValue& target, const BoundValue& source);

// Decimal text as a canonical form for exact comparison: sign, the
// significant digits and the exponent ("-1.50" and "-15e-1" give the same
// form, all zeros give "0"). False for text that is not a plain number
// (blanks around it are allowed).
bool canonicalDecimal(std::string_view text, std::string& canonical);

// Appends " name=value" for a log line. The name is the value's column name.
// A DECIMAL or NUMERIC column whose source column is bound as text shows the
// source's text as is. withHex adds the first 60 bytes of a text in hex.
void renderValue(std::string& text, const BoundValue& value, bool withHex,
                 const BoundValue* sourceValue = nullptr);

// Reads text as a number the way keys compared as numbers are read: of the
// first 69 bytes, optional leading white space, an optional sign, digits with
// an optional decimal point and an optional exponent; conversion stops at the
// first byte that cannot continue the number, and no number at all gives 0.0.
// Infinity, NaN and hexadecimal forms are not numbers here. Independent of the
// process locale.
double keyTextToNumber(const char* text, std::int32_t length);

}  // namespace kestrel
