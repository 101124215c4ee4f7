#include "odbc/database_format.h"

namespace kestrel {

namespace {

struct UpdateModeName {
  UpdateMode mode;
  const char* text;
};

constexpr UpdateModeName kUpdateModes[] = {
    {UpdateMode::ForUpdate, "FORUPDATE"}, {UpdateMode::ForUpdateOf, "FORUPDATEOF"},
    {UpdateMode::None, "NONE"},           {UpdateMode::OpenCursor, "OPENCURSOR"},
    {UpdateMode::Keys, "KEYS"},
};

constexpr const char* kOpenCursorName = "LCLCSR";

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
  std::string text;
  for (const std::string& item : items) {
    if (!text.empty()) text += separator;
    text += item;
  }
  return text;
}

}  // namespace

bool quoteCharacterFor(std::string_view value, std::string& quote) {
  if (value == "NONE") {
    quote.clear();
  } else if (value == "SINGLE") {
    quote = "'";
  } else if (value == "DOUBLE") {
    quote = "\"";
  } else {
    return false;
  }
  return true;
}

bool updateModeFor(std::string_view value, UpdateMode& mode) {
  for (const auto& entry : kUpdateModes) {
    if (value == entry.text) {
      mode = entry.mode;
      return true;
    }
  }
  return false;
}

const char* updateModeText(UpdateMode mode) {
  for (const auto& entry : kUpdateModes) {
    if (entry.mode == mode) return entry.text;
  }
  return "";
}

std::string quoteIdentifier(const std::string& name, const std::string& quote) {
  if (name.empty() || quote.empty()) return name;
  // A quote character inside the name is written twice, as SQL escapes it in
  // a quoted identifier; otherwise it would end the identifier early.
  std::string quoted = quote;
  for (char ch : name) {
    if (quote.size() == 1 && ch == quote[0]) quoted += ch;
    quoted += ch;
  }
  return quoted + quote;
}

std::string qualifiedTableName(const std::string& qualifier, const std::string& creator,
                               const std::string& table) {
  std::string name;
  if (!qualifier.empty()) name += qualifier + ".";
  if (!creator.empty()) name += creator + ".";
  return name + table;
}

std::string fixedCursorName(UpdateMode mode) {
  return mode == UpdateMode::OpenCursor ? kOpenCursorName : "";
}

std::string targetSelectText(UpdateMode mode, const std::string& columns, const std::string& table,
                             const std::string& condition,
                             const std::vector<std::string>& nonKeyColumns) {
  std::string text = "SELECT " + columns + " FROM " + table;
  if (!condition.empty()) text += " WHERE " + condition;
  switch (mode) {
    case UpdateMode::ForUpdate:
      if (!nonKeyColumns.empty()) text += " FOR UPDATE";
      break;
    case UpdateMode::ForUpdateOf:
    case UpdateMode::OpenCursor:
      if (!nonKeyColumns.empty()) text += " FOR UPDATE OF " + joined(nonKeyColumns, ", ");
      break;
    case UpdateMode::None:
    case UpdateMode::Keys:
      break;
  }
  if (mode == UpdateMode::OpenCursor)
    text = std::string("DECLARE ") + kOpenCursorName + " CURSOR FOR " + text;
  return text;
}

std::string keyCondition(const std::vector<std::string>& keyColumns) {
  std::vector<std::string> terms;
  for (const std::string& key : keyColumns) terms.push_back(key + " = ?");
  return terms.empty() ? std::string() : " WHERE " + joined(terms, " AND ");
}

std::vector<DatabaseFormatPreset> databaseFormatPresets() {
  auto preset = [](const char* name, const char* fromQuote, const char* toQuote,
                   const char* toUpdate) {
    return DatabaseFormatPreset{name,
                                {{kFromCommand, kQuoteKeyword, fromQuote},
                                 {kToCommand, kQuoteKeyword, toQuote},
                                 {kToCommand, kUpdateKeyword, toUpdate}}};
  };
  return {
      preset("Standard", "NONE", "NONE", "FORUPDATE"),
      preset("Lotus Notes", "DOUBLE", "DOUBLE", "FORUPDATEOF"),
      preset("SQL server", "NONE", "NONE", "OPENCURSOR"),
      preset("SQLBase", "NONE", "NONE", "FORUPDATEOF"),
      preset("Keyed update", "NONE", "NONE", "KEYS"),
  };
}

std::string KeywordValues::keywordValue(int keyword) const {
  auto found = values_.find(keyword);
  return found == values_.end() ? std::string() : found->second;
}

void KeywordValues::setKeywordValue(int keyword, const std::string& value) {
  if (value.empty())
    values_.erase(keyword);
  else
    values_[keyword] = value;
}

size_t selectMatching(const std::vector<DatabaseFormatPreset>& presets,
                      const KeywordAccess& command) {
  for (size_t i = 0; i < presets.size(); ++i) {
    bool matches = true;
    for (const PresetSetting& setting : presets[i].settings) {
      if (setting.command != command.commandNumber()) continue;
      if (command.keywordValue(setting.keyword) != setting.value) {
        matches = false;
        break;
      }
    }
    if (matches) return i;
  }
  return 0;
}

void applySelected(const std::vector<DatabaseFormatPreset>& presets, int selected,
                   KeywordAccess& command) {
  if (selected < 0 || static_cast<size_t>(selected) >= presets.size()) return;
  for (const PresetSetting& setting : presets[static_cast<size_t>(selected)].settings) {
    if (setting.command == command.commandNumber())
      command.setKeywordValue(setting.keyword, setting.value);
  }
}

}  // namespace kestrel
