#pragma once
// An edit definition: the CHANGE rules and the coding of one EDITDEFINITION
// paragraph, as the column transforms apply them.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/column_transforms.h"
#include "script/definitions.h"

namespace kestrel {

using EditChange = ChangeRule;

class EditDefinition : public Definition {
 public:
  EditDefinition(std::string name, const DefinitionSettings& settings);

  int kind() const override { return kEditKind; }
  bool setCommand(int commandId, const std::string& argument) override;
  bool setKeyword(int commandId, int keywordId, const std::string& value) override;

  std::vector<EditChange> changes;  // script order
  std::int32_t codedKey = 0;
  bool coded = false;
  bool debug = false;
  // Built on the first coding of a value; kept until the model is cleared.
  std::unique_ptr<CodingTables> codingTables;
  // The rules as the transforms apply them (builds the coding tables' owner
  // on first use when CODED was given).
  EditRules editRules();
};

// The first edit definition of that name in the model, or nullptr.
EditDefinition* findEditDefinition(const ScriptModel& model, const std::string& name);

}  // namespace kestrel
