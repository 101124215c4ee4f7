#include "script/script_reader.h"

#include <gtest/gtest.h>

#include "engine/copy_definition.h"
#include "engine/definition_factory.h"
#include "engine/edit_definition.h"
#include "schedule/lock_definition.h"
#include "script/definitions.h"
#include "script_fixture.h"

namespace kestrel {
namespace {

using test::Image;
using test::Options;
using test::RecordedLine;
using test::RecordingLog;
using test::ScriptDatabases;
using test::TempFolder;

const std::string kDashes(69, '-');
const char kNoProcessing[] = "No processing will be performed";

// A complete copy definition, for scripts that need a valid start.
const char kCopyStart[] =
    "COPYDEFINITION: C\n"
    "  FROM SRC TABLE=A\n"
    "  TO DST TABLE=B\n"
    "  COPY K KEY=YES\n";

struct ErrorCase {
  const char* name;
  std::string script;
  std::string errorLine;
};

void PrintTo(const ErrorCase& c, std::ostream* out) { *out << c.name; }

class ReaderErrorTest : public ::testing::TestWithParam<ErrorCase> {};

// Every error stops the reading with the error line and the closing line,
// empties the model and reports false, whether a model or a listener reads.
TEST_P(ReaderErrorTest, ReportsTheLineAndEmptiesTheModel) {
  const ErrorCase& c = GetParam();
  TempFolder folder;
  std::string file = folder.write("script.txt", c.script);
  const std::vector<RecordedLine> ending = {{c.errorLine, Error}, {kNoProcessing, Error}};

  RecordingLog withModel;
  ScriptModel model(withModel.log);
  ScriptReader reader(withModel.log);
  reader.setFactory(&runnableDefinitions());
  reader.setModel(&model);
  EXPECT_FALSE(reader.Load(file));
  EXPECT_EQ(reader.failure(), ScriptReader::Failure::Syntax);
  EXPECT_TRUE(model.empty());
  ASSERT_GE(withModel.lines.size(), 2u);
  EXPECT_EQ(std::vector<RecordedLine>(withModel.lines.end() - 2, withModel.lines.end()), ending);

  RecordingLog forEditor;
  ParagraphList paragraphs;
  ScriptReader editorReader(forEditor.log);
  editorReader.setFactory(&runnableDefinitions());
  editorReader.setListener(&paragraphs);
  EXPECT_FALSE(editorReader.Load(file));
  EXPECT_EQ(forEditor.lines, ending);
}

std::string quoted300() { return "'" + std::string(254, 'a') + std::string(46, 'b') + "'"; }

INSTANTIATE_TEST_SUITE_P(
    Table, ReaderErrorTest,
    ::testing::Values(
        ErrorCase{"HeaderWithoutColonBeforeAnyParagraph", "* first\nCOPYDEFINITION X\n",
                  "Error: Missing paragraph definition (in line 2: 'COPYDEFINITION X')"},
        ErrorCase{"HeaderWithoutColonInAParagraph", "COPYDEFINITION: A\nCOPYDEFINITION X\n",
                  "Error: Undefined command (in line 2: 'COPYDEFINITION X')"},
        ErrorCase{"UnknownParagraphKeyword", "TRANSLATEDEFINITION: X\n",
                  "Error: Unknown paragraph name (in line 1: 'TRANSLATEDEFINITION: X')"},
        ErrorCase{"NoNameAfterColon", "LOCKDEFINITION :  \n",
                  "Error: Missing or illegal paragraph name after colon (in line 1: "
                  "'LOCKDEFINITION :  ')"},
        ErrorCase{"IllegalNameAfterColon", "LOCKDEFINITION: (A)\n",
                  "Error: Missing or illegal paragraph name after colon (in line 1: "
                  "'LOCKDEFINITION: (A)')"},
        ErrorCase{"TwoNames", "EDITDEFINITION: A B\n",
                  "Error: Illegal end of line after paragraph name (in line 1: "
                  "'EDITDEFINITION: A B')"},
        ErrorCase{"CommandOfAnotherKind", "TIMERDEFINITION: T\n  FROM SRC\n",
                  "Error: Undefined command (in line 2: 'FROM SRC')"},
        ErrorCase{"TabIsNoBlank", "COPYDEFINITION: A\nCOPY\tX\n",
                  "Error: Undefined command (in line 2: 'COPY\\x09X')"},
        ErrorCase{"MissingArgument", "COPYDEFINITION: A\n  FROM  \n",
                  "Error: Missing or illegal command argument (in line 2: 'FROM  ')"},
        ErrorCase{"IllegalArgument", "COPYDEFINITION: A\n  FROM =SRC\n",
                  "Error: Missing or illegal command argument (in line 2: 'FROM =SRC')"},
        ErrorCase{"SecondFromCommand", "COPYDEFINITION: A\n FROM S1\n FROM S2\n",
                  "Error: More than one occurrence of this command in the same paragraph (in line "
                  "3: 'FROM S2')"},
        ErrorCase{"DuplicateKeyword", "COPYDEFINITION: A\nFROM SRC TABLE=A TABLE=B\n",
                  "Error: Duplicate keyword (in line 2: 'FROM SRC TABLE=A TABLE=B')"},
        ErrorCase{"UnknownKeyword", "COPYDEFINITION: A\nFROM SRC UPDATE=NONE\n",
                  "Error: Unknown keyword (in line 2: 'FROM SRC UPDATE=NONE')"},
        ErrorCase{"QuotedKeywordMustBeUpperCase", "COPYDEFINITION: A\nFROM SRC 'table'=A\n",
                  "Error: Unknown keyword (in line 2: 'FROM SRC 'table'=A')"},
        ErrorCase{"MissingEquals", "COPYDEFINITION: A\nFROM SRC TABLE A\n",
                  "Error: Missing '=' after keyword (in line 2: 'FROM SRC TABLE A')"},
        ErrorCase{"MissingValue", "COPYDEFINITION: A\nFROM SRC TABLE= ,\n",
                  "Error: Missing keyword value (in line 2: 'FROM SRC TABLE= ,')"},
        ErrorCase{"MissingRequiredKeyword", "COPYDEFINITION: A\nTO DST WHERE=X\n",
                  "Error: Missing required keyword TABLE (in line 2: 'TO DST WHERE=X')"},
        ErrorCase{"EqualsInsideBareValue", "COPYDEFINITION: A\nFROM SRC WHERE=A=1\n",
                  "Error: Illegal keyword format (in line 2: 'FROM SRC WHERE=A=1')"},
        ErrorCase{"QuotedValueIsNotUpperCased", "COPYDEFINITION: A\nFROM SRC QUOTE=\"single\"\n",
                  "Error: Illegal value in QUOTE keyword (in line 2: 'FROM SRC "
                  "QUOTE=\"single\"')"},
        ErrorCase{"IllegalCommandValue", "TRANSLATETABLE: T\n  TRANS AB TO=C\n",
                  "Error: Illegal value follows command name (in line 2: 'TRANS AB TO=C')"},
        ErrorCase{"LongValueRemainderIsAKeyword",
                  "COPYDEFINITION: A\nFROM SRC WHERE=" + quoted300() + "\n",
                  "Error: Unknown keyword (in line 2: 'FROM SRC WHERE=" + quoted300() + "')"},
        ErrorCase{"NumberOfTheLastPhysicalLine",
                  "COPYDEFINITION: A\n FROM SRC +\n  TABLE=A +\n  X\n",
                  "Error: Unknown keyword (in line 4: 'FROM SRC   TABLE=A   X')"},
        ErrorCase{"UncountedLastLineReportsTheLineBefore", "COPYDEFINITION: A\n* comment\nFROM",
                  "Error: Missing or illegal command argument (in line 2: 'FROM')"},
        ErrorCase{"PlusOnTheLastLine", "COPYDEFINITION: A\nTO DST +\n",
                  "Error: Missing required keyword TABLE (in line 2: 'TO DST ')"},
        ErrorCase{"HighBytesInABareToken", "COPYDEFINITION: A\nCOPY NAM\xc3\x89\n",
                  "Error: Illegal keyword format (in line 2: 'COPY NAM\xc3\x89')"},
        ErrorCase{"HighBytesInTheFirstWord", "COPYDEFINITION: A\nC\xc3\x96PY N\n",
                  "Error: Undefined command (in line 2: 'C\xc3\x96PY N')"},
        ErrorCase{"BinaryBytes",
                  std::string("\x7f"
                              "ELF\x02\x01\x01\x00\x00\n\x03\x00",
                              12),
                  // Shown as visible escapes, the NULs included.
                  "Error: Missing paragraph definition (in line 1: "
                  "'\\x7FELF\\x02\\x01\\x01\\x00\\x00')"},
        ErrorCase{"CarriageReturnWithoutLineFeedIsText", "COPYDEFINITION: A\r\r\n",
                  "Error: Illegal end of line after paragraph name (in line 1: "
                  "'COPYDEFINITION: A\\x0D')"}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

struct FormatCase {
  const char* name;
  std::string script;
  std::string image;  // the ParagraphList, see test::Image
};

void PrintTo(const FormatCase& c, std::ostream* out) { *out << c.name; }

class ReaderFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(ReaderFormatTest, BuildsTheTextImage) {
  const FormatCase& c = GetParam();
  TempFolder folder;
  RecordingLog recording;
  ParagraphList paragraphs;
  ScriptReader reader(recording.log);
  reader.setFactory(&runnableDefinitions());
  reader.setListener(&paragraphs);
  EXPECT_TRUE(reader.Load(folder.write("script.txt", c.script)))
      << ::testing::PrintToString(recording.texts());
  EXPECT_EQ(Image(paragraphs), c.image);
  EXPECT_TRUE(recording.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReaderFormatTest,
    ::testing::Values(
        FormatCase{"BareNamesAreUpperCased", "copydefinition: x\n", "COPYDEFINITION: X\n"},
        FormatCase{"QuotedNamesKeepTheirCase", "COPYDEFINITION : \"x\"  \n", "COPYDEFINITION: x\n"},
        FormatCase{"CommasSeparateLikeBlanks", "COPYDEFINITION: A\nCOPY A, KEY=YES,LOG=YES\n",
                   "COPYDEFINITION: A\n  COPY [A] KEY=[YES] LOG=[YES]\n"},
        FormatCase{"BlanksAroundEqualsAndCommasAfterIt",
                   "COPYDEFINITION: A\n  from src table = t1 , userid=, u\n",
                   "COPYDEFINITION: A\n  FROM [SRC] TABLE=[T1] USERID=[U]\n"},
        FormatCase{"QuotedKeywordsInUpperCase", "COPYDEFINITION: A\nFROM S 'TABLE'=\"t\"\n",
                   "COPYDEFINITION: A\n  FROM [S] TABLE=[t]\n"},
        FormatCase{"ValuesInGrammarOrder",
                   "COPYDEFINITION: A\nFROM S LOCK=L USERID=U TABLE=T QUALIFIER=Q\n",
                   "COPYDEFINITION: A\n  FROM [S] QUALIFIER=[Q] TABLE=[T] USERID=[U] LOCK=[L]\n"},
        FormatCase{"BareTokenCharacters", "COPYDEFINITION: A\nCOPY a+b-c.d:e_f TO=x'4a'\n",
                   "COPYDEFINITION: A\n  COPY [A+B-C.D:E_F] TO=[X'4A']\n"},
        FormatCase{"BothQuoteKinds", "LOCKDEFINITION: L\nSOURCE \"it's\" SELECT='say \"hi\"'\n",
                   "LOCKDEFINITION: L\n  SOURCE [it's] SELECT=[say \"hi\"]\n"},
        FormatCase{"EmptyQuotedValue", "COPYDEFINITION: A\nSET X VALUE=\"\"\n",
                   "COPYDEFINITION: A\n  SET [X] VALUE=[]\n"},
        FormatCase{"MissingClosingQuoteTakesTheRest",
                   "COPYDEFINITION: A\nFROM S WHERE='A = 1, B=2 \n",
                   "COPYDEFINITION: A\n  FROM [S] WHERE=[A = 1, B=2 ]\n"},
        FormatCase{"HighBytesInQuotedTokens", "COPYDEFINITION: 'Käse'\nSET X VALUE=\"Grüße\"\n",
                   "COPYDEFINITION: Käse\n  SET [X] VALUE=[Grüße]\n"},
        FormatCase{
            "TokenOf254Characters",
            "COPYDEFINITION: A\nFROM S WHERE='" + std::string(254, 'w') + "' TABLE=T\n",
            "COPYDEFINITION: A\n  FROM [S] TABLE=[T] WHERE=[" + std::string(254, 'w') + "]\n"},
        FormatCase{"ContinuationKeepsBlanksBeforeThePlus",
                   "COPYDEFINITION: A\nFROM S WHERE='X +  \n= 1' +\n  TABLE=T\n",
                   "COPYDEFINITION: A\n  FROM [S] TABLE=[T] WHERE=[X = 1]\n"},
        FormatCase{"CommentsAndBlankLines",
                   "* heading\n\n   \n   * indented\nCOPYDEFINITION: A\n* between\n  COPY C\n",
                   "COPYDEFINITION: A\n  COPY [C]\n"},
        FormatCase{"CrLfLineEnds", "COPYDEFINITION: A\r\n  COPY C TO=D\r\n\r\n",
                   "COPYDEFINITION: A\n  COPY [C] TO=[D]\n"},
        FormatCase{"LastLineWithoutLineEnd", "COPYDEFINITION: A\n  COPY C",
                   "COPYDEFINITION: A\n  COPY [C]\n"},
        FormatCase{"PlusOnTheLastLineWithoutLineEnd", "COPYDEFINITION: A\n  COPY C +",
                   "COPYDEFINITION: A\n  COPY [C]\n"},
        FormatCase{"RepeatableCommandsAndAParagraphPerHeader",
                   "COPYDEFINITION: A\nCOPY C\nCOPY D\nCOPYDEFINITION: B\nCOPY C\n",
                   "COPYDEFINITION: A\n  COPY [C]\n  COPY [D]\nCOPYDEFINITION: B\n  COPY [C]\n"},
        FormatCase{"EmptyFile", "", ""}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

// The document's reading: the load lines around a valid script, the physical
// line count without the unterminated last line, and the listing.
TEST(ScriptReaderTest, LogsTheLoadAndListsThePhysicalLines) {
  ScriptDatabases databases;
  TempFolder folder;
  std::string file = folder.write("nightly.txt", databases.script("COPYDEFINITION: C\n"
                                                                  "  FROM SRC TABLE=A +\n"
                                                                  "    WHERE='X = 1'\n"
                                                                  "  TO DST TABLE=B\n"
                                                                  "  COPY K KEY=YES"));
  Options options({"ListScript=1"});
  RecordingLog recording;
  ScriptModel model(recording.log);
  ScriptReader reader(recording.log, &options.parameters);
  reader.setFactory(&runnableDefinitions());
  reader.setModel(&model);
  ASSERT_TRUE(reader.Load(file));
  EXPECT_EQ(databases.plain(recording.lines),
            (std::vector<RecordedLine>{
                {kDashes, Normal},
                {"Starting to read script file '" + file + "'", Normal},
                {"COPYDEFINITION: C", Note},
                {"  FROM SRC TABLE=A +", Note},
                {"    WHERE='X = 1'", Note},
                {"  TO DST TABLE=B", Note},
                {"Loading column definitions for copy definition C", Normal},
                {"Connecting to SRC", Normal},
                {"Connecting to DST", Normal},
                {"Column definitions for copy definition C successfully loaded", Normal},
                {"Ending load of script file. 4 lines read from '" + file + "'", Normal},
            }));
  ASSERT_EQ(model.size(), 1u);
  auto* copy = static_cast<CopyDefinition*>(model.first());
  EXPECT_EQ(copy->fromWhere, "X = 1");
  EXPECT_EQ(copy->copyColumns.size(), 1u);
}

// Echoed script text never shows a password: not in the listing (also when
// the value is continued on the next line), not in an error line quoting the
// line. A NUL in that line neither cuts it nor reaches the log as it is.
TEST(ScriptReaderTest, ListingAndErrorLinesMaskPasswordsAndShowControlBytes) {
  TempFolder folder;
  using namespace std::string_literals;
  const std::string script =
      "COPYDEFINITION: C\n"
      "  FROM SRC TABLE=A USERID=scott PASSWORD='tiger one' +\n"
      "    WHERE='X = 1'\n"
      "  TO DST TABLE=B password = +\n"
      "    \"lion\" USERID=PASSWORD\n"
      "  COPY K KEY=YES\n"
      "  COPY L PASSWORD=tiger2 BOGUS=\x1b[2J\0after\n"s;
  Options options({"ListScript=1"});
  RecordingLog recording;
  ScriptModel model(recording.log);
  ScriptReader reader(recording.log, &options.parameters);
  reader.setFactory(&runnableDefinitions());
  reader.setModel(&model);
  EXPECT_FALSE(reader.Load(folder.write("secret.txt", script)));
  EXPECT_EQ(recording.texts(),
            (std::vector<std::string>{
                kDashes,
                "Starting to read script file '" + folder.path() + "/secret.txt'",
                "COPYDEFINITION: C",
                "  FROM SRC TABLE=A USERID=scott PASSWORD='********' +",
                "    WHERE='X = 1'",
                "  TO DST TABLE=B password = +",
                "    \"********\" USERID=PASSWORD",
                "  COPY K KEY=YES",
                "  COPY L PASSWORD=******** BOGUS=\\x1B[2J\\x00after",
                "Error: Unknown keyword (in line 7: 'COPY L PASSWORD=******** "
                "BOGUS=\\x1B[2J\\x00after')",
                kNoProcessing,
            }));
  for (const std::string& line : recording.texts()) {
    EXPECT_EQ(line.find("tiger"), std::string::npos) << line;
    EXPECT_EQ(line.find("lion"), std::string::npos) << line;
  }
}

struct LoadCase {
  const char* name;
  // Empty: no file name; "-": a file that does not exist; "/": a folder;
  // "/dev/zero": a device that never ends.
  std::string script;
  bool result;
  std::vector<RecordedLine> modelLines;  // "@" stands for the file name
  bool modelKept;
};

void PrintTo(const LoadCase& c, std::ostream* out) { *out << c.name; }

class ReaderLoadTest : public ::testing::TestWithParam<LoadCase> {};

// The load lines of the document's reading; the editor's reading (no model)
// gets none of them.
TEST_P(ReaderLoadTest, LogsWithAModelOnly) {
  const LoadCase& c = GetParam();
  ScriptDatabases databases;
  TempFolder folder;
  std::string file;
  if (c.script == "-") {
    file = folder.path() + "/missing.txt";
  } else if (c.script == "/") {
    file = folder.path();
  } else if (c.script == "/dev/zero") {
    file = c.script;
  } else if (!c.script.empty()) {
    file = folder.write("script.txt", c.script == "<empty>" ? "" : databases.script(c.script));
  }
  std::vector<RecordedLine> expected = c.modelLines;
  for (RecordedLine& line : expected) {
    std::size_t at = line.text.find('@');
    if (at != std::string::npos) line.text.replace(at, 1, file);
  }

  RecordingLog recording;
  ScriptModel model(recording.log);
  ScriptReader reader(recording.log);
  reader.setFactory(&runnableDefinitions());
  reader.setModel(&model);
  EXPECT_EQ(reader.Load(file), c.result);
  EXPECT_EQ(databases.plain(recording.lines), expected);
  EXPECT_EQ(!model.empty(), c.modelKept);

  RecordingLog silent;
  ParagraphList paragraphs;
  ScriptReader editorReader(silent.log);
  editorReader.setFactory(&runnableDefinitions());
  editorReader.setListener(&paragraphs);
  EXPECT_EQ(editorReader.Load(file), c.result);
  EXPECT_TRUE(silent.lines.empty()) << ::testing::PrintToString(silent.texts());
}

const std::vector<RecordedLine> kStarting = {{kDashes, Normal},
                                             {"Starting to read script file '@'", Normal}};

std::vector<RecordedLine> Lines(std::vector<RecordedLine> head, std::vector<RecordedLine> tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReaderLoadTest,
    ::testing::Values(
        LoadCase{"NoFileName",
                 "",
                 false,
                 {{"No script file specified - no copy actions will be performed", Note}},
                 false},
        LoadCase{"FileDoesNotExist",
                 "-",
                 false,
                 {{"Cannot open script file '@' - no copy actions will be performed", Error}},
                 false},
        LoadCase{"FolderIsNoScript",
                 "/",
                 false,
                 {{"Cannot open script file '@' - no copy actions will be performed", Error}},
                 false},
        LoadCase{"EndlessDeviceIsNoScript",
                 "/dev/zero",
                 false,
                 {{"Cannot open script file '@' - no copy actions will be performed", Error}},
                 false},
        LoadCase{"EmptyFile", "<empty>", true,
                 Lines(kStarting, {{kNoProcessing, Error},
                                   {"Ending load of script file. 0 lines read from '@'", Normal}}),
                 false},
        LoadCase{"OnlyTimers", "TIMERDEFINITION: T\n  START 1997-01-01 TIME=02:00\n", true,
                 Lines(kStarting, {{kNoProcessing, Error},
                                   {"Ending load of script file. 2 lines read from '@'", Normal}}),
                 false},
        LoadCase{"ResolveFails", std::string(kCopyStart) + "  AUTORUN NIGHTLY\n", true,
                 Lines(kStarting, {{"Autorun name NIGHTLY in copydefinition C not found", Error},
                                   {kNoProcessing, Error},
                                   {"Ending load of script file. 5 lines read from '@'", Normal}}),
                 false},
        LoadCase{"Valid",
                 std::string(kCopyStart) +
                     "  AUTORUN N\nTIMERDEFINITION: N\n START 1997-01-01 TIME=02:00\n",
                 true,
                 Lines(kStarting,
                       {{"Loading column definitions for copy definition C", Normal},
                        {"Connecting to SRC", Normal},
                        {"Connecting to DST", Normal},
                        {"Column definitions for copy definition C successfully loaded", Normal},
                        {"Ending load of script file. 7 lines read from '@'", Normal}}),
                 true}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.name); });

// A physical line longer than the line buffer is never cut and parsed: it
// is an error with its line number, while a long comment is skipped whole.
TEST(ScriptReaderTest, RefusesALineLongerThanTheBuffer) {
  TempFolder folder;
  const std::string huge(1 << 20, 'W');
  const std::pair<std::string, int> cases[] = {
      {std::string(kCopyStart) + "  COPY X TO=" + huge + "\n  COPY Y\n", 5},
      {std::string(kCopyStart) + "  COPY X +\n" + huge + "\n", 6},
  };
  for (const auto& [script, lineNumber] : cases) {
    RecordingLog recording;
    ScriptModel model(recording.log);
    ScriptReader reader(recording.log);
    reader.setFactory(&runnableDefinitions());
    reader.setModel(&model);
    EXPECT_FALSE(reader.Load(folder.write("long.txt", script)));
    ASSERT_EQ(recording.lines.size(), 4u);
    const std::string prefix = "Error: Line longer than 9999 characters (in line " +
                               std::to_string(lineNumber) + ": 'COPY X";
    const std::string& error = recording.lines[2].text;
    EXPECT_EQ(error.rfind(prefix, 0), 0u) << error.substr(0, 80);
    // The buffer's 9,999 characters less the two leading blanks.
    EXPECT_EQ(error.size(), prefix.size() - 6 + 9997 + 2);
    EXPECT_TRUE(model.empty());
  }

  RecordingLog recording;
  ParagraphList paragraphs;
  ScriptReader reader(recording.log);
  reader.setFactory(&runnableDefinitions());
  reader.setListener(&paragraphs);
  EXPECT_TRUE(reader.Load(folder.write("comment.txt", "* " + huge + "\n" + kCopyStart)));
  EXPECT_EQ(paragraphs.paragraphs.size(), 1u);
}

TEST(ScriptReaderTest, TakesLogicalLinesOfUpTo9999Characters) {
  TempFolder folder;
  RecordingLog recording;
  ParagraphList paragraphs;
  ScriptReader reader(recording.log);
  reader.setFactory(&runnableDefinitions());
  reader.setListener(&paragraphs);
  const std::string fits = "COPY X" + std::string(4000, ' ') + "+\n" + std::string(5993, ' ');
  EXPECT_TRUE(reader.Load(folder.write("fits.txt", "COPYDEFINITION: A\n" + fits + "\n")));
  EXPECT_FALSE(reader.Load(folder.write("over.txt", "COPYDEFINITION: A\n" + fits + " \n")));
  EXPECT_EQ(
      recording.lines.front().text.rfind("Error: Line longer than 9999 characters (in line 3", 0),
      0u);
}

// A read error (here: reading a folder) ends the reading as a failure in
// both uses, never as a script that happens to end there.
TEST(ScriptReaderTest, ReadErrorIsNoEndOfFile) {
  TempFolder folder;
  for (bool withModel : {true, false}) {
    RecordingLog recording;
    ScriptModel model(recording.log);
    ParagraphList paragraphs;
    ScriptReader reader(recording.log);
    reader.setFactory(&runnableDefinitions());
    reader.setModel(withModel ? &model : nullptr);
    reader.setListener(&paragraphs);
    std::FILE* file = std::fopen(folder.path().c_str(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(reader.Load(file, "folder"));
    std::fclose(file);
    EXPECT_EQ(reader.failure(), ScriptReader::Failure::CannotRead);
    ASSERT_FALSE(recording.lines.empty());
    EXPECT_EQ(recording.lines.back(),
              (RecordedLine{"Cannot read script file 'folder' - no copy actions will be performed",
                            Error}));
  }
}

// Both at once: the model is filled and the listener keeps what it received
// up to a failing line, and every reading starts afresh.
TEST(ScriptReaderTest, ReadsIntoModelAndListenerAndStartsAfresh) {
  ScriptDatabases databases;
  TempFolder folder;
  RecordingLog recording;
  ScriptModel model(recording.log);
  ParagraphList paragraphs;
  ScriptReader reader(recording.log);
  reader.setFactory(&runnableDefinitions());
  reader.setModel(&model);
  reader.setListener(&paragraphs);

  EXPECT_FALSE(reader.Load(
      folder.write("bad.txt", databases.script(std::string(kCopyStart) + "  COPY X KEY=Y\n"))));
  EXPECT_TRUE(model.empty());
  EXPECT_EQ(
      databases.plain(Image(paragraphs)),
      "COPYDEFINITION: C\n  FROM [SRC] TABLE=[A]\n  TO [DST] TABLE=[B]\n  COPY [K] KEY=[YES]\n"
      "  COPY [X] KEY=[Y]\n");

  ASSERT_TRUE(reader.Load(
      folder.write("good.txt", databases.script(std::string(kCopyStart) + "COPYDEFINITION: D\n"
                                                                          "  FROM S TABLE=A\n"
                                                                          "  TO T TABLE=B\n"
                                                                          "  COPY K KEY=YES\n"))));
  ASSERT_EQ(model.size(), 2u);
  EXPECT_EQ(paragraphs.paragraphs.size(), 2u);
  EXPECT_EQ(model.first()->name, "C");
  EXPECT_EQ(model.first()->next, model.last());
  EXPECT_EQ(model.last()->owner, &model);
}

}  // namespace
}  // namespace kestrel
