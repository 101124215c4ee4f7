#include "engine/edit_definition.h"

#include "script/script_numbers.h"

namespace kestrel {

namespace {
namespace k = keyword_id;
namespace c = command_id;
}  // namespace

EditDefinition::EditDefinition(std::string name, const DefinitionSettings& settings)
    : Definition(std::move(name)), debug(settings.debugMode) {}

EditRules EditDefinition::editRules() {
  if (coded && !codingTables) codingTables = std::make_unique<CodingTables>(codedKey, debug);
  return {changes, coded ? codingTables.get() : nullptr};
}

bool EditDefinition::setCommand(int commandId, const std::string& argument) {
  if (commandId == c::Coded) {
    codedKey = leadingNumber(argument);
    coded = true;
    return true;
  }
  if (commandId == c::Change) {
    changes.push_back({argument, std::string()});
    return true;
  }
  return false;
}

bool EditDefinition::setKeyword(int commandId, int keywordId, const std::string& value) {
  if (commandId != c::Change || keywordId != k::To || changes.empty()) return false;
  changes.back().toText = value;
  return true;
}

EditDefinition* findEditDefinition(const ScriptModel& model, const std::string& name) {
  return static_cast<EditDefinition*>(model.Find(kEditKind, name));
}

}  // namespace kestrel
