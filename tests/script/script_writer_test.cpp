#include "script/script_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/platform.h"
#include "engine/definition_factory.h"
#include "odbc_test_folder.h"
#include "script/script_reader.h"
#include "script_fixture.h"

namespace kestrel {
namespace {

using test::Image;
using test::RecordingLog;
using test::TempFolder;
namespace c = command_id;
namespace k = keyword_id;

class FixedClock : public Clock {
 public:
  FixedClock() : when_(test::LocalTime(1997, 1, 28, 14, 5, 0)) {}
  std::time_t now() const override { return when_; }

 private:
  std::time_t when_;
};

class ScriptWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { setProgramClock(&clock_); }
  void TearDown() override { setProgramClock(nullptr); }

  // Reads a script into a fresh list; the reading must succeed.
  void Read(const std::string& file, ParagraphList& list) {
    RecordingLog recording;
    ScriptReader reader(recording.log);
    reader.setFactory(&runnableDefinitions());
    reader.setListener(&list);
    ASSERT_TRUE(reader.Load(file)) << ::testing::PrintToString(recording.texts());
  }

  FixedClock clock_;
  TempFolder folder_;
};

const char kHeader[] = "* Last updated: 1997-01-28 at 14:05 *\n\n";

TEST_F(ScriptWriterTest, EmptyListWritesTheHeaderOnly) {
  ParagraphList list;
  std::ostringstream out;
  EXPECT_TRUE(list.Write(out));
  EXPECT_EQ(out.str(), kHeader);
}

TEST_F(ScriptWriterTest, WritesEveryTextAsAValue) {
  ParagraphList list;
  Read(folder_.write("in.txt",
                     "TIMERDEFINITION: NIGHTLY\n"
                     "  START 1997-01-01 TIME=02:00 EVERY=1-00:00\n"
                     "  RETRY 3 INTERVAL=00:15\n"
                     "EDITDEFINITION: 'Quote\"d'\n"
                     "  CHANGE x'0d' TO=\"x'0a'\"\n"
                     "  CHANGE \"'\" TO='\"'\n"),
       list);
  std::ostringstream out;
  ASSERT_TRUE(list.Write(out));
  EXPECT_EQ(out.str(), std::string(kHeader) +
                           "TIMERDEFINITION: \"NIGHTLY\"\n"
                           "  START \"1997-01-01\" TIME=\"02:00\" EVERY=\"1-00:00\"\n"
                           "  RETRY \"3\" INTERVAL=\"00:15\"\n"
                           "\n"
                           "EDITDEFINITION: 'Quote\"d'\n"
                           "  CHANGE X'0D' TO=\"x'0a'\"\n"
                           "  CHANGE \"'\" TO='\"'\n"
                           "\n");
}

TEST(ScriptValueTextTest, QuotesSoThatTheTextReadsBack) {
  const std::pair<std::string, std::string> cases[] = {
      {"PLAIN", "\"PLAIN\""},
      {"", "\"\""},
      {"NAME = 'X'", "\"NAME = 'X'\""},
      {"say \"hi\"", "'say \"hi\"'"},
      {"it's \"odd\"", "\"it's \"odd\"\""},  // both kinds: refused by Write
      {"he said \"it's\"", "'he said \"it's\"'"},
      {"X'0D'", "X'0D'"},
      {"X'0d'", "\"X'0d'\""},
      {"x'0D'", "\"x'0D'\""},
      {"X'41' OR 1=1", "\"X'41' OR 1=1\""},
  };
  for (const auto& [value, written] : cases) EXPECT_EQ(scriptValueText(value), written) << value;
}

// Every paragraph kind, written from a list that was read from a hand-made
// file, reads back to the same paragraphs, commands, arguments and values,
// and the written file is a valid script for the program as well.
TEST_F(ScriptWriterTest, RoundTripsEveryParagraphKind) {
  const std::string script =
      "* hand written\n"
      "copydefinition: customers\n"
      "  FROM SALES TABLE=CUSTOMER USERID=admin PASSWORD='S3cret' QUALIFIER=DB CREATOR=OWNER +\n"
      "       WHERE='ACTIVE = 1 AND NAME <> \"\"' ORDERBY=CUSTNO EVERY=2 FIRST=100 +\n"
      "       QUOTE=DOUBLE DISCONNECT=YES REPLICATE=NO LOCK=GATE\n"
      "  TO BACKUP TABLE=CUSTOMER_COPY, UPDATE=KEYS, QUOTE=NONE, WHERE=\"REGION = 'N'\"\n"
      "  COPY CUSTNO KEY=YES FORMAT=8IZ\n"
      "  COPY NAME TRANS=UPPER EDIT=MASK LEFTTRIM=YES LOG=YES\n"
      "  COPY CITY TO='Town' HEX=NO UNCHANGED=YES\n"
      "  SET LOADED CURRENTDATE=YES\n"
      "  SET SOURCE VALUE='Grüße aus Köln'\n"
      "  SET EMPTY VALUE=''\n"
      "  AUTORUN NIGHTLY\n"
      "TRANSLATETABLE: UPPER\n"
      "  TRANS a TO=A\n"
      "  TRANS X'E9' TO=x'c9'\n"
      "EDITDEFINITION: MASK\n"
      "  CODED 4711\n"
      "  CHANGE 'Mr.' TO='Mister'\n"
      "  CHANGE \"O'Brien\" TO=''\n"
      "TIMERDEFINITION: NIGHTLY\n"
      "  START 1997-01-01 TIME=02:00 EVERY=1-00:00 DAYS=YYYYYNN\n"
      "  RETRY 3 INTERVAL=00:15\n"
      "LOCKDEFINITION: GATE\n"
      "  SOURCE STATUS SELECT=\"SELECT STATE FROM LOADS WHERE NAME = 'X'\" USERID=U PASSWORD=P\n"
      "  ACCEPT STATE VALUE=DONE\n";
  ParagraphList original;
  Read(folder_.write("original.txt", script), original);
  ASSERT_EQ(original.paragraphs.size(), 5u);

  const std::string written = folder_.path() + "/written.txt";
  ASSERT_TRUE(ScriptWriter::Save(written, &original));
  ParagraphList reread;
  Read(written, reread);
  EXPECT_EQ(Image(reread), Image(original));

  // Loading connects the lock definition to its source STATUS, which must
  // answer its SELECT.
  test::OdbcTestFolder odbc;
  std::ofstream(odbc.odbcIni(), std::ios::app)
      << "[STATUS]\nDriver=SQLite3\nDatabase=" << odbc.file("a.db") << "\n\n";
  ASSERT_EQ(test::execSql(odbc.database(test::DatabaseKind::SQLite),
                          {"CREATE TABLE LOADS (NAME VARCHAR(10), STATE VARCHAR(10))"}),
            "");
  RecordingLog recording;
  ScriptModel model(recording.log);
  ScriptReader reader(recording.log);
  reader.setFactory(&runnableDefinitions());
  reader.setModel(&model);
  // Every value converts: the load gets as far as resolving, which stops at
  // the data source that this machine does not have.
  EXPECT_TRUE(reader.Load(written));
  std::vector<std::string> texts = recording.texts();
  for (const std::string& text : texts) EXPECT_NE(text.rfind("Error:", 0), 0u) << text;
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Connecting to SALES"), texts.end())
      << ::testing::PrintToString(texts);

  ParagraphList again;
  ASSERT_TRUE(ScriptWriter::Save(written, &reread));
  Read(written, again);
  EXPECT_EQ(Image(again), Image(original));
}

TEST_F(ScriptWriterTest, RefusesTextsThatWouldNotReadBack) {
  const ParagraphEntry& copy = *ScriptGrammar::instance().paragraphOfKind(kCopyKind);
  const CommandEntry& from = *copy.findCommand(c::From);
  for (const std::string& text :
       {std::string("both ' and \""), std::string(255, 'x'), std::string("two\nlines")}) {
    ParagraphList list;
    list.AddParagraph(&copy, "C");
    list.AddCommand(&from, "SRC");
    list.AddKeywordValue(from.findKeyword(k::Where), text);
    std::ostringstream out;
    EXPECT_FALSE(list.Write(out));
    EXPECT_EQ(out.str(), "");
    const std::string file = folder_.path() + "/refused.txt";
    EXPECT_FALSE(ScriptWriter::Save(file, &list));
    EXPECT_FALSE(std::filesystem::exists(file));
  }
  ParagraphList fits;
  fits.AddParagraph(&copy, std::string(254, 'n'));
  std::ostringstream out;
  EXPECT_TRUE(fits.Write(out));
}

TEST_F(ScriptWriterTest, SaveReportsFailures) {
  ParagraphList list;
  list.AddParagraph(ScriptGrammar::instance().paragraphOfKind(kTimerKind), "T");
  EXPECT_FALSE(ScriptWriter::Save("", &list));
  EXPECT_FALSE(ScriptWriter::Save(folder_.path() + "/script.txt", nullptr));
  EXPECT_FALSE(ScriptWriter::Save(folder_.path() + "/no/such/folder/script.txt", &list));
  EXPECT_FALSE(ScriptWriter::Save("/dev/full", &list));

  const std::string file = folder_.write("script.txt", std::string(5000, 'x'));
  EXPECT_TRUE(ScriptWriter::Save(file, &list));
  EXPECT_EQ(std::filesystem::file_size(file), std::string(kHeader).size() + 22);
}

// The script on disk is the old one or the new one, never a mixture: a save
// that fails while writing (here: the file size limit, which holds for root
// too) leaves the old file as it was and no new file beside it.
TEST_F(ScriptWriterTest, FailedSaveLeavesTheOldScriptWhole) {
  const std::string old = "TIMERDEFINITION: OLD\nSTART 1997 01 28 TIME=08:00\n";
  const std::string file = folder_.write("nightly.txt", old);
  std::filesystem::permissions(file, std::filesystem::perms::owner_read |
                                         std::filesystem::perms::owner_write |
                                         std::filesystem::perms::group_read);
  ParagraphList big;
  const ParagraphEntry* timer = ScriptGrammar::instance().paragraphOfKind(kTimerKind);
  for (int i = 0; i < 200; ++i) big.AddParagraph(timer, "T" + std::to_string(i));

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 512;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string reason;
  const bool saved_ok = ScriptWriter::Save(file, &big, &reason);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  EXPECT_FALSE(saved_ok);
  EXPECT_NE(reason.find("Cannot write"), std::string::npos) << reason;
  std::ifstream in(file);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(), old);
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder_.path()))
    ++entries;
  EXPECT_EQ(entries, 1) << "a partly written file was left beside the script";

  // A successful save replaces the file and keeps its permissions; a
  // symbolic link to the script stays a link.
  const std::string link = folder_.path() + "/current.txt";
  std::filesystem::create_symlink(file, link);
  ASSERT_TRUE(ScriptWriter::Save(link, &big, &reason)) << reason;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_GT(std::filesystem::file_size(file), old.size());
  EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read);
}

}  // namespace
}  // namespace kestrel
