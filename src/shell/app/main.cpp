// kestrel: the ODBC copy and data propagation utility.
//
//   kestrel [--check | --batch | --service] [Key=Value ...] [@parameter-file ...]
//
// Assignments and parameter files set options for this run only (they are not
// stored). Exit status: 0 success, 1 the script or a run failed, 2 a command
// line error.

#include <QApplication>
#include <QIcon>
#include <QPalette>
#include <cctype>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "base/parameter_file.h"
#include "base/platform.h"
#include "shell/app/main_window.h"
#include "shell/copy_document.h"
#include "shell/headless.h"
#include "shell/stop_watchdog.h"
#include "version.h"
#include "widgets/qt_platform.h"

namespace {

const char kUsage[] =
    "Usage: kestrel [MODE] [Key=Value ...] [@parameter-file ...]\n"
    "\n"
    "kestrel copies and replicates tables between ODBC data sources, driven by a\n"
    "script file of named paragraphs (option ScriptFile).\n"
    "\n"
    "Without a mode, the main window opens. It shows every log line, runs the\n"
    "script's copy definitions on F7 (Start processing all) and by its timers,\n"
    "loads the script again on F8 (F6: load and run), edits it on F3 and the\n"
    "options on F9; F1 opens the manual, Esc ends the program. It needs a\n"
    "display; without one kestrel says so and exits 2.\n"
    "\n"
    "Modes:\n"
    "  --check     read the script as the script editor does and print what is\n"
    "              wrong with it; no database is touched. Exit 0 valid, 1 errors.\n"
    "  --batch     load the script and run every copy definition once, printing\n"
    "              every log line. Exit 0 when every run succeeded, 1 otherwise.\n"
    "  --service   load the script and run its timers without a window until\n"
    "              SIGINT or SIGTERM. Exit 0.\n"
    "  --help      this text\n"
    "  --version   the program's version\n"
    "\n"
    "Key=Value sets an option for this run only, for example\n"
    "  kestrel --batch ScriptFile=/srv/kestrel/nightly.txt ListSQL=1\n"
    "Several assignments may be joined by commas; a value with blanks or commas\n"
    "must be quoted. @file applies every Key=Value line of a parameter file.\n"
    "Stored options live in ~/.config/ORVANE_DATA/KESTREL.ini.\n";

// The first SIGINT or SIGTERM lets a run in progress stop at its next row and
// end cleanly (its temporary file removed); a second one ends the program at
// once, and so does the headless modes' watchdog when the first one has not
// ended it within a few seconds.
void onStopSignal(int) {
  if (kestrel::programStopRequested()) std::_Exit(130);
  kestrel::requestProgramStop();
}

void installStopSignals() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// The switches with which the platform's automation services would start
// the program: start-up ends successfully without a window.
bool automationStart(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) continue;
    std::string name = argument.substr(1);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "embedding" || name == "automation") return true;
  }
  return false;
}

// Every dialog of the program: light grey with black text.
void setDialogColours() {
  QPalette dialogs = QApplication::palette();
  dialogs.setColor(QPalette::Window, QColor(192, 192, 192));
  dialogs.setColor(QPalette::WindowText, Qt::black);
  QApplication::setPalette(dialogs, "QDialog");
}

int runWindow(int argc, char** argv, std::time_t startTime) {
  QApplication application(argc, argv);
  QGuiApplication::setDesktopFileName("org.orvanedata.Kestrel");
  QApplication::setWindowIcon(QIcon::fromTheme(
      "org.orvanedata.Kestrel", QIcon(":/icons/256x256/org.orvanedata.Kestrel.png")));
  setDialogColours();
  kestrel::QtPlatformScope platform;

  // QApplication has taken its own options out of argv.
  std::vector<std::string> assignments;
  for (int i = 1; i < argc; ++i) {
    if (*argv[i]) assignments.emplace_back(argv[i]);
  }
  kestrel::SettingsProfile profile("KESTREL");
  kestrel::ParameterFile parameters(profile);
  kestrel::DefineKestrelOptions(parameters);
  if (!parameters.ProcessCommandLine(kestrel::commandLineFromArguments(assignments))) return 2;

  kestrel::CopyDocument document(parameters);
  kestrel::MainWindow window(document, startTime);
  QObject::connect(&window, &kestrel::MainWindow::exited, &application, &QApplication::quit,
                   Qt::QueuedConnection);
  window.show();
  window.initialUpdate();
  installStopSignals();
  application.exec();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::time_t startTime = std::time(nullptr);
  QCoreApplication::setOrganizationName("ORVANE_DATA");
  QCoreApplication::setApplicationName("KESTREL");

  std::string mode;
  std::vector<std::string> assignments;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (std::strncmp(argument, "--", 2) != 0) {
      if (*argument) assignments.emplace_back(argument);
      continue;
    }
    if (!std::strcmp(argument, "--help")) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (!std::strcmp(argument, "--version")) {
      std::printf("kestrel %s\n", KESTREL_VERSION);
      return 0;
    }
    if (!std::strcmp(argument, "--check") || !std::strcmp(argument, "--batch") ||
        !std::strcmp(argument, "--service")) {
      if (!mode.empty()) {
        std::fprintf(stderr, "kestrel: %s and %s cannot be combined\n", mode.c_str(), argument);
        return 2;
      }
      mode = argument;
      continue;
    }
    std::fprintf(stderr, "kestrel: unknown switch '%s' (see kestrel --help)\n", argument);
    return 2;
  }

  if (mode.empty()) {
    if (automationStart(assignments)) return 0;
    if (!kestrel::displayAvailable()) {
      std::fputs(
          "kestrel: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set); "
          "without a window use kestrel --batch, --service or --check\n",
          stderr);
      return 2;
    }
    return runWindow(argc, argv, startTime);
  }

  kestrel::SettingsProfile profile("KESTREL");
  kestrel::ParameterFile parameters(profile);
  kestrel::DefineKestrelOptions(parameters);
  if (!parameters.ProcessCommandLine(kestrel::commandLineFromArguments(assignments))) return 2;

  if (mode == "--check") return kestrel::runCheck(parameters);
  if (mode == "--batch") {
    installStopSignals();
    kestrel::startStopWatchdog();
    return kestrel::runBatch(parameters);
  }
  if (mode == "--service") {
    installStopSignals();
    kestrel::startStopWatchdog();
    return kestrel::runService(parameters);
  }
  std::fprintf(stderr, "kestrel: %s is not available yet in this build\n", mode.c_str());
  return 2;
}
