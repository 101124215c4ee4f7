// wagtail_grid DSN USER PASSWORD TABLE
//
// What the result grid costs: executes "SELECT * FROM TABLE" on a wagtail
// connection document, binds the result and reads every row formatted into a
// TableList, in batches as the grid window's worker hands them over, with
// column widths measured per character as the window measures ASCII text.
// Compare its time with odbc_read_limit on the same table.
//
// Prints rows, seconds, the cell text held and the peak resident memory.
// Exit 0 on success, 1 on any failure.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "sqltool/connection_document.h"
#include "sqltool/table_list.h"

namespace {

class PrintedErrors final : public kestrel::LineSink {
 public:
  void addLine(const std::string& message, int kind) override {
    if (kind == 3) std::fprintf(stderr, "wagtail_grid: %s\n", message.c_str());
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: wagtail_grid DSN USER PASSWORD TABLE\n");
    return 1;
  }
  auto started = std::chrono::steady_clock::now();
  PrintedErrors log;
  kestrel::ConnectionDocument document(log);
  if (!document.open(argv[1], argv[2], argv[3])) return 1;
  if (!document.execute(std::string("SELECT * FROM ") + argv[4])) return 1;
  std::vector<std::string> titles = document.bindResult();
  if (titles.empty()) return 1;
  kestrel::TableList list({},
                          [](std::string_view text) { return static_cast<int>(text.size()) * 7; });
  for (const std::string& title : titles) list.addColumn(title);
  bool finished = false;
  size_t textBytes = 0;
  std::vector<std::string> cells;
  while (!finished) {
    cells.clear();
    size_t rows = document.fetchRows(2000, cells, finished);
    for (size_t row = 0; row < rows; ++row)
      list.addRow(cells.data() + row * titles.size(), titles.size());
    for (const std::string& cell : cells) textBytes += cell.size();
  }
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%s: %zu rows x %zu columns in %.2f s, %.1f MB cell text, peak RSS %.1f MB\n",
              argv[4], list.rowCount(), list.columnCount(), seconds, textBytes / 1e6,
              usage.ru_maxrss / 1024.0);
  return 0;
}
