// wagtail: the interactive ODBC SQL test tool.
//
//   wagtail                      the window, one connection document at start
//   wagtail --batch [--user NAME] [--password-env VAR] [--continue] DSN [FILE|-]
//
// Exit status of --batch: 0 every statement succeeded, 1 a statement or the
// connection failed, 2 a command-line error.

#include <QApplication>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "odbc/odbc.h"
#include "sqltool/app/connection_window.h"
#include "sqltool/app/main_window.h"
#include "sqltool/sql_batch.h"
#include "version.h"
#include "widgets/qt_platform.h"

namespace {

const char kUsage[] =
    "Usage: wagtail\n"
    "       wagtail --batch [--user NAME] [--password-env VAR] [--continue] DSN [FILE|-]\n"
    "\n"
    "wagtail tries SQL against ODBC data sources: each document window is one\n"
    "connection with its own log; SQL is typed in or read from .sql files, and\n"
    "the last result is shown in a grid.\n"
    "\n"
    "  --batch     run the SQL of FILE (standard input when FILE is absent or \"-\")\n"
    "              on the data source DSN without a window: every log line and,\n"
    "              after the last statement, its result as tab-separated lines.\n"
    "              Stops at the first failed statement. Exit 0 when every\n"
    "              statement succeeded, 1 otherwise.\n"
    "  --user NAME         the user id for the connection\n"
    "  --password-env VAR  the environment variable holding the password\n"
    "                      (a password is never taken from the command line)\n"
    "  --continue  go on after a failed statement (the exit status is still 1)\n"
    "  --help      this text\n"
    "  --version   the program's version\n"
    "\n"
    "Exit status 2 is a command-line error. Stored settings live in\n"
    "~/.config/ORVANE_DATA/WAGTAIL.ini.\n";

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication::setOrganizationName("ORVANE_DATA");
  QCoreApplication::setApplicationName("WAGTAIL");

  if (argc > 1) {
    const std::string first = argv[1];
    if (first == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (first == "--version") {
      std::printf("wagtail %s\n", KESTREL_VERSION);
      return 0;
    }
    if (first != "--batch") {
      std::fprintf(stderr, "wagtail: unknown argument '%s' (see wagtail --help)\n", argv[1]);
      return 2;
    }
    std::vector<std::string> arguments(argv + 2, argv + argc);
    std::string error;
    std::optional<kestrel::SqlBatchOptions> options =
        kestrel::parseSqlBatchArguments(arguments, error);
    if (!options) {
      std::fprintf(stderr, "wagtail: %s (see wagtail --help)\n", error.c_str());
      return 2;
    }
    return kestrel::runSqlBatch(*options, stdout);
  }

  if (!kestrel::displayAvailable()) {
    std::fprintf(stderr,
                 "wagtail: no display to open a window on (DISPLAY is not set); "
                 "wagtail --batch needs none\n");
    return 2;
  }
  QApplication application(argc, argv);
  // The window belongs to the menu entry of the same name (Wayland uses it for the icon).
  QGuiApplication::setDesktopFileName("org.orvanedata.Wagtail");
  std::setlocale(LC_NUMERIC, "C");
  kestrel::QtPlatformScope platform;
  kestrel::SettingsProfile profile("WAGTAIL");

  kestrel::OdbcEnvironment& environment = kestrel::odbcEnvironment();
  if (!environment.open(true)) {
    kestrel::programMessageBox().show("Cannot open ODBC interface", "TALON startup error",
                                      kestrel::BoxIcon::Error);
    return 1;
  }
  kestrel::WagtailMainWindow window(profile);
  window.show();
  window.newDocument();
  return application.exec();
}
