// wagtail: the interactive ODBC SQL test tool.

#include <cstdio>
#include <cstring>

#include "version.h"

int main(int argc, char** argv) {
  if (argc > 1 && !std::strcmp(argv[1], "--version")) {
    std::printf("wagtail %s\n", KESTREL_VERSION);
    return 0;
  }
  std::fprintf(stderr, "wagtail: the SQL test tool is not available yet in this build\n");
  return argc > 1 && !std::strcmp(argv[1], "--help") ? 0 : 2;
}
