#include "script/paragraph_list.h"

#include <gtest/gtest.h>

#include "script_fixture.h"

namespace kestrel {
namespace {

using test::Image;
namespace c = command_id;
namespace k = keyword_id;

const ParagraphEntry& entry(int kind) { return *ScriptGrammar::instance().paragraphOfKind(kind); }
const CommandEntry& commandOf(int kind, int id) { return *entry(kind).findCommand(id); }
const KeywordEntry* keywordOf(int kind, int command, int id) {
  return commandOf(kind, command).findKeyword(id);
}

TEST(ParagraphListTest, ReaderCallsBuildParagraphsInOrder) {
  ParagraphList list;
  EXPECT_EQ(list.AddCommand(&commandOf(kCopyKind, c::From), "SRC"), nullptr);
  EXPECT_EQ(list.AddKeywordValue(keywordOf(kCopyKind, c::From, k::Table), "T"), nullptr);
  list.AddParagraph(&entry(kCopyKind), "C");
  EXPECT_EQ(list.AddKeywordValue(keywordOf(kCopyKind, c::From, k::Table), "T"), nullptr);
  list.AddCommand(&commandOf(kCopyKind, c::From), "SRC");
  list.AddKeywordValue(keywordOf(kCopyKind, c::From, k::Table), "T");
  list.AddParagraph(&entry(kTimerKind), "N");
  list.AddCommand(&commandOf(kTimerKind, c::Start), "1997-01-01");
  EXPECT_EQ(
      Image(list),
      "COPYDEFINITION: C\n  FROM [SRC] TABLE=[T]\nTIMERDEFINITION: N\n  START [1997-01-01]\n");

  Paragraph* copy = list.FindParagraph("C");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(list.FindParagraph("c"), nullptr);
  list.RemoveParagraph(copy);
  EXPECT_EQ(Image(list), "TIMERDEFINITION: N\n  START [1997-01-01]\n");
}

TEST(ParagraphTest, FindsAndRemovesCommands) {
  Paragraph paragraph(&entry(kCopyKind), "C");
  paragraph.AddCommand(&commandOf(kCopyKind, c::Copy), "A");
  Command* second = paragraph.AddCommand(&commandOf(kCopyKind, c::Copy), "B");
  const std::string b = "B", missing = "Z";
  EXPECT_EQ(paragraph.FindCommand(c::Copy)->argument, "A");
  EXPECT_EQ(paragraph.FindCommand(c::Copy, &b), second);
  EXPECT_EQ(paragraph.FindCommand(c::Copy, &missing), nullptr);
  EXPECT_EQ(paragraph.FindCommand(c::Set), nullptr);
  paragraph.RemoveCommand(second);
  EXPECT_EQ(paragraph.FindCommand(c::Copy, &b), nullptr);
  EXPECT_EQ(paragraph.commands.size(), 1u);
}

TEST(ParagraphTest, TableLabel) {
  Paragraph paragraph(&entry(kCopyKind), "C");
  EXPECT_EQ(paragraph.TableLabel(c::From), "");
  Command* from = paragraph.AddCommand(&commandOf(kCopyKind, c::From), "SALES");
  Command* to = paragraph.AddCommand(&commandOf(kCopyKind, c::To), "BACKUP");
  EXPECT_EQ(paragraph.TableLabel(c::From), "SALES: ");
  from->SetText(k::Table, "CUSTOMER");
  from->SetText(k::Qualifier, "DB");
  EXPECT_EQ(paragraph.TableLabel(c::From), "SALES: DB.CUSTOMER");
  from->SetText(k::Creator, "ADMIN");
  EXPECT_EQ(paragraph.TableLabel(c::From), "SALES: DB.ADMIN.CUSTOMER");
  from->SetText(k::Select, "SELECT * FROM X");
  EXPECT_EQ(paragraph.TableLabel(c::From), "SALES: SELECT * FROM X");
  to->SetText(k::Creator, "OWNER");
  EXPECT_EQ(paragraph.TableLabel(c::To), "BACKUP: OWNER");
}

// The typed accessors the dialogs use, and how little each setter writes.
TEST(CommandTest, TypedValues) {
  Command from(&commandOf(kCopyKind, c::From), "SRC");
  EXPECT_EQ(from.GetText(k::Where), "");
  EXPECT_EQ(from.GetInteger(k::Every), 0);
  EXPECT_TRUE(from.GetFlag(k::Replicate, true));
  EXPECT_FALSE(from.GetFlag(k::Inactive, false));

  struct FlagCase {
    std::string value;
    bool result;
  };
  for (const FlagCase& row : {FlagCase{"YES", true}, FlagCase{"yes", true}, FlagCase{"Yes", false},
                              FlagCase{"NO", false}, FlagCase{"", false}}) {
    from.SetText(k::Inactive, "x");
    from.Find(k::Inactive)->value = row.value;
    EXPECT_EQ(from.GetFlag(k::Inactive, true), row.result) << row.value;
  }

  from.SetFlag(k::Replicate, false, true);
  EXPECT_EQ(from.GetText(k::Replicate), "NO");
  from.SetFlag(k::Replicate, true, true);
  EXPECT_EQ(from.Find(k::Replicate), nullptr);
  from.SetFlag(k::Disconnect, true, false);
  EXPECT_EQ(from.GetText(k::Disconnect), "YES");
  from.SetFlag(k::Disconnect, false, false);
  EXPECT_EQ(from.Find(k::Disconnect), nullptr);

  from.SetInteger(k::Every, -25);
  EXPECT_EQ(from.GetText(k::Every), "-25");
  EXPECT_EQ(from.GetInteger(k::Every), -25);
  from.SetInteger(k::Every, 0);
  EXPECT_EQ(from.Find(k::Every), nullptr);
  from.SetText(k::First, "12 rows");
  EXPECT_EQ(from.GetInteger(k::First), 12);

  from.SetText(k::Table, "A");
  from.SetText(k::Table, "B");
  EXPECT_EQ(from.values.size(), 3u);  // INACTIVE, FIRST, TABLE
  EXPECT_EQ(from.GetText(k::Table), "B");
  from.SetText(k::Table, "");
  EXPECT_EQ(from.Find(k::Table), nullptr);
  from.SetText(k::Update, "NONE");  // not a keyword of FROM
  EXPECT_EQ(from.Find(k::Update), nullptr);
}

}  // namespace
}  // namespace kestrel
