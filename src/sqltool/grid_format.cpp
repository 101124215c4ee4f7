#include "sqltool/grid_format.h"

#include <cstdio>
#include <cstring>

namespace kestrel {

std::string formatGridValue(const BoundValue& value) {
  if (value.isNull()) return "[NULL]";
  char text[64] = {0};
  switch (valueClassOf(value.description.bindingType)) {
    case ValueClass::Text: {
      std::string result;
      value.getText(result);
      if (result.size() > kMaxGridCellLength) result.resize(kMaxGridCellLength);
      return result;
    }
    case ValueClass::Integer: {
      int32_t number = 0;
      value.getLong(number);
      std::snprintf(text, sizeof text, "%ld", static_cast<long>(number));
      return text;
    }
    case ValueClass::Floating: {
      double number = 0;
      value.getDouble(number);
      std::snprintf(text, sizeof text, "%24E", number);
      return text;
    }
    case ValueClass::Date: {
      DateValue date;
      value.getDate(date);
      std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
      return text;
    }
    case ValueClass::Time: {
      TimeValue time;
      value.getTime(time);
      std::snprintf(text, sizeof text, "%02d:%02d:%02d", time.hour, time.minute, time.second);
      return text;
    }
    case ValueClass::Timestamp: {
      TimestampValue stamp;
      value.getTimestamp(stamp);
      std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%09ld", stamp.year,
                    stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second,
                    static_cast<long>(stamp.fraction));
      return text;
    }
    case ValueClass::Other:
      break;
  }
  return "";
}

void dropDecimalPoint(BoundValue& value) {
  if (value.isNull() || valueClassOf(value.description.bindingType) != ValueClass::Text) return;
  int32_t length = value.indicator();
  if (length <= 0 || length > value.description.bindingLength) return;
  char* text = value.data();
  if (text[length - 1] != '.') return;
  std::memmove(text + 1, text, static_cast<size_t>(length - 1));
  text[0] = ' ';
}

}  // namespace kestrel
