#pragma once
// Qt implementations of the core's platform interfaces for kestrel.

#include <QSettings>

#include "base/parameter_file.h"
#include "base/platform.h"

namespace kestrel {

// Stored options in an INI file: organisation ORVANE_DATA, one group per
// section, one key per option. XDG_CONFIG_HOME moves the file.
class SettingsProfile final : public Profile {
 public:
  explicit SettingsProfile(const QString& application);
  std::optional<std::string> read(const std::string& section, const std::string& key) override;
  void write(const std::string& section, const std::string& key, const std::string& value) override;
  QString fileName() const { return settings_.fileName(); }

 private:
  QSettings settings_;
};

}  // namespace kestrel
