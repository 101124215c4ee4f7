#include "script/script_grammar.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

// The ids are shared with the definitions and the editor and the order decides
// the order in which values are handed on, so the whole table is pinned here.
TEST(ScriptGrammarTest, TableInOrder) {
  std::string table;
  for (const ParagraphEntry& paragraph : ScriptGrammar::instance().paragraphs()) {
    table += paragraph.keyword + "(" + std::to_string(paragraph.kind) + ")\n";
    for (const CommandEntry& command : paragraph.commands) {
      table += "  " + command.command + "(" + std::to_string(command.id) + ")" +
               (command.repeatable ? "*" : "") + ":";
      for (const KeywordEntry& keyword : command.keywords) {
        table += " " + keyword.keyword + "(" + std::to_string(keyword.id) + ")" +
                 (keyword.required ? "R" : "");
      }
      table += "\n";
    }
  }
  EXPECT_EQ(table,
            "COPYDEFINITION(1)\n"
            "  FROM(0): QUALIFIER(11) CREATOR(10) TABLE(0) USERID(1) PASSWORD(2) QUOTE(12) "
            "WHERE(16) ORDERBY(17) EVERY(7) FIRST(14) DISCONNECT(15) REPLICATE(24) INACTIVE(25) "
            "SELECT(28) LOCK(29)\n"
            "  TO(1): QUALIFIER(11) CREATOR(10) TABLE(0)R USERID(1) PASSWORD(2) QUOTE(12) "
            "WHERE(16) UPDATE(13) DISCONNECT(15)\n"
            "  COPY(2)*: TO(3) TRANS(4) KEY(5) LOG(18) HEX(19) FORMAT(20) EDIT(23) LEFTTRIM(26) "
            "UNCHANGED(27)\n"
            "  SET(11)*: VALUE(22) CURRENTDATE(21)\n"
            "  AUTORUN(7):\n"
            "TRANSLATETABLE(2)\n"
            "  TRANS(8)*: TO(3)R\n"
            "EDITDEFINITION(4)\n"
            "  CODED(12):\n"
            "  CHANGE(13)*: TO(3)R\n"
            "TIMERDEFINITION(3)\n"
            "  START(9): TIME(6)R EVERY(7) DAYS(8)\n"
            "  RETRY(10): INTERVAL(9)\n"
            "LOCKDEFINITION(5)\n"
            "  SOURCE(14): SELECT(28)R USERID(1) PASSWORD(2)\n"
            "  ACCEPT(15): VALUE(22)R\n");
}

TEST(ScriptGrammarTest, LookupsAreExact) {
  const ScriptGrammar& grammar = ScriptGrammar::instance();
  const ParagraphEntry* copy = grammar.findParagraph("COPYDEFINITION");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(grammar.findParagraph("copydefinition"), nullptr);
  EXPECT_EQ(grammar.paragraphOfKind(kTimerKind)->keyword, "TIMERDEFINITION");
  EXPECT_EQ(grammar.paragraphOfKind(0), nullptr);
  EXPECT_EQ(copy->findCommand("SET"), copy->findCommand(command_id::Set));
  EXPECT_EQ(copy->findCommand("TRANS"), nullptr);
  const CommandEntry* to = copy->findCommand(command_id::To);
  EXPECT_EQ(to->findKeyword("UPDATE"), to->findKeyword(keyword_id::Update));
  EXPECT_EQ(to->findKeyword(keyword_id::Key), nullptr);
}

}  // namespace
}  // namespace kestrel
