#pragma once
// Qt implementations of the core's platform interfaces, shared by kestrel's
// and wagtail's windows: the stored profile, message boxes that answer, the
// message pump, a timer tick source, and the check for a display.

#include <QObject>
#include <QSettings>
#include <QTimer>
#include <functional>

#include "base/parameter_file.h"
#include "base/platform.h"
#include "schedule/timer_scheduler.h"

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

// QMessageBox, owned by the window that is active (or none). The object name
// of every box is "messageBox" so that tests can find and answer it.
class QtMessageBox final : public MessageBox {
 public:
  void show(const std::string& text, const std::string& caption, BoxIcon icon) override;
  BoxAnswer ask(const std::string& text, const std::string& caption, BoxIcon icon,
                BoxButtons buttons) override;
};

// QCoreApplication::processEvents: keeps windows painted and buttons, menus
// and timers answered while a copy runs.
class QtMessagePump final : public MessagePump {
 public:
  void pumpMessages() override;
};

// A QTimer on the user-interface thread.
class QtTickSource final : public TickSource {
 public:
  QtTickSource();
  bool start(int intervalMs, std::function<void()> onTick) override;
  void stop() override;
  bool running() const { return timer_.isActive(); }

 private:
  QTimer timer_;
  std::function<void()> onTick_;
};

// Installs the Qt message box and pump as the program's for its lifetime.
class QtPlatformScope {
 public:
  QtPlatformScope();
  ~QtPlatformScope();
  QtPlatformScope(const QtPlatformScope&) = delete;
  QtPlatformScope& operator=(const QtPlatformScope&) = delete;

 private:
  QtMessageBox box_;
  QtMessagePump pump_;
};

// True when a window can be opened: QT_QPA_PLATFORM names a platform that
// needs no display (offscreen, minimal, vnc ...) or DISPLAY or WAYLAND_DISPLAY
// is set. Checked before QApplication is created, since Qt aborts the
// process when its platform plugin finds no display.
bool displayAvailable();

}  // namespace kestrel
