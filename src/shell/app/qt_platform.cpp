#include "shell/app/qt_platform.h"

namespace kestrel {

SettingsProfile::SettingsProfile(const QString& application)
    : settings_(QSettings::IniFormat, QSettings::UserScope, "ORVANE_DATA", application) {}

std::optional<std::string> SettingsProfile::read(const std::string& section,
                                                 const std::string& key) {
  QString path = QString::fromStdString(section) + "/" + QString::fromStdString(key);
  QVariant value = settings_.value(path);
  if (!value.isValid()) return std::nullopt;
  return value.toString().toStdString();
}

void SettingsProfile::write(const std::string& section, const std::string& key,
                            const std::string& value) {
  settings_.setValue(QString::fromStdString(section) + "/" + QString::fromStdString(key),
                     QString::fromStdString(value));
  settings_.sync();  // written through at once: a crash must not lose a setting
}

}  // namespace kestrel
