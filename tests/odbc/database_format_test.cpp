// Quoting, update modes and the database format presets of the FROM and TO
// dialogs.

#include "odbc/database_format.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(QuoteValue, KnowsExactlyTheThreeTexts) {
  std::string quote = "?";
  ASSERT_TRUE(quoteCharacterFor("NONE", quote));
  EXPECT_EQ(quote, "");
  ASSERT_TRUE(quoteCharacterFor("SINGLE", quote));
  EXPECT_EQ(quote, "'");
  ASSERT_TRUE(quoteCharacterFor("DOUBLE", quote));
  EXPECT_EQ(quote, "\"");
  for (const char* bad : {"single", "Double", "", "NONE ", "BACKTICK"}) {
    EXPECT_FALSE(quoteCharacterFor(bad, quote)) << bad;
    EXPECT_EQ(quote, "\"");
  }
}

TEST(UpdateValue, MapsTextsToModesInOrder) {
  struct Case {
    const char* text;
    UpdateMode mode;
  };
  for (Case c : {Case{"FORUPDATE", UpdateMode::ForUpdate},
                 Case{"FORUPDATEOF", UpdateMode::ForUpdateOf}, Case{"NONE", UpdateMode::None},
                 Case{"OPENCURSOR", UpdateMode::OpenCursor}, Case{"KEYS", UpdateMode::Keys}}) {
    UpdateMode mode = UpdateMode::None;
    ASSERT_TRUE(updateModeFor(c.text, mode)) << c.text;
    EXPECT_EQ(mode, c.mode);
    EXPECT_STREQ(updateModeText(mode), c.text);
  }
  EXPECT_EQ(static_cast<int>(UpdateMode::OpenCursor), 3);
  EXPECT_EQ(static_cast<int>(UpdateMode::Keys), 4);
  UpdateMode mode = UpdateMode::Keys;
  EXPECT_FALSE(updateModeFor("forupdate", mode));
  EXPECT_FALSE(updateModeFor("", mode));
  EXPECT_EQ(mode, UpdateMode::Keys);
  EXPECT_EQ(kDefaultUpdateMode, UpdateMode::ForUpdate);
}

TEST(QualifiedName, WrapsNonEmptyPartsAndSkipsEmptyOnes) {
  std::string q = "'";
  EXPECT_EQ(qualifiedTableName("", quoteIdentifier("ADM", q), quoteIdentifier("T1", q)),
            "'ADM'.'T1'");
  EXPECT_EQ(quoteIdentifier("", q), "");
  EXPECT_EQ(qualifiedTableName("", "", "T1"), "T1");
  EXPECT_EQ(qualifiedTableName("DB", "", "T1"), "DB.T1");
  EXPECT_EQ(qualifiedTableName("DB", "ADM", "T1"), "DB.ADM.T1");
  EXPECT_EQ(qualifiedTableName(quoteIdentifier("DB", "\""), "", quoteIdentifier("T 1", "\"")),
            "\"DB\".\"T 1\"");
  EXPECT_EQ(quoteIdentifier("T1", ""), "T1");
  // A quote character inside the name is doubled; the other one is plain text.
  EXPECT_EQ(quoteIdentifier("A\"B\"", "\""), "\"A\"\"B\"\"\"");
  EXPECT_EQ(quoteIdentifier("O'Hara\"", "'"), "'O''Hara\"'");
  EXPECT_EQ(quoteIdentifier("O'Hara\"", ""), "O'Hara\"");
}

TEST(TargetSelect, ShapesEachUpdateMode) {
  std::vector<std::string> nonKeys = {"B", "C"};
  EXPECT_EQ(targetSelectText(UpdateMode::ForUpdate, "A, B, C", "T", "", nonKeys),
            "SELECT A, B, C FROM T FOR UPDATE");
  EXPECT_EQ(targetSelectText(UpdateMode::ForUpdate, "A, B, C", "T", "A > 1", nonKeys),
            "SELECT A, B, C FROM T WHERE A > 1 FOR UPDATE");
  EXPECT_EQ(targetSelectText(UpdateMode::ForUpdate, "A", "T", "", {}), "SELECT A FROM T");
  EXPECT_EQ(targetSelectText(UpdateMode::ForUpdateOf, "A, B, C", "T", "", nonKeys),
            "SELECT A, B, C FROM T FOR UPDATE OF B, C");
  EXPECT_EQ(targetSelectText(UpdateMode::ForUpdateOf, "A", "T", "", {}), "SELECT A FROM T");
  EXPECT_EQ(targetSelectText(UpdateMode::None, "A, B, C", "T", "A > 1", nonKeys),
            "SELECT A, B, C FROM T WHERE A > 1");
  EXPECT_EQ(targetSelectText(UpdateMode::OpenCursor, "A, B, C", "T", "", nonKeys),
            "DECLARE LCLCSR CURSOR FOR SELECT A, B, C FROM T FOR UPDATE OF B, C");
  EXPECT_EQ(targetSelectText(UpdateMode::Keys, "A, B, C", "T", "", nonKeys),
            "SELECT A, B, C FROM T");
  EXPECT_EQ(fixedCursorName(UpdateMode::OpenCursor), "LCLCSR");
  EXPECT_EQ(fixedCursorName(UpdateMode::ForUpdate), "");
  EXPECT_EQ(keyCondition({"K1", "K2"}), " WHERE K1 = ? AND K2 = ?");
  EXPECT_EQ(keyCondition({}), "");
}

TEST(Presets, AreTheNamedFormatsInDialogOrder) {
  std::vector<DatabaseFormatPreset> presets = databaseFormatPresets();
  std::vector<std::string> names;
  for (const auto& p : presets) names.push_back(p.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Standard", "Lotus Notes", "SQL server", "SQLBase",
                                             "Keyed update"}));
  // Each sets FROM QUOTE, TO QUOTE and TO UPDATE.
  for (const auto& p : presets) {
    ASSERT_EQ(p.settings.size(), 3u) << p.name;
    EXPECT_EQ(p.settings[0].command, kFromCommand);
    EXPECT_EQ(p.settings[0].keyword, kQuoteKeyword);
    EXPECT_EQ(p.settings[1].command, kToCommand);
    EXPECT_EQ(p.settings[1].keyword, kQuoteKeyword);
    EXPECT_EQ(p.settings[2].command, kToCommand);
    EXPECT_EQ(p.settings[2].keyword, kUpdateKeyword);
  }
}

struct MatchCase {
  std::string name;
  int command;
  std::string quote;   // empty: keyword absent
  std::string update;  // empty: keyword absent
  std::string selected;
};

void PrintTo(const MatchCase& c, std::ostream* out) { *out << c.name; }

class SelectMatchingTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(SelectMatchingTest, SelectsTheFirstMatchingPresetOrTheFirst) {
  const MatchCase& c = GetParam();
  std::vector<DatabaseFormatPreset> presets = databaseFormatPresets();
  KeywordValues command(c.command);
  command.setKeywordValue(kQuoteKeyword, c.quote);
  command.setKeywordValue(kUpdateKeyword, c.update);
  EXPECT_EQ(presets[selectMatching(presets, command)].name, c.selected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SelectMatchingTest,
    ::testing::Values(MatchCase{"ToLotusNotes", kToCommand, "DOUBLE", "FORUPDATEOF", "Lotus Notes"},
                      MatchCase{"ToNoPresetMatches", kToCommand, "DOUBLE", "NONE", "Standard"},
                      MatchCase{"ToSqlServer", kToCommand, "NONE", "OPENCURSOR", "SQL server"},
                      MatchCase{"ToSqlBase", kToCommand, "NONE", "FORUPDATEOF", "SQLBase"},
                      MatchCase{"ToKeyed", kToCommand, "NONE", "KEYS", "Keyed update"},
                      MatchCase{"ToWithoutUpdate", kToCommand, "NONE", "", "Standard"},
                      MatchCase{"FromNone", kFromCommand, "NONE", "", "Standard"},
                      MatchCase{"FromDouble", kFromCommand, "DOUBLE", "", "Lotus Notes"},
                      MatchCase{"FromWithoutQuote", kFromCommand, "", "", "Standard"},
                      MatchCase{"FromSingle", kFromCommand, "SINGLE", "", "Standard"}),
    [](const auto& info) { return info.param.name; });

TEST(ApplySelected, ChangesOnlyTheKeywordsOfItsOwnCommand) {
  std::vector<DatabaseFormatPreset> presets = databaseFormatPresets();
  KeywordValues from(kFromCommand);
  from.setKeywordValue(kQuoteKeyword, "DOUBLE");
  from.setKeywordValue(3, "KEPT");
  applySelected(presets, 2, from);  // "SQL server"
  EXPECT_EQ(from.values(), (std::map<int, std::string>{{3, "KEPT"}, {kQuoteKeyword, "NONE"}}));

  KeywordValues to(kToCommand);
  applySelected(presets, 1, to);  // "Lotus Notes"
  EXPECT_EQ(to.values(), (std::map<int, std::string>{{kQuoteKeyword, "DOUBLE"},
                                                     {kUpdateKeyword, "FORUPDATEOF"}}));
  applySelected(presets, 4, to);  // "Keyed update"
  EXPECT_EQ(to.keywordValue(kUpdateKeyword), "KEYS");
  EXPECT_EQ(to.keywordValue(kQuoteKeyword), "NONE");

  applySelected(presets, -1, to);
  applySelected(presets, 9, to);
  EXPECT_EQ(to.keywordValue(kUpdateKeyword), "KEYS");
}

TEST(ApplySelected, RoundTripsThroughSelectMatching) {
  std::vector<DatabaseFormatPreset> presets = databaseFormatPresets();
  for (int i = 0; i < static_cast<int>(presets.size()); ++i) {
    KeywordValues to(kToCommand);
    applySelected(presets, i, to);
    EXPECT_EQ(selectMatching(presets, to), static_cast<size_t>(i)) << presets[i].name;
  }
}

}  // namespace
}  // namespace kestrel
