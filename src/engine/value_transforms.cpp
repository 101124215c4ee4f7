#include "engine/value_transforms.h"

#include <sqlext.h>

#include <cstdlib>
#include <ctime>

#include "base/platform.h"
#include "engine/column_transforms.h"
#include "engine/copy_definition.h"
#include "engine/edit_definition.h"
#include "engine/temporary_file.h"

namespace kestrel {

namespace {

DateValue today() {
  std::time_t now = programClock().now();
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

}  // namespace

bool transformSourceValue(const CopyColumn& column, BoundValue& value, bool targetIsNumber,
                          std::string& error) {
  if (value.isNull()) return true;
  const ColumnDescription& d = value.description;
  EditDefinition* editDefinition = column.editDefinition;
  switch (valueClassOf(d.bindingType)) {
    case ValueClass::Text: {
      if (d.bindingType != SQL_C_CHAR) return true;
      std::string text;
      value.getText(text);
      bool rewrite = false;
      if (column.translateTable) {
        for (char& c : text)
          c = static_cast<char>(column.translateTable->table[static_cast<unsigned char>(c)]);
        rewrite = true;
      }
      if (editDefinition) {
        text = edit(editDefinition->editRules(), text, targetIsNumber);
        rewrite = true;
      }
      if (rewrite) {
        if (text.size() > static_cast<std::size_t>(d.bindingLength)) {
          error = "Edited value of column " + d.name + " is " + std::to_string(text.size()) +
                  " bytes long and does not fit its buffer of " + std::to_string(d.bindingLength) +
                  " bytes";
          return false;
        }
        value.setText(text);
      }
      if (column.leftTrim) {
        std::int32_t n = value.indicator();
        while (n > 1 && value.data()[n - 1] == ' ') --n;
        if (n < value.indicator()) value.setIndicator(n);
      }
      return true;
    }
    case ValueClass::Integer: {
      if (!editDefinition) return true;
      std::int32_t number = 0;
      value.getLong(number);
      bool fits = true;
      std::int32_t edited = editInteger(editDefinition->editRules(), number, &fits);
      std::int32_t stored = edited;
      value.setLong(edited);
      value.getLong(stored);
      if (!fits || stored != edited) {
        error = "Edited value of column " + d.name + " does not fit its integer type";
        return false;
      }
      return true;
    }
    case ValueClass::Floating: {
      if (!editDefinition) return true;
      double number = 0;
      value.getDouble(number);
      value.setDouble(editFloat(editDefinition->editRules(), number));
      return true;
    }
    default:
      (void)targetIsNumber;
      return true;
  }
}

bool setColumnValue(const SetColumn& column, BoundValue& parameter) {
  const std::string& text = column.value;
  switch (valueClassOf(parameter.description.bindingType)) {
    case ValueClass::Text:
      if (column.currentDate) {
        char buffer[16];
        DateValue d = today();
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", d.year, d.month, d.day);
        return parameter.setText(buffer);
      }
      return parameter.setText(text);
    case ValueClass::Integer:
      return parameter.setLong(static_cast<std::int32_t>(readDecimalInteger(text)));
    case ValueClass::Floating:
      return parameter.setDouble(keyTextToNumber(
          text.data(), static_cast<std::int32_t>(std::min<std::size_t>(text.size(), 69))));
    case ValueClass::Date:
      return parameter.setDate(column.currentDate ? today() : readDateFields(text));
    case ValueClass::Time:
      return parameter.setTime(readTimeFields(text));
    case ValueClass::Timestamp: {
      if (!column.currentDate) return parameter.setTimestamp(readTimestampFields(text));
      DateValue d = today();
      TimestampValue t;
      t.year = d.year;
      t.month = d.month;
      t.day = d.day;
      return parameter.setTimestamp(t);
    }
    default:
      return false;
  }
}

}  // namespace kestrel
