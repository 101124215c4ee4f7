// The statement splitter and the SQL source's line rules.

#include "sqltool/sql_source.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "odbc_test_folder.h"

namespace kestrel {
namespace {

struct RecordingSink final : LineSink {
  std::vector<std::pair<std::string, int>> lines;
  void addLine(const std::string& message, int kind) override { lines.emplace_back(message, kind); }
};

std::vector<std::string> statementsOf(const std::string& crlfText) {
  SqlSource source;
  source.SetSourceText(crlfText);
  std::vector<std::string> statements;
  while (std::optional<std::string> statement = source.NextStatement(nullptr))
    statements.push_back(*statement);
  return statements;
}

struct SplitCase {
  const char* name;
  const char* source;
  std::vector<std::string> statements;
};

class StatementSplitting : public testing::TestWithParam<SplitCase> {};

TEST_P(StatementSplitting, YieldsTheStatementsInOrder) {
  EXPECT_EQ(statementsOf(GetParam().source), GetParam().statements);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatementSplitting,
    testing::Values(
        SplitCase{
            "TwoLinesTwoStatements", "SELECT 1;\r\nSELECT 2;\r\n", {"SELECT 1 ", "SELECT 2 "}},
        SplitCase{
            "ContinuedColumnList", "SELECT a,\r\n     b FROM t;\r\n", {"SELECT a, b FROM t "}},
        SplitCase{"RestOfLineAfterSemicolonDropped", "SELECT 1; SELECT 2;\r\n", {"SELECT 1 "}},
        SplitCase{"DoubleHyphenCommentSkipped", "  -- note\r\nSELECT 1;", {"SELECT 1 "}},
        SplitCase{"SingleHyphenIsSql", "-1;\r\n", {"-1 "}},
        SplitCase{"TabBeforeHyphensIsSql", "\t-- x;\r\n", {"\t-- x "}},
        SplitCase{"SemicolonInSingleQuotes", "SELECT 'a;b' FROM t;", {"SELECT 'a;b' FROM t "}},
        SplitCase{"SemicolonInDoubleQuotes", "SELECT \"a;b\";", {"SELECT \"a;b\" "}},
        SplitCase{
            "ApostropheInsideDoubleQuotes", "SELECT \"it's\"; SELECT 2;", {"SELECT \"it's\" "}},
        SplitCase{"QuoteEndsWithItsLine",
                  "SELECT 'open\r\n;\r\nSELECT 2;",
                  {"SELECT 'open  ", "SELECT 2 "}},
        SplitCase{"NoSemicolonIsOneStatement", "SELECT 1\r\nFROM t", {"SELECT 1 FROM t "}},
        SplitCase{"EmptyStatementEndsTheSource", "SELECT 1;\r\n;\r\nSELECT 2;", {"SELECT 1 "}},
        SplitCase{"BlankLinesOnly", "\r\n   \r\n", {}}),
    [](const testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

TEST(StatementSplitter, EchoesEveryConsumedLineAsKindOne) {
  SqlSource source;
  source.SetSourceText("-- comment\r\nSELECT 1,\r\n  2;\r\n   \r\n");
  RecordingSink sink;
  EXPECT_EQ(source.NextStatement(&sink), std::optional<std::string>("SELECT 1, 2 "));
  EXPECT_FALSE(source.NextStatement(&sink));
  EXPECT_FALSE(source.stoppedAtEmptyStatement());
  ASSERT_EQ(sink.lines.size(), 4u);  // the blank line is offered too; the log drops it
  EXPECT_EQ(sink.lines[0], (std::pair<std::string, int>{"-- comment", 1}));
  EXPECT_EQ(sink.lines[2], (std::pair<std::string, int>{"  2;", 1}));
}

TEST(StatementSplitter, TellsAnEmptyStatementFromTheEnd) {
  SqlSource source;
  source.SetSourceText("SELECT 1;\r\n;\r\nSELECT 2;\r\n");
  ASSERT_TRUE(source.NextStatement(nullptr));
  EXPECT_FALSE(source.NextStatement(nullptr));
  EXPECT_TRUE(source.stoppedAtEmptyStatement());
  EXPECT_EQ(source.lineNumber(), 2u);
  EXPECT_EQ(source.NextStatement(nullptr), std::optional<std::string>("SELECT 2 "));
  source.Rewind();
  EXPECT_EQ(source.NextStatement(nullptr), std::optional<std::string>("SELECT 1 "));
}

TEST(SqlSourceText, SplitsAtCrLfAndKeepsPreviousLinesForEmptyText) {
  SqlSource source;
  source.SetSourceText("a\r\nb\nc\r\nlast");
  EXPECT_EQ(source.lines(), (std::vector<std::string>{"a", "b\nc", "last"}));
  EXPECT_EQ(source.GetSourceText(), "a\r\nb\nc\r\nlast\r\n");
  source.SetSourceText("");
  EXPECT_EQ(source.lines().size(), 3u);
  source.SetSourceText("x\r\n");
  EXPECT_EQ(source.lines(), (std::vector<std::string>{"x"}));
}

TEST(SqlSourceFile, ReadsLinesDropsCrAndSplitsOverlongLines) {
  test::OdbcTestFolder folder;
  const std::string name = folder.file("source.sql");
  const std::string longLine(SqlSource::kMaxLineLength + 3, 'x');
  {
    std::ofstream out(name, std::ios::binary);
    out << "SELECT 1;\r\n" << longLine << "\n\nno line feed";
  }
  SqlSource source;
  source.SetSourceText("old");
  ASSERT_TRUE(source.ReadSourceFile(name));
  EXPECT_EQ(source.lines(),
            (std::vector<std::string>{"SELECT 1;", std::string(SqlSource::kMaxLineLength, 'x'),
                                      "xxx", "", "no line feed"}));

  EXPECT_FALSE(source.ReadSourceFile(folder.file("missing.sql")));
  EXPECT_EQ(source.lines().size(), 5u);

  const std::string copy = folder.file("copy.sql");
  ASSERT_TRUE(source.WriteSourceFile(copy));
  SqlSource again;
  ASSERT_TRUE(again.ReadSourceFile(copy));
  EXPECT_EQ(again.lines(), source.lines());
  EXPECT_FALSE(source.WriteSourceFile(folder.file("no/such/folder.sql")));
}

}  // namespace
}  // namespace kestrel
