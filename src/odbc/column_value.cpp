#include "odbc/column_value.h"

#include <locale.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cctype>
#include <cerrno>
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
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
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

enum class IntegerText { None, Number, Beyond64Bits };

// A decimal integer with leading blanks and a sign, in 64 bits: None when
// the text does not start with one, Beyond64Bits when its digits pass 64 bits.
IntegerText readLongLong(std::string_view text, long long& value) {
  std::string copy(text);
  const char* start = copy.c_str();
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(start, &end, 10);
  if (end == start) return IntegerText::None;
  return errno == ERANGE ? IntegerText::Beyond64Bits : IntegerText::Number;
}

bool textToLongLong(std::string_view text, long long& value) {
  return readLongLong(text, value) == IntegerText::Number;
}

bool containsNoCase(std::string_view text, std::string_view part) {
  auto lower = [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  };
  for (size_t i = 0; i + part.size() <= text.size(); ++i) {
    size_t j = 0;
    while (j < part.size() && lower(text[i + j]) == part[j]) ++j;
    if (j == part.size()) return true;
  }
  return false;
}

// The shortest text that reads back as the same double.
std::string exactDoubleText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  for (int digits = 15; digits < 17; ++digits) {
    std::string text = formatted("%.*g", digits, value);
    if (std::strtod(text.c_str(), nullptr) == value) return text;
  }
  return formatted("%.17g", value);
}

// The range of the integer binding types. SQL_C_TINYINT is the signed byte
// (see getLong).
bool integerRange(int bindingType, long long& low, long long& high) {
  switch (bindingType) {
    case SQL_C_LONG:
      low = std::numeric_limits<int32_t>::min();
      high = std::numeric_limits<int32_t>::max();
      return true;
    case SQL_C_SHORT:
      low = std::numeric_limits<int16_t>::min();
      high = std::numeric_limits<int16_t>::max();
      return true;
    case SQL_C_TINYINT:
      low = std::numeric_limits<int8_t>::min();
      high = std::numeric_limits<int8_t>::max();
      return true;
    case SQL_C_BIT:
      low = 0;
      high = 1;
      return true;
    default:
      return false;
  }
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long daysFromCivil(long long y, long long m, long long d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civilFromDays(long long z, int& year, int& month, int& day) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

// The timestamp with its fraction cut, or rounded half up, to `digits`
// digits; rounding carries into the seconds and on up to the date.
TimestampValue reducedTimestamp(const TimestampValue& t, int digits, bool round) {
  uint32_t unit = 1;
  for (int i = digits; i < 9; ++i) unit *= 10;
  TimestampValue r = t;
  uint64_t fraction = t.fraction / unit * unit;
  if (round && t.fraction % unit >= unit / 2) fraction += unit;
  if (fraction < 1000000000u) {
    r.fraction = static_cast<uint32_t>(fraction);
    return r;
  }
  long long seconds = daysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600LL +
                      t.minute * 60LL + t.second + 1;
  long long days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  long long rest = seconds - days * 86400;
  civilFromDays(days, r.year, r.month, r.day);
  r.hour = static_cast<int>(rest / 3600);
  r.minute = static_cast<int>(rest / 60 % 60);
  r.second = static_cast<int>(rest % 60);
  r.fraction = 0;
  return r;
}

bool timestampKeptEqual(const TimestampValue& target, const TimestampValue& source) {
  if (target == source) return true;
  for (int digits : {0, 3, 6}) {
    if (target == reducedTimestamp(source, digits, false) ||
        target == reducedTimestamp(source, digits, true))
      return true;
  }
  return false;
}

bool decimalTextsEqual(std::string_view a, std::string_view b) {
  std::string ca, cb;
  if (canonicalDecimal(a, ca) && canonicalDecimal(b, cb)) return ca == cb;
  return a == b;
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
      d.decimalText = true;
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

namespace {

// The text convertValue writes into a text target, for the length check.
size_t convertedTextLength(const BoundValue& source, std::string_view formatPattern) {
  switch (valueClassOf(source.description.bindingType)) {
    case ValueClass::Text:
      return textOf(source).size();
    case ValueClass::Integer:
      return formatLong(formatPattern, longOf(source)).size();
    case ValueClass::Floating: {
      double value = doubleOf(source);
      return (formatPattern.empty() ? doubleToText(value, 120)
                                    : formatLong(formatPattern, truncateToInt32(value)))
          .size();
    }
    case ValueClass::Date:
      return 10;
    case ValueClass::Time:
      return 8;
    case ValueClass::Timestamp:
      return 29;
    case ValueClass::Other:
      return 0;
  }
  return 0;
}

std::string shownValue(const BoundValue& source) {
  switch (valueClassOf(source.description.bindingType)) {
    case ValueClass::Text: {
      std::string text = textOf(source);
      size_t begin = text.find_first_not_of(' ');
      text = begin == std::string::npos ? std::string() : text.substr(begin);
      text.erase(text.find_last_not_of(' ') + 1);
      int sqlType = source.description.sqlType;
      bool number = sqlType == SQL_BIGINT || source.description.decimalText;
      return number ? text : "'" + text + "'";
    }
    case ValueClass::Integer:
      return formatted("%ld", longOf(source));
    case ValueClass::Floating:
      return exactDoubleText(doubleOf(source));
    default: {
      std::string text;
      renderValue(text, source, false);
      return text.substr(text.find('=') + 1);
    }
  }
}

}  // namespace

bool decimalTextFitsDigits(std::string_view text, int digits) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::string whole, fraction;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') whole += text[i++];
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') fraction += text[i++];
  }
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  // An exponent or anything else: not a plain decimal, left as it was.
  if (i != text.size() || (whole.empty() && fraction.empty())) return true;
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  const std::size_t lead = whole.find_first_not_of('0');
  whole = lead == std::string::npos ? std::string() : whole.substr(lead);
  // A whole number within 64 bits is kept as an integer, exactly.
  if (fraction.empty() &&
      (whole.size() < 19 || (whole.size() == 19 && whole <= "9223372036854775807")))
    return true;
  std::string significant = whole + fraction;
  const std::size_t first = significant.find_first_not_of('0');
  if (first == std::string::npos) return true;
  significant = significant.substr(first);
  while (!significant.empty() && significant.back() == '0') significant.pop_back();
  return significant.size() <= static_cast<std::size_t>(digits);
}

bool convertFitting(const BoundValue& source, BoundValue& target, std::string_view formatPattern,
                    const ValueLimits& limits, std::string& shown) {
  ValueClass from = valueClassOf(source.description.bindingType);
  ValueClass to = valueClassOf(target.description.bindingType);
  bool fits = true;
  if (!source.isNull() && from != ValueClass::Other) {
    if (to == ValueClass::Integer) {
      long long low = 0, high = 0;
      integerRange(target.description.bindingType, low, high);
      long long value = 0;
      if (from == ValueClass::Integer) {
        value = longOf(source);
        fits = value >= low && value <= high;
      } else if (from == ValueClass::Text) {
        // Text that is no number is 0 as before; digits beyond 64 bits never fit.
        IntegerText read = readLongLong(textOf(source), value);
        fits = read == IntegerText::None ||
               (read == IntegerText::Number && value >= low && value <= high);
      } else if (from == ValueClass::Floating) {
        double number = std::trunc(doubleOf(source));
        fits = std::isfinite(number) && number >= static_cast<double>(low) &&
               number <= static_cast<double>(high);
      }
    } else if (to == ValueClass::Floating &&
               (from == ValueClass::Floating || from == ValueClass::Text)) {
      double number = 0;
      if (from == ValueClass::Floating) {
        number = doubleOf(source);
      } else {
        std::string text = textOf(source);
        number = textToDouble(text);
        // A finite number written out too large for a double is no infinity.
        if (std::isinf(number) && !containsNoCase(text.substr(0, 69), "inf")) fits = false;
      }
      if (std::isnan(number) && !limits.holdsNaN) fits = false;
      if (std::isinf(number) && !limits.holdsInfinity) fits = false;
      if (std::isfinite(number) && target.description.bindingType == SQL_C_FLOAT &&
          std::fabs(number) > FLT_MAX)
        fits = false;
    } else if (to == ValueClass::Text && target.description.bindingType == SQL_C_CHAR) {
      fits = convertedTextLength(source, formatPattern) <=
             static_cast<size_t>(std::max<int>(target.description.bindingLength, 0));
      if (fits && from == ValueClass::Text && target.description.decimalText &&
          limits.decimalDigits > 0)
        fits = decimalTextFitsDigits(textOf(source), limits.decimalDigits);
    }
  }
  if (!fits) {
    shown = shownValue(source);
    return false;
  }
  convertValue(source, target, formatPattern);
  return true;
}

bool readIntegerText(BoundValue& value, std::string_view text) {
  long long low = 0, high = 0;
  if (!integerRange(value.description.bindingType, low, high)) return false;
  long long number = 0;
  IntegerText read = readLongLong(text, number);
  if (read == IntegerText::None) {
    value.setNull();
    return true;
  }
  bool fits = read == IntegerText::Number;
  if (text.find_first_of(".eE") != std::string_view::npos) {
    double real = std::trunc(textToDouble(text));
    fits = std::isfinite(real) && real >= -9.2e18 && real <= 9.2e18;
    if (fits) number = static_cast<long long>(real);
  }
  if (!fits || number < low || number > high) return false;
  return value.setLong(static_cast<int32_t>(number));
}

std::string sqlTypeName(int sqlType) {
  switch (sqlType) {
    case SQL_CHAR:
      return "CHAR";
    case SQL_VARCHAR:
      return "VARCHAR";
    case SQL_LONGVARCHAR:
      return "LONGVARCHAR";
    case SQL_WCHAR:
      return "WCHAR";
    case SQL_WVARCHAR:
      return "WVARCHAR";
    case SQL_WLONGVARCHAR:
      return "WLONGVARCHAR";
    case SQL_NUMERIC:
      return "NUMERIC";
    case SQL_DECIMAL:
      return "DECIMAL";
    case SQL_INTEGER:
      return "INTEGER";
    case SQL_SMALLINT:
      return "SMALLINT";
    case SQL_FLOAT:
      return "FLOAT";
    case SQL_REAL:
      return "REAL";
    case SQL_DOUBLE:
      return "DOUBLE";
    case SQL_DATE:
    case SQL_TYPE_DATE:
      return "DATE";
    case SQL_TIME:
    case SQL_TYPE_TIME:
      return "TIME";
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
      return "TIMESTAMP";
    case SQL_BIT:
      return "BIT";
    case SQL_TINYINT:
      return "TINYINT";
    case SQL_BIGINT:
      return "BIGINT";
    case SQL_BINARY:
      return "BINARY";
    case SQL_VARBINARY:
      return "VARBINARY";
    case SQL_LONGVARBINARY:
      return "LONGVARBINARY";
    default:
      return "SQL type " + std::to_string(sqlType);
  }
}

bool canonicalDecimal(std::string_view text, std::string& canonical) {
  size_t i = 0, n = text.size();
  while (i < n && text[i] == ' ') ++i;
  while (n > i && text[n - 1] == ' ') --n;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::string digits;
  long long exponent = 0;
  bool point = false, any = false;
  for (; i < n; ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      any = true;
      if (point) --exponent;
      if (c == '0' && digits.empty()) continue;
      digits += c;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!any) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool minus = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) minus = text[i++] == '-';
    if (i >= n) return false;
    long long e = 0;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i)
      if (e < 100000) e = e * 10 + (text[i] - '0');
    exponent += minus ? -e : e;
  }
  if (i != n) return false;
  // Digits dropped as leading zeros moved no point; trailing zeros do.
  while (!digits.empty() && digits.back() == '0') {
    digits.pop_back();
    ++exponent;
  }
  if (digits.empty()) {
    canonical = "0";
    return true;
  }
  canonical = (negative ? "-" : "") + digits + "e" + std::to_string(exponent);
  return true;
}

bool valuesEqual(const BoundValue& target, const BoundValue& source) {
  if (target.isNull() && source.isNull()) return true;
  if (target.isNull() || source.isNull()) return false;
  ValueClass s = valueClassOf(source.description.bindingType);
  ValueClass t = valueClassOf(target.description.bindingType);
  if (s == ValueClass::Other || t == ValueClass::Other) return false;
  bool narrow = source.description.bindingType == SQL_C_FLOAT ||
                target.description.bindingType == SQL_C_FLOAT;
  // Integers compare in 64 bits, so that a value beyond the target's type
  // never equals what a narrowing would have left of it.
  auto textEqualsLong = [](const std::string& text, long number) {
    long long value = 0;
    if (!textToLongLong(text, value)) value = textToLong(text);
    return value == number;
  };
  auto truncatedEqualsLong = [](double value, long number) {
    return std::trunc(value) == static_cast<double>(number);
  };

  switch (s) {
    case ValueClass::Integer:
      if (t == ValueClass::Text) return textEqualsLong(textOf(target), longOf(source));
      if (t == ValueClass::Integer) return longOf(target) == longOf(source);
      if (t == ValueClass::Floating)
        return floatingEqual(static_cast<double>(longOf(source)), doubleOf(target), narrow);
      return false;
    case ValueClass::Text: {
      std::string text = textOf(source);
      if (t == ValueClass::Text) {
        if (source.description.decimalText || target.description.decimalText)
          return decimalTextsEqual(text, textOf(target));
        return text == textOf(target);
      }
      if (t == ValueClass::Integer) return textEqualsLong(text, longOf(target));
      if (t == ValueClass::Floating)
        return floatingEqual(textToDouble(text), doubleOf(target), narrow);
      if (t == ValueClass::Timestamp) {
        TimestampValue kept;
        return target.getTimestamp(kept) && timestampKeptEqual(kept, readTimestampFields(text));
      }
      return textEqualsDated(text, target);
    }
    case ValueClass::Floating:
      if (t == ValueClass::Text)
        return floatingEqual(textToDouble(textOf(target)), doubleOf(source), narrow);
      if (t == ValueClass::Integer) return truncatedEqualsLong(doubleOf(source), longOf(target));
      if (t == ValueClass::Floating)
        return floatingEqual(doubleOf(source), doubleOf(target), narrow);
      return false;
    case ValueClass::Date:
    case ValueClass::Time:
    case ValueClass::Timestamp:
      if (t == ValueClass::Text) {
        TimestampValue sent;
        if (source.getTimestamp(sent))
          return timestampKeptEqual(readTimestampFields(textOf(target)), sent);
        return textEqualsDated(textOf(target), source);
      }
      if (!isDatedClass(t) || t != s) return false;
      {
        DateValue d1, d2;
        TimeValue t1, t2;
        TimestampValue ts1, ts2;
        if (s == ValueClass::Date) return source.getDate(d1) && target.getDate(d2) && d1 == d2;
        if (s == ValueClass::Time) return source.getTime(t1) && target.getTime(t2) && t1 == t2;
        return source.getTimestamp(ts1) && target.getTimestamp(ts2) && timestampKeptEqual(ts2, ts1);
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
