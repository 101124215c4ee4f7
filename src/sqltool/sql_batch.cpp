#include "sqltool/sql_batch.h"

#include <cstdlib>

#include "base/message_log.h"
#include "sqltool/connection_document.h"

namespace kestrel {

namespace {

class PrintedLog final : public LineSink {
 public:
  explicit PrintedLog(std::FILE* out) : out_(out) {
    log_.Configure(1000, "", false);
    log_.setLineListener([this](const LogLine& line) {
      std::fprintf(out_, "%s\n", line.text.c_str());
      std::fflush(out_);
    });
  }
  void addLine(const std::string& message, int kind) override { log_.AddLine(message, kind); }

 private:
  std::FILE* out_;
  MessageLog log_;
};

}  // namespace

std::optional<SqlBatchOptions> parseSqlBatchArguments(const std::vector<std::string>& arguments,
                                                      std::string& error) {
  SqlBatchOptions options;
  std::vector<std::string> positional;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--user" || argument == "--password-env") {
      if (i + 1 >= arguments.size()) {
        error = argument + " needs a value";
        return std::nullopt;
      }
      const std::string& value = arguments[++i];
      if (argument == "--user") {
        options.user = value;
      } else {
        const char* password = std::getenv(value.c_str());
        if (!password) {
          error = "the environment variable '" + value + "' named by --password-env is not set";
          return std::nullopt;
        }
        options.password = password;
      }
    } else if (argument == "--continue") {
      options.continueAfterError = true;
    } else if (argument == "--password") {
      error = "a password is never taken from the command line; use --password-env VAR";
      return std::nullopt;
    } else if (argument.size() > 1 && argument[0] == '-') {
      error = "unknown switch '" + argument + "'";
      return std::nullopt;
    } else {
      positional.push_back(argument);
    }
  }
  if (positional.empty() || positional.size() > 2) {
    error = positional.empty() ? "no data source named" : "too many arguments";
    return std::nullopt;
  }
  options.dataSource = positional[0];
  if (positional.size() == 2) options.sourceFile = positional[1];
  return options;
}

int runSqlBatch(const SqlBatchOptions& options, std::FILE* out) {
  PrintedLog log(out);
  SqlSource source;
  const bool standardInput = options.sourceFile.empty() || options.sourceFile == "-";
  if (!source.ReadSourceFile(standardInput ? "/dev/stdin" : options.sourceFile)) {
    log.addLine("Cannot read SQL source file '" + options.sourceFile + "'", 3);
    return 1;
  }
  ConnectionDocument document(log);
  if (!document.open(options.dataSource, options.user, options.password)) return 1;

  ConnectionDocument::RunHooks hooks;
  hooks.skipEmptyStatements = true;
  hooks.continueAfterError = [&](const std::string&) { return options.continueAfterError; };
  hooks.afterStatement = [&](bool succeeded, int32_t rowCount, double seconds) {
    if (!succeeded) return;
    char text[96];
    if (rowCount >= 0)
      std::snprintf(text, sizeof text, "Rows affected: %ld, elapsed time %.3f s",
                    static_cast<long>(rowCount), seconds);
    else
      std::snprintf(text, sizeof text, "Rows affected: unknown, elapsed time %.3f s", seconds);
    log.addLine(text, 2);
  };
  bool succeeded = document.run(source, hooks);

  std::vector<std::string> titles = document.bindResult();
  if (!titles.empty()) {
    std::string line;
    for (size_t i = 0; i < titles.size(); ++i) line += (i ? "\t" : "") + titles[i];
    std::fprintf(out, "%s\n", line.c_str());
    std::vector<std::string> cells;
    bool finished = false;
    while (!finished) {
      cells.clear();
      size_t rows = document.fetchRows(1000, cells, finished);
      for (size_t row = 0; row < rows; ++row) {
        line.clear();
        for (size_t column = 0; column < titles.size(); ++column) {
          if (column) line += '\t';
          line += cells[row * titles.size() + column];
        }
        std::fprintf(out, "%s\n", line.c_str());
      }
    }
    std::fflush(out);
  }
  document.close();
  return succeeded ? 0 : 1;
}

}  // namespace kestrel
