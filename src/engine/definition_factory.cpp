#include "engine/definition_factory.h"

#include <memory>
#include <string>

#include "engine/copy_definition.h"
#include "engine/edit_definition.h"
#include "schedule/lock_definition.h"

namespace kestrel {

namespace {

class RunnableDefinitionFactory final : public DefinitionFactory {
 public:
  std::unique_ptr<Definition> create(int kind, std::string name,
                                     const DefinitionSettings& settings) const override {
    switch (kind) {
      case kCopyKind:
        return std::make_unique<CopyDefinition>(std::move(name), settings);
      case kEditKind:
        return std::make_unique<EditDefinition>(std::move(name), settings);
      case kLockKind:
        return std::make_unique<LockDefinition>(std::move(name));
    }
    return createScriptDefinition(kind, std::move(name), settings);
  }
};

}  // namespace

const DefinitionFactory& runnableDefinitions() {
  static const RunnableDefinitionFactory factory;
  return factory;
}

}  // namespace kestrel
