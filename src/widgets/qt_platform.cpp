#include "widgets/qt_platform.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>
#include <cstdlib>
#include <cstring>

#include "base/shown_text.h"

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

namespace {

QMessageBox::Icon qtIcon(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Information:
      return QMessageBox::Information;
    case BoxIcon::Warning:
      return QMessageBox::Warning;
    case BoxIcon::Error:
      return QMessageBox::Critical;
    case BoxIcon::Question:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

QWidget* boxParent() {
  if (QWidget* active = QApplication::activeModalWidget()) return active;
  if (QWidget* active = QApplication::activeWindow()) return active;
  return nullptr;
}

}  // namespace

void QtMessageBox::show(const std::string& text, const std::string& caption, BoxIcon icon) {
  QMessageBox box(qtIcon(icon), QString::fromStdString(visibleText(caption)),
                  QString::fromStdString(visibleText(text, LineFeeds::Kept)), QMessageBox::Ok,
                  boxParent());
  box.setObjectName("messageBox");
  box.exec();
}

BoxAnswer QtMessageBox::ask(const std::string& text, const std::string& caption, BoxIcon icon,
                            BoxButtons buttons) {
  const bool yesNo = buttons == BoxButtons::YesNo;
  QMessageBox box(
      qtIcon(icon), QString::fromStdString(visibleText(caption)),
      QString::fromStdString(visibleText(text, LineFeeds::Kept)),
      yesNo ? (QMessageBox::Yes | QMessageBox::No) : (QMessageBox::Ok | QMessageBox::Cancel),
      boxParent());
  box.setObjectName("messageBox");
  box.setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
  box.setEscapeButton(yesNo ? QMessageBox::No : QMessageBox::Cancel);
  const int pressed = box.exec();
  if (yesNo) return pressed == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
  return pressed == QMessageBox::Ok ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

void QtMessagePump::pumpMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

QtTickSource::QtTickSource() {
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    // A copy: the tick may stop this source (a run stops the scheduler).
    std::function<void()> tick = onTick_;
    if (tick) tick();
  });
}

bool QtTickSource::start(int intervalMs, std::function<void()> onTick) {
  if (intervalMs <= 0) {
    stop();
    return false;
  }
  onTick_ = std::move(onTick);
  timer_.start(intervalMs);
  return true;
}

void QtTickSource::stop() {
  timer_.stop();
  onTick_ = nullptr;
}

QtPlatformScope::QtPlatformScope() {
  setProgramMessageBox(&box_);
  setProgramMessagePump(&pump_);
}

QtPlatformScope::~QtPlatformScope() {
  setProgramMessagePump(nullptr);
  setProgramMessageBox(nullptr);
}

bool displayAvailable() {
  auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
  };
  if (set("QT_QPA_PLATFORM")) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    // Platforms that draw into memory or serve their own display.
    for (const char* headless :
         {"offscreen", "minimal", "vnc", "linuxfb", "eglfs", "vkkhrdisplay"}) {
      if (!std::strncmp(platform, headless, std::strlen(headless))) return true;
    }
    if (!std::strncmp(platform, "wayland", 7)) return set("WAYLAND_DISPLAY");
    if (!std::strncmp(platform, "xcb", 3)) return set("DISPLAY");
  }
  return set("DISPLAY") || set("WAYLAND_DISPLAY");
}

}  // namespace kestrel
