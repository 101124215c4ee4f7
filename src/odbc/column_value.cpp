#include "odbc/column_value.h"

#include <locale.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cctype>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace kestrel {

namespace {

int16_t clampedLength(int64_t length) {
  if (length <= 0 || length > kMaxBindingLength) return kMaxBindingLength;
  return static_cast<int16_t>(length);
}

template <typename T>
T load(const char* bytes) {
  T value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

template <typename T>
void store(char* bytes, const T& value) {
  std::memcpy(bytes, &value, sizeof value);
}

int32_t clampToInt32(long long value) {
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

// Truncation toward zero, saturated at the 32-bit limits (NaN reads as 0),
// since a double beyond them has no defined integer conversion.
int32_t truncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

// A decimal integer with leading blanks and a sign, as atol reads it.
int32_t textToLong(std::string_view text) {
  std::string copy(text);
  return clampToInt32(std::strtoll(copy.c_str(), nullptr, 10));
}

double textToDouble(std::string_view text) {
  std::string copy(text.substr(0, 69));
  return std::strtod(copy.c_str(), nullptr);
}

// Field-by-field reader over text, shared by the date, time and timestamp forms.
class FieldReader {
 public:
  explicit FieldReader(std::string_view text) : text_(text) {}

  int next(int fallback) {
    if (!skipToDigit()) return fallback;
    long long value = 0;
    while (position_ < text_.size() && isDigit(text_[position_])) {
      if (value < 100000000) value = value * 10 + (text_[position_] - '0');
      ++position_;
    }
    return static_cast<int>(value);
  }

  uint32_t fraction() {
    if (!skipToDigit()) return 0;
    uint32_t value = 0;
    int digits = 0;
    for (; digits < 9 && position_ < text_.size() && isDigit(text_[position_]); ++digits)
      value = value * 10 + static_cast<uint32_t>(text_[position_++] - '0');
    for (; digits < 9; ++digits) value *= 10;
    return value;
  }

 private:
  static bool isDigit(char c) { return c >= '0' && c <= '9'; }
  bool skipToDigit() {
    while (position_ < text_.size() && !isDigit(text_[position_])) ++position_;
    return position_ < text_.size();
  }

  std::string_view text_;
  size_t position_ = 0;
};

std::string formatted(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string formatted(const char* pattern, ...) {
  va_list arguments;
  va_start(arguments, pattern);
  va_list again;
  va_copy(again, arguments);
  int size = std::vsnprintf(nullptr, 0, pattern, arguments);
  va_end(arguments);
  std::string result;
  if (size > 0) {
    result.resize(static_cast<size_t>(size) + 1);
    std::vsnprintf(result.data(), result.size(), pattern, again);
    result.resize(static_cast<size_t>(size));
  }
  va_end(again);
  return result;
}

std::string dateText(const DateValue& d) {
  return formatted("%04d-%02d-%02d", d.year, d.month, d.day);
}
std::string timeText(const TimeValue& t) {
  return formatted("%02d:%02d:%02d", t.hour, t.minute, t.second);
}
std::string timestampText(const TimestampValue& t) {
  return formatted("%04d-%02d-%02d %02d:%02d:%02d.%09ld", t.year, t.month, t.day, t.hour, t.minute,
                   t.second, static_cast<long>(t.fraction));
}

// Floating values are compared in the narrower precision when one side is a
// REAL buffer: a value read back from a REAL column never equals its double
// source otherwise, and every run would rewrite the row.
bool floatingEqual(double a, double b, bool narrow) {
  if (narrow) return static_cast<float>(a) == static_cast<float>(b);
  return a == b;
}

float narrowed(double value) {
  if (std::isnan(value)) return static_cast<float>(value);
  if (value > FLT_MAX) return std::numeric_limits<float>::infinity();
  if (value < -FLT_MAX) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

void setZeroOrNull(BoundValue& target) {
  if (target.description.nullable) {
    target.setNull();
    return;
  }
  switch (valueClassOf(target.description.bindingType)) {
    case ValueClass::Integer:
      target.setLong(0);
      break;
    case ValueClass::Floating:
      target.setDouble(0.0);
      break;
    case ValueClass::Date:
      target.setDate(DateValue{});
      break;
    case ValueClass::Time:
      target.setTime(TimeValue{});
      break;
    case ValueClass::Timestamp:
      target.setTimestamp(TimestampValue{});
      break;
    case ValueClass::Text:
    case ValueClass::Other:
      break;
  }
}

std::string textOf(const BoundValue& value) {
  std::string text;
  value.getText(text);
  return text;
}

long longOf(const BoundValue& value) {
  int32_t number = 0;
  value.getLong(number);
  return number;
}

double doubleOf(const BoundValue& value) {
  double number = 0;
  value.getDouble(number);
  return number;
}

// Whether `text` read by the number-field rule as the kind of `dated` gives
// the same fields.
bool textEqualsDated(std::string_view text, const BoundValue& dated) {
  switch (valueClassOf(dated.description.bindingType)) {
    case ValueClass::Date: {
      DateValue d;
      return dated.getDate(d) && readDateFields(text) == d;
    }
    case ValueClass::Time: {
      TimeValue t;
      return dated.getTime(t) && readTimeFields(text) == t;
    }
    case ValueClass::Timestamp: {
      TimestampValue t;
      return dated.getTimestamp(t) && readTimestampFields(text) == t;
    }
    default:
      return false;
  }
}

bool isDatedClass(ValueClass c) {
  return c == ValueClass::Date || c == ValueClass::Time || c == ValueClass::Timestamp;
}

}  // namespace

bool isCharacterSqlType(int sqlType) {
  switch (sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return true;
    default:
      return false;
  }
}

bool completeBinding(ColumnDescription& d) {
  int16_t type = 0;
  int16_t length = 0;
  switch (d.sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      type = SQL_C_CHAR;
      length = clampedLength(int64_t{d.precision} * kMaxBytesPerCharacter);
      break;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      type = SQL_C_CHAR;
      length = d.precision <= 0 || d.precision > kMaxBindingLength - 2
                   ? kMaxBindingLength
                   : static_cast<int16_t>(d.precision + 2);
      break;
    case SQL_INTEGER:
      type = SQL_C_LONG;
      length = 4;
      break;
    case SQL_SMALLINT:
      type = SQL_C_SHORT;
      length = 2;
      break;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      type = SQL_C_DOUBLE;
      length = 8;
      break;
    case SQL_REAL:
      type = SQL_C_FLOAT;
      length = 4;
      break;
    case SQL_DATE:
      type = SQL_C_DATE;
      length = 6;
      break;
    case SQL_TIME:
      type = SQL_C_TIME;
      length = 6;
      break;
    case SQL_TIMESTAMP:
      type = SQL_C_TIMESTAMP;
      length = 16;
      break;
    case SQL_BIT:
      type = SQL_C_BIT;
      length = 1;
      break;
    case SQL_TINYINT:
      type = SQL_C_TINYINT;
      length = 1;
      break;
    case SQL_BIGINT:
      type = SQL_C_CHAR;
      length = 20;
      break;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      type = SQL_C_BINARY;
      length = clampedLength(d.precision);
      break;
    default:
      return false;
  }
  d.bindingType = type;
  d.bindingLength = length;
  return true;
}

ValueClass valueClassOf(int bindingType) {
  switch (bindingType) {
    case SQL_C_CHAR:
    case SQL_C_BINARY:
      return ValueClass::Text;
    case SQL_C_LONG:
    case SQL_C_SHORT:
    case SQL_C_BIT:
    case SQL_C_TINYINT:
      return ValueClass::Integer;
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE:
      return ValueClass::Floating;
    case SQL_C_DATE:
      return ValueClass::Date;
    case SQL_C_TIME:
      return ValueClass::Time;
    case SQL_C_TIMESTAMP:
      return ValueClass::Timestamp;
    default:
      return ValueClass::Other;
  }
}

// Every SQL_C_CHAR buffer gets one byte beyond its binding length for the
// terminating zero that drivers always write. Without it a DECIMAL(8,3)
// value such as "-12345.678" (precision + 2 characters) or the smallest
// BIGINT (20 characters) would arrive cut by one character.
BoundValue::BoundValue(const ColumnDescription& d)
    : description(d),
      buffer_(static_cast<size_t>(std::max<int>(d.bindingLength, 0)) +
              (d.bindingType == SQL_C_CHAR ? 1 : 0)),
      indicator_(d.bindingLength) {}

int32_t BoundValue::indicator() const {
  if (indicator_ == SQL_NULL_DATA) return -1;
  return clampToInt32(indicator_);
}

bool BoundValue::truncated() const {
  return indicator_ == SQL_NO_TOTAL || indicator_ > description.bindingLength;
}

size_t BoundValue::storedLength() const {
  if (indicator_ <= 0) return 0;
  size_t limit =
      std::min(buffer_.size(), static_cast<size_t>(std::max<int>(description.bindingLength, 0)));
  return std::min(static_cast<size_t>(indicator_), limit);
}

bool BoundValue::getText(std::string& text) const {
  if (valueClassOf(description.bindingType) != ValueClass::Text) return false;
  text.assign(buffer_.data(), storedLength());
  return true;
}

bool BoundValue::getLong(int32_t& value) const {
  switch (description.bindingType) {
    case SQL_C_LONG:
      if (buffer_.size() < 4) return false;
      value = load<int32_t>(buffer_.data());
      return true;
    case SQL_C_SHORT:
      if (buffer_.size() < 2) return false;
      value = load<int16_t>(buffer_.data());
      return true;
    case SQL_C_BIT:
      if (buffer_.empty()) return false;
      value = load<uint8_t>(buffer_.data());
      return true;
    case SQL_C_TINYINT:
      // SQL_C_TINYINT is the signed byte: drivers deliver TINYINT -5 as 0xFB.
      if (buffer_.empty()) return false;
      value = load<int8_t>(buffer_.data());
      return true;
    default:
      return false;
  }
}

bool BoundValue::getShort(int16_t& value) const {
  int32_t wide = 0;
  if (!getLong(wide)) return false;
  value = static_cast<int16_t>(wide);
  return true;
}

bool BoundValue::getDouble(double& value) const {
  if (description.bindingType == SQL_C_DOUBLE && buffer_.size() >= 8) {
    value = load<double>(buffer_.data());
    return true;
  }
  if (description.bindingType == SQL_C_FLOAT && buffer_.size() >= 4) {
    value = load<float>(buffer_.data());
    return true;
  }
  return false;
}

bool BoundValue::getDate(DateValue& value) const {
  if (description.bindingType != SQL_C_DATE || buffer_.size() < sizeof(DATE_STRUCT)) return false;
  auto d = load<DATE_STRUCT>(buffer_.data());
  value = {d.year, d.month, d.day};
  return true;
}

bool BoundValue::getTime(TimeValue& value) const {
  if (description.bindingType != SQL_C_TIME || buffer_.size() < sizeof(TIME_STRUCT)) return false;
  auto t = load<TIME_STRUCT>(buffer_.data());
  value = {t.hour, t.minute, t.second};
  return true;
}

bool BoundValue::getTimestamp(TimestampValue& value) const {
  if (description.bindingType != SQL_C_TIMESTAMP || buffer_.size() < sizeof(TIMESTAMP_STRUCT))
    return false;
  auto t = load<TIMESTAMP_STRUCT>(buffer_.data());
  value = {t.year, t.month, t.day, t.hour, t.minute, t.second, t.fraction};
  return true;
}

bool BoundValue::setBytes(const char* bytes, int length) {
  if (valueClassOf(description.bindingType) != ValueClass::Text) return false;
  size_t capacity =
      std::min(buffer_.size(), static_cast<size_t>(std::max<int>(description.bindingLength, 0)));
  size_t count = length < 0 ? 0 : std::min(static_cast<size_t>(length), capacity);
  if (count > 0) std::memmove(buffer_.data(), bytes, count);
  if (description.bindingType == SQL_C_CHAR)
    std::memset(buffer_.data() + count, ' ', capacity - count);
  indicator_ = static_cast<SQLLEN>(count);
  return true;
}

bool BoundValue::setLong(int32_t value) {
  switch (description.bindingType) {
    case SQL_C_LONG:
      if (buffer_.size() < 4) return false;
      store(buffer_.data(), value);
      break;
    case SQL_C_SHORT:
      if (buffer_.size() < 2) return false;
      store(buffer_.data(), static_cast<int16_t>(value));
      break;
    case SQL_C_BIT:
    case SQL_C_TINYINT:
      if (buffer_.empty()) return false;
      store(buffer_.data(), static_cast<uint8_t>(value));
      break;
    default:
      return false;
  }
  indicator_ = description.bindingLength;
  return true;
}

bool BoundValue::setDouble(double value) {
  if (description.bindingType == SQL_C_DOUBLE && buffer_.size() >= 8) {
    store(buffer_.data(), value);
  } else if (description.bindingType == SQL_C_FLOAT && buffer_.size() >= 4) {
    store(buffer_.data(), narrowed(value));
  } else {
    return false;
  }
  indicator_ = description.bindingLength;
  return true;
}

bool BoundValue::setDate(const DateValue& value) {
  if (description.bindingType != SQL_C_DATE || buffer_.size() < sizeof(DATE_STRUCT)) return false;
  DATE_STRUCT d{static_cast<SQLSMALLINT>(value.year), static_cast<SQLUSMALLINT>(value.month),
                static_cast<SQLUSMALLINT>(value.day)};
  store(buffer_.data(), d);
  indicator_ = sizeof d;
  return true;
}

bool BoundValue::setTime(const TimeValue& value) {
  if (description.bindingType != SQL_C_TIME || buffer_.size() < sizeof(TIME_STRUCT)) return false;
  TIME_STRUCT t{static_cast<SQLUSMALLINT>(value.hour), static_cast<SQLUSMALLINT>(value.minute),
                static_cast<SQLUSMALLINT>(value.second)};
  store(buffer_.data(), t);
  indicator_ = sizeof t;
  return true;
}

bool BoundValue::setTimestamp(const TimestampValue& value) {
  if (description.bindingType != SQL_C_TIMESTAMP || buffer_.size() < sizeof(TIMESTAMP_STRUCT))
    return false;
  TIMESTAMP_STRUCT t{static_cast<SQLSMALLINT>(value.year),
                     static_cast<SQLUSMALLINT>(value.month),
                     static_cast<SQLUSMALLINT>(value.day),
                     static_cast<SQLUSMALLINT>(value.hour),
                     static_cast<SQLUSMALLINT>(value.minute),
                     static_cast<SQLUSMALLINT>(value.second),
                     value.fraction};
  store(buffer_.data(), t);
  indicator_ = sizeof t;
  return true;
}

void normaliseDecimalText(BoundValue& value) {
  if (value.data() == nullptr || value.indicator() <= 0) return;
  char* b = value.data();
  size_t n = std::min(static_cast<size_t>(value.indicator()),
                      static_cast<size_t>(std::max<int>(value.description.bindingLength, 0)));
  if (n == 0) return;
  if (b[n - 1] == '.') {
    std::memmove(b + 1, b, n - 1);
    b[0] = ' ';
  }
  size_t j = 0;
  for (; j < n && (b[j] == ' ' || b[j] == '+'); ++j) b[j] = ' ';
  if (j > 0 && j < n && b[j] == '-') {
    b[j] = ' ';
    b[0] = '-';
  }
  for (size_t i = 0; i < n; ++i) {
    if (b[i] == '-') continue;
    if (b[i] != ' ') break;
    b[i] = '0';
  }
}

DateValue readDateFields(std::string_view text) {
  FieldReader reader(text);
  DateValue d;
  d.year = reader.next(1900);
  d.month = reader.next(1);
  d.day = reader.next(1);
  return d;
}

TimeValue readTimeFields(std::string_view text) {
  FieldReader reader(text);
  TimeValue t;
  t.hour = reader.next(0);
  t.minute = reader.next(0);
  t.second = reader.next(0);
  return t;
}

TimestampValue readTimestampFields(std::string_view text) {
  FieldReader reader(text);
  TimestampValue t;
  t.year = reader.next(1900);
  t.month = reader.next(1);
  t.day = reader.next(1);
  t.hour = reader.next(0);
  t.minute = reader.next(0);
  t.second = reader.next(0);
  t.fraction = reader.fraction();
  return t;
}

std::string doubleToText(double value, int capacity) {
  std::string text = formatted("%30.15f", value);
  text.erase(0, text.find_first_not_of(' '));
  size_t keep = capacity > 2 ? static_cast<size_t>(capacity - 2) : 0;
  if (text.size() > keep) {
    // The fixed form of a very large value does not fit: cutting its digits
    // would write a different number, so the exponent form is used instead.
    size_t point = text.find('.');
    if (point == std::string::npos || point > keep) text = formatted("%.15g", value);
    text.resize(std::min(text.size(), keep));
  }
  if (text.find('.') != std::string::npos && text.find_first_of("eE") == std::string::npos) {
    size_t last = text.find_last_not_of('0');
    text.erase(last + 1);
  }
  return text;
}

bool isLongFormatPattern(std::string_view pattern) {
  int conversions = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') continue;
    if (++i < pattern.size() && pattern[i] == '%') continue;
    while (i < pattern.size() && std::strchr("-+ #0", pattern[i]) && pattern[i] != '\0') ++i;
    int digits = 0;
    while (i < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[i]))) {
      ++i;
      if (++digits > 3) return false;
    }
    if (i < pattern.size() && pattern[i] == '.') {
      ++i;
      digits = 0;
      while (i < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[i]))) {
        ++i;
        if (++digits > 3) return false;
      }
    }
    if (i < pattern.size() && pattern[i] == 'l') ++i;
    if (i >= pattern.size() || !std::strchr("diouxX", pattern[i]) || pattern[i] == '\0')
      return false;
    ++conversions;
  }
  return conversions == 1;
}

std::string formatLong(std::string_view pattern, long value) {
  if (pattern.empty() || !isLongFormatPattern(pattern)) return formatted("%ld", value);
  // Give the one conversion its "l" so that it reads a long whatever the
  // script wrote.
  std::string normalised;
  for (size_t i = 0; i < pattern.size(); ++i) {
    normalised += pattern[i];
    if (pattern[i] != '%') continue;
    if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
      normalised += pattern[++i];
      continue;
    }
    while (++i < pattern.size() && !std::strchr("diouxXl", pattern[i])) normalised += pattern[i];
    if (pattern[i] == 'l') ++i;
    normalised += 'l';
    normalised += pattern[i];
  }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  int size = std::snprintf(nullptr, 0, normalised.c_str(), value);
  std::string result(static_cast<size_t>(std::max(size, 0)) + 1, '\0');
  std::snprintf(result.data(), result.size(), normalised.c_str(), value);
#pragma GCC diagnostic pop
  result.resize(static_cast<size_t>(std::max(size, 0)));
  return result;
}

void convertValue(const BoundValue& source, BoundValue& target, std::string_view formatPattern) {
  ValueClass from = valueClassOf(source.description.bindingType);
  ValueClass to = valueClassOf(target.description.bindingType);
  if (source.isNull()) {
    target.setNull();
    return;
  }
  if (from == ValueClass::Other || to == ValueClass::Other) return;

  switch (from) {
    case ValueClass::Text: {
      std::string text = textOf(source);
      switch (to) {
        case ValueClass::Text:
          target.setText(text);
          break;
        case ValueClass::Integer:
          target.setLong(textToLong(text));
          break;
        case ValueClass::Floating:
          target.setDouble(textToDouble(text));
          break;
        case ValueClass::Date:
          target.setDate(readDateFields(text));
          break;
        case ValueClass::Time:
          target.setTime(readTimeFields(text));
          break;
        case ValueClass::Timestamp:
          target.setTimestamp(readTimestampFields(text));
          break;
        case ValueClass::Other:
          break;
      }
      return;
    }
    case ValueClass::Integer: {
      long value = longOf(source);
      if (to == ValueClass::Text)
        target.setText(formatLong(formatPattern, value));
      else if (to == ValueClass::Integer)
        target.setLong(static_cast<int32_t>(value));
      else if (to == ValueClass::Floating)
        target.setDouble(static_cast<double>(value));
      else
        setZeroOrNull(target);
      return;
    }
    case ValueClass::Floating: {
      double value = doubleOf(source);
      if (to == ValueClass::Text) {
        target.setText(formatPattern.empty() ? doubleToText(value, 120)
                                             : formatLong(formatPattern, truncateToInt32(value)));
      } else if (to == ValueClass::Integer) {
        target.setLong(truncateToInt32(value));
      } else if (to == ValueClass::Floating) {
        target.setDouble(value);
      } else {
        setZeroOrNull(target);
      }
      return;
    }
    case ValueClass::Date:
    case ValueClass::Time:
    case ValueClass::Timestamp: {
      if (to == ValueClass::Text) {
        DateValue d;
        TimeValue t;
        TimestampValue ts;
        if (source.getDate(d)) target.setText(dateText(d));
        if (source.getTime(t)) target.setText(timeText(t));
        if (source.getTimestamp(ts)) target.setText(timestampText(ts));
      } else if (to == from) {
        DateValue d;
        TimeValue t;
        TimestampValue ts;
        if (source.getDate(d)) target.setDate(d);
        if (source.getTime(t)) target.setTime(t);
        if (source.getTimestamp(ts)) target.setTimestamp(ts);
      } else {
        setZeroOrNull(target);
      }
      return;
    }
    case ValueClass::Other:
      return;
  }
}

bool valuesEqual(const BoundValue& target, const BoundValue& source) {
  if (target.isNull() && source.isNull()) return true;
  if (target.isNull() || source.isNull()) return false;
  ValueClass s = valueClassOf(source.description.bindingType);
  ValueClass t = valueClassOf(target.description.bindingType);
  if (s == ValueClass::Other || t == ValueClass::Other) return false;
  bool narrow = source.description.bindingType == SQL_C_FLOAT ||
                target.description.bindingType == SQL_C_FLOAT;

  switch (s) {
    case ValueClass::Integer:
      if (t == ValueClass::Text) return textToLong(textOf(target)) == longOf(source);
      if (t == ValueClass::Integer) return longOf(target) == longOf(source);
      if (t == ValueClass::Floating)
        return floatingEqual(static_cast<double>(longOf(source)), doubleOf(target), narrow);
      return false;
    case ValueClass::Text: {
      std::string text = textOf(source);
      if (t == ValueClass::Text) return text == textOf(target);
      if (t == ValueClass::Integer) return textToLong(text) == longOf(target);
      if (t == ValueClass::Floating)
        return floatingEqual(textToDouble(text), doubleOf(target), narrow);
      return textEqualsDated(text, target);
    }
    case ValueClass::Floating:
      if (t == ValueClass::Text)
        return floatingEqual(textToDouble(textOf(target)), doubleOf(source), narrow);
      if (t == ValueClass::Integer) return truncateToInt32(doubleOf(source)) == longOf(target);
      if (t == ValueClass::Floating)
        return floatingEqual(doubleOf(source), doubleOf(target), narrow);
      return false;
    case ValueClass::Date:
    case ValueClass::Time:
    case ValueClass::Timestamp:
      if (t == ValueClass::Text) return textEqualsDated(textOf(target), source);
      if (!isDatedClass(t) || t != s) return false;
      {
        DateValue d1, d2;
        TimeValue t1, t2;
        TimestampValue ts1, ts2;
        if (s == ValueClass::Date) return source.getDate(d1) && target.getDate(d2) && d1 == d2;
        if (s == ValueClass::Time) return source.getTime(t1) && target.getTime(t2) && t1 == t2;
        return source.getTimestamp(ts1) && target.getTimestamp(ts2) && ts1 == ts2;
      }
    case ValueClass::Other:
      return false;
  }
  return false;
}

void renderValue(std::string& text, const BoundValue& value, bool withHex,
                 const BoundValue* sourceValue) {
  text += " " + value.description.name + "=";
  if (value.isNull()) {
    text += "NULL";
    return;
  }
  int sqlType = value.description.sqlType;
  if ((sqlType == SQL_NUMERIC || sqlType == SQL_DECIMAL) && sourceValue &&
      sourceValue->description.bindingType == SQL_C_CHAR) {
    text += textOf(*sourceValue);
    return;
  }
  switch (value.description.bindingType) {
    case SQL_C_CHAR: {
      std::string chars = textOf(value);
      text += "\"" + chars + "\"";
      if (withHex) {
        text += "(";
        size_t count = std::min<size_t>(chars.size(), 60);
        for (size_t i = 0; i < count; ++i)
          text += formatted("%02X ", static_cast<unsigned char>(chars[i]));
        if (count > 0) text.pop_back();
        text += ")";
      }
      return;
    }
    case SQL_C_LONG:
    case SQL_C_SHORT:
    case SQL_C_BIT:
    case SQL_C_TINYINT:
      text += formatted("%ld", longOf(value));
      return;
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE:
      text += doubleToText(doubleOf(value), 200);
      return;
    case SQL_C_DATE: {
      DateValue d;
      value.getDate(d);
      text += "{d " + dateText(d) + "}";
      return;
    }
    case SQL_C_TIME: {
      TimeValue t;
      value.getTime(t);
      text += "{t " + timeText(t) + "}";
      return;
    }
    case SQL_C_TIMESTAMP: {
      TimestampValue t;
      value.getTimestamp(t);
      text += "{ts " + timestampText(t) + "}";
      return;
    }
    case SQL_C_BINARY:
      text += "<unprintable binary>";
      return;
    default:
      return;
  }
}

namespace {

// The bytes of a key text that are read as a number.
constexpr std::int32_t kKeyNumberBytes = 69;

bool isCSpaceByte(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool isDigitByte(char c) { return c >= '0' && c <= '9'; }

locale_t keyNumberLocale() {
  static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return c;
}

}  // namespace

double keyTextToNumber(const char* text, std::int32_t length) {
  std::int32_t n = std::min(length, kKeyNumberBytes);
  if (n <= 0) return 0.0;
  std::int32_t i = 0;
  while (i < n && isCSpaceByte(text[i])) ++i;
  std::int32_t start = i;
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  std::int32_t digits = 0;
  while (i < n && isDigitByte(text[i])) ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && isDigitByte(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0.0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    std::int32_t j = i + 1;
    if (j < n && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < n && isDigitByte(text[j])) {
      while (j < n && isDigitByte(text[j])) ++j;
      i = j;
    }
  }
  // The span is a plain decimal number now, so the C library's conversion
  // reads all of it and nothing else.
  char number[kKeyNumberBytes + 1];
  std::memcpy(number, text + start, i - start);
  number[i - start] = '\0';
  return strtod_l(number, nullptr, keyNumberLocale());
}

}  // namespace kestrel
