#include "script/definitions.h"

#include <gtest/gtest.h>

#include <functional>

#include "engine/copy_definition.h"
#include "engine/definition_factory.h"
#include "engine/edit_definition.h"
#include "odbc_test_folder.h"
#include "schedule/lock_definition.h"
#include "script/script_reader.h"
#include "script_fixture.h"

namespace kestrel {
namespace {

using test::Options;
using test::RecordedLine;
using test::RecordingLog;
using test::ScriptDatabases;
using test::TempFolder;
namespace c = command_id;
namespace k = keyword_id;

constexpr int kArgument = -1;  // the row sets the command's argument, not a keyword

struct ConversionCase {
  int kind;
  int command;
  int keyword;  // kArgument for the command's argument
  std::string value;
  bool accepted;
  // Renders the field(s) the value lands in; compared with `field` when accepted.
  std::function<std::string(Definition&)> probe;
  std::string field;
};

std::string flag(bool value) { return value ? "true" : "false"; }
CopyDefinition& copy(Definition& d) { return static_cast<CopyDefinition&>(d); }
TimerDefinition& timer(Definition& d) { return static_cast<TimerDefinition&>(d); }
CopyColumn& lastColumn(Definition& d) { return copy(d).copyColumns.back(); }

std::string localDate(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
  return text;
}

void PrintTo(const ConversionCase& row, std::ostream* out) {
  *out << "kind " << row.kind << " command " << row.command << " keyword " << row.keyword
       << " value \"" << row.value << "\"";
}

class ConversionTest : public ::testing::TestWithParam<ConversionCase> {};

// Each value goes to a fresh record whose command has been set with a
// neutral argument first, as the reader does.
TEST_P(ConversionTest, ConvertsOrRejects) {
  const ConversionCase& row = GetParam();
  std::unique_ptr<Definition> definition =
      runnableDefinitions().create(row.kind, "D", DefinitionSettings{});
  ASSERT_TRUE(definition);
  bool accepted;
  if (row.keyword == kArgument) {
    accepted = definition->setCommand(row.command, row.value);
  } else {
    const char* neutral = row.command == c::Trans   ? "A"
                          : row.command == c::Start ? "1997-01-01"
                                                    : "X";
    ASSERT_TRUE(definition->setCommand(row.command, neutral));
    accepted = definition->setKeyword(row.command, row.keyword, row.value);
  }
  EXPECT_EQ(accepted, row.accepted);
  if (row.probe) {
    EXPECT_EQ(row.probe(*definition), row.field);
  }
}

ConversionCase Copy(int command, int keyword, std::string value, bool accepted,
                    std::function<std::string(Definition&)> probe = {}, std::string field = {}) {
  return {kCopyKind, command,          keyword,         std::move(value),
          accepted,  std::move(probe), std::move(field)};
}
ConversionCase Timer(int command, int keyword, std::string value, bool accepted,
                     std::function<std::string(Definition&)> probe = {}, std::string field = {}) {
  return {kTimerKind, command,          keyword,         std::move(value),
          accepted,   std::move(probe), std::move(field)};
}

auto replicate = [](Definition& d) { return flag(copy(d).replicate); };
auto key = [](Definition& d) { return flag(lastColumn(d).key); };
auto fromQuote = [](Definition& d) {
  return copy(d).fromQuote.empty() ? std::string("none") : copy(d).fromQuote;
};
auto updateMode = [](Definition& d) {
  return std::to_string(static_cast<int>(copy(d).updateMode));
};
auto every = [](Definition& d) { return std::to_string(copy(d).every); };
auto first = [](Definition& d) { return std::to_string(copy(d).first); };
auto format = [](Definition& d) {
  return flag(lastColumn(d).formatted) + " " + lastColumn(d).formatPattern;
};
auto startDate = [](Definition& d) { return localDate(timer(d).startDate); };
auto startTime = [](Definition& d) {
  return std::to_string(timer(d).startTime) + " " + flag(timer(d).startTimeGiven);
};
auto timerEvery = [](Definition& d) {
  return std::to_string(timer(d).every) + " " + flag(timer(d).everyGiven);
};
auto retry = [](Definition& d) {
  return std::to_string(timer(d).retryCount) + " " + std::to_string(timer(d).retryInterval);
};

INSTANTIATE_TEST_SUITE_P(
    CopyDefinition, ConversionTest,
    ::testing::Values(
        Copy(c::From, k::Replicate, "NO", true, replicate, "false"),
        Copy(c::From, k::Replicate, "YES", true, replicate, "true"),
        Copy(c::From, k::Replicate, "yes", false, replicate, "true"),
        Copy(c::From, k::Inactive, "YES", true, [](Definition& d) { return flag(copy(d).inactive); },
             "true"),
        Copy(c::From, k::Disconnect, "NO", true,
             [](Definition& d) { return flag(copy(d).fromDisconnect); }, "false"),
        Copy(c::To, k::Disconnect, "Y", false),
        Copy(c::Copy, k::Key, "YES", true, key, "true"),
        Copy(c::Copy, k::Key, "NO", true, key, "false"),
        Copy(c::Copy, k::Key, "Y", false, key, "false"),
        Copy(c::Copy, k::Unchanged, "YES", true,
             [](Definition& d) { return flag(lastColumn(d).unchanged); }, "true"),
        Copy(c::Set, k::CurrentDate, "YES", true,
             [](Definition& d) { return flag(copy(d).setColumns.back().currentDate); }, "true"),
        Copy(c::From, k::Quote, "NONE", true, fromQuote, "none"),
        Copy(c::From, k::Quote, "SINGLE", true, fromQuote, "'"),
        Copy(c::From, k::Quote, "DOUBLE", true, fromQuote, "\""),
        Copy(c::From, k::Quote, "single", false, fromQuote, "none"),
        Copy(c::To, k::Quote, "DOUBLE", true,
             [](Definition& d) { return copy(d).toQuote.empty() ? std::string("-") : copy(d).toQuote; }, "\""),
        Copy(c::To, k::Update, "FORUPDATE", true, updateMode, "0"),
        Copy(c::To, k::Update, "FORUPDATEOF", true, updateMode, "1"),
        Copy(c::To, k::Update, "NONE", true, updateMode, "2"),
        Copy(c::To, k::Update, "OPENCURSOR", true, updateMode, "3"),
        Copy(c::To, k::Update, "KEYS", true, updateMode, "4"),
        Copy(c::To, k::Update, "FOR UPDATE", false, updateMode, "0"),
        Copy(c::From, k::Every, "12ROWS", true, every, "12"),
        Copy(c::From, k::Every, "-5", true, every, "-5"),
        Copy(c::From, k::Every, "ALL", true, every, "0"),
        Copy(c::From, k::First, "+7", true, first, "7"),
        Copy(c::From, k::First, "99999999999999999999", true, first, "2147483647"),
        Copy(c::Copy, k::Format, "12i", true, format, "true %12ld"),
        Copy(c::Copy, k::Format, "8I", true, format, "true %8ld"),
        Copy(c::Copy, k::Format, "8IZ", true, format, "true %08ld"),
        Copy(c::Copy, k::Format, "8zi", true, format, "true %08ld"),
        Copy(c::Copy, k::Format, "5", false, format, "false "),
        Copy(c::Copy, k::Format, "I5", false, format, "false "),
        Copy(c::Copy, k::Format, "5X", false, format, "false "),
        Copy(c::Copy, k::Format, "0I", false, format, "false "),
        Copy(c::Copy, k::Format, "99999999999I", false, format, "false "),
        Copy(c::Copy, k::To, "TARGET", true,
             [](Definition& d) { return lastColumn(d).fromColumn + ">" + lastColumn(d).toColumn; },
             "X>TARGET"),
        Copy(c::Copy, kArgument, "COL", true,
             [](Definition& d) { return lastColumn(d).fromColumn + ">" + lastColumn(d).toColumn; },
             "COL>COL"),
        Copy(c::Set, k::Value, "v 1", true,
             [](Definition& d) { return copy(d).setColumns.back().toColumn + "=" +
                                        copy(d).setColumns.back().value; },
             "X=v 1"),
        Copy(c::Autorun, kArgument, "NIGHTLY", true,
             [](Definition& d) { return copy(d).autorunTimerName; }, "NIGHTLY"),
        Copy(c::From, k::Update, "NONE", false),
        Copy(c::Trans, kArgument, "A", false)));

INSTANTIATE_TEST_SUITE_P(
    TimerDefinition, ConversionTest,
    ::testing::Values(
        Timer(c::Start, kArgument, "1997-01-01", true, startDate, "1997-01-01 00:00"),
        Timer(c::Start, kArgument, "on 2030/12/31  ", true, startDate, "2030-12-31 00:00"),
        // Only the ranges are checked; the day then rolls over into March.
        Timer(c::Start, kArgument, "1997-02-31", true, startDate, "1997-03-03 00:00"),
        Timer(c::Start, kArgument, "1989-12-31", false),
        Timer(c::Start, kArgument, "2031-01-01", false),
        Timer(c::Start, kArgument, "1997-13-01", false),
        Timer(c::Start, kArgument, "1997-01-00", false),
        Timer(c::Start, kArgument, "1997-01", false),
        Timer(c::Start, kArgument, "1997-01-01X", false),
        Timer(c::Start, kArgument, "99999999999999999999999-1-1", false),
        Timer(c::Start, k::Time, "02:00", true, startTime, "7200 true"),
        Timer(c::Start, k::Time, "23:59", true, startTime, "86340 true"),
        Timer(c::Start, k::Time, "24:00", false, startTime, "0 false"),
        Timer(c::Start, k::Time, "12", false, startTime, "0 false"),
        Timer(c::Start, k::Every, "1-00:00", true, timerEvery, "86400 true"),
        Timer(c::Start, k::Every, "0-01:30", true, timerEvery, "5400 true"),
        Timer(c::Start, k::Every, "1001-00:00", false, timerEvery, "0 false"),
        Timer(
            c::Start, k::Days, "NYyn?", true, [](Definition& d) { return timer(d).days; }, "NYyn?"),
        Timer(c::Retry, kArgument, "3", true, retry, "3 900"),
        Timer(c::Retry, kArgument, "AGAIN", true, retry, "0 900"),
        Timer(c::Retry, kArgument, "1001", false, retry, "0 900"),
        Timer(c::Retry, kArgument, "-1", false, retry, "0 900"),
        Timer(c::Retry, k::Interval, "00:15", true, retry, "0 900"),
        Timer(c::Retry, k::Interval, "1:30", true, retry, "0 5400"),
        Timer(c::Retry, k::Interval, "1:60", false, retry, "0 900")));

TEST(TranslateDefinitionTest, TakesCharacterSpecifications) {
  TranslateDefinition translate("T");
  EXPECT_EQ(translate.table['A'], 'A');
  EXPECT_TRUE(translate.setCommand(c::Trans, "X'4a'"));
  EXPECT_TRUE(translate.setKeyword(c::Trans, k::To, "X'6A'"));
  EXPECT_EQ(translate.table[74], 106);
  EXPECT_TRUE(translate.setCommand(c::Trans, "\xe9"));
  EXPECT_TRUE(translate.setKeyword(c::Trans, k::To, "e"));
  EXPECT_EQ(translate.table[0xe9], 'e');
  for (const char* rejected : {"AB", "", "x'41'", "X'4G'", "X'41", "X\"41\"", "X'041'"}) {
    EXPECT_FALSE(translate.setCommand(c::Trans, rejected)) << rejected;
    EXPECT_FALSE(translate.setKeyword(c::Trans, k::To, rejected)) << rejected;
  }
}

TEST(EditDefinitionTest, TakesCodingAndChanges) {
  Options options({"DebugMode=1"});
  EditDefinition edit("E", {.debugMode = true});
  EXPECT_TRUE(edit.debug);
  EXPECT_FALSE(edit.setKeyword(c::Change, k::To, "lost"));
  EXPECT_TRUE(edit.setCommand(c::Coded, "-42KEY"));
  EXPECT_TRUE(edit.setCommand(c::Change, "Mr."));
  EXPECT_TRUE(edit.setKeyword(c::Change, k::To, "Mister"));
  EXPECT_TRUE(edit.setCommand(c::Change, "Ms."));
  EXPECT_TRUE(edit.coded);
  EXPECT_EQ(edit.codedKey, -42);
  ASSERT_EQ(edit.changes.size(), 2u);
  EXPECT_EQ(edit.changes[0].fromText + ">" + edit.changes[0].toText, "Mr.>Mister");
  EXPECT_EQ(edit.changes[1].fromText + ">" + edit.changes[1].toText, "Ms.>");
}

TEST(LockDefinitionTest, RefusesEmptySourceSelectAndColumn) {
  LockDefinition lock("L");
  EXPECT_FALSE(lock.setCommand(c::Source, ""));
  EXPECT_FALSE(lock.setCommand(c::Accept, ""));
  EXPECT_TRUE(lock.setCommand(c::Source, "STATUSDB"));
  EXPECT_FALSE(lock.setKeyword(c::Source, k::Select, ""));
  EXPECT_TRUE(lock.setKeyword(c::Source, k::Select, "SELECT STATE FROM LOADS"));
  EXPECT_TRUE(lock.setKeyword(c::Source, k::Userid, ""));
  EXPECT_TRUE(lock.setCommand(c::Accept, "STATE"));
  EXPECT_TRUE(lock.setKeyword(c::Accept, k::Value, "DONE"));
  EXPECT_FALSE(lock.setKeyword(c::Accept, k::Select, "X"));
  EXPECT_EQ(lock.source + "|" + lock.select + "|" + lock.acceptColumn + "|" + lock.acceptValue,
            "STATUSDB|SELECT STATE FROM LOADS|STATE|DONE");
}

TEST(DefinitionTest, BaseRejectsAndSucceedsQuietly) {
  RecordingLog recording;
  ScriptModel model(recording.log);
  Definition base("B");
  EXPECT_EQ(base.kind(), 0);
  EXPECT_FALSE(base.setCommand(c::From, "X"));
  EXPECT_FALSE(base.setKeyword(c::From, k::Table, "X"));
  EXPECT_TRUE(base.resolve(recording.log, model));
  EXPECT_TRUE(base.loadColumnDefinitions(recording.log));
  EXPECT_TRUE(base.run(recording.log, nullptr, 0));
  EXPECT_FALSE(base.isBusy());
  EXPECT_TRUE(recording.lines.empty());
}

// Resolving through the reader, so that the lines come in their load order.
struct ResolveCase {
  const char* name;
  std::string script;
  std::vector<std::string> lines;  // between the start and the closing lines
  bool modelKept;
};

void PrintTo(const ResolveCase& c, std::ostream* out) { *out << c.name; }

class ResolveTest : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveTest, ChecksAndBinds) {
  const ResolveCase& c = GetParam();
  ScriptDatabases databases;
  TempFolder folder;
  RecordingLog recording;
  ScriptModel model(recording.log);
  ScriptReader reader(recording.log);
  reader.setFactory(&runnableDefinitions());
  reader.setModel(&model);
  ASSERT_TRUE(reader.Load(folder.write("script.txt", databases.script(c.script))));
  std::vector<std::string> texts = databases.plain(recording.texts());
  ASSERT_GE(texts.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(texts.begin() + 2, texts.end() - 1), c.lines);
  EXPECT_EQ(!model.empty(), c.modelKept);
}

const char kFrom[] = "COPYDEFINITION: C\n FROM SRC TABLE=A\n";
const char kTo[] = " TO DST TABLE=B\n";
const char kKey[] = " COPY K KEY=YES\n";
const char kNoProcessing[] = "No processing will be performed";

std::vector<std::string> Lines(std::vector<std::string> first,
                               std::initializer_list<std::string> then) {
  first.insert(first.end(), then);
  return first;
}

std::string Script(std::initializer_list<std::string> parts) {
  std::string script;
  for (const std::string& part : parts) script += part;
  return script;
}

INSTANTIATE_TEST_SUITE_P(
    CopyDefinition, ResolveTest,
    ::testing::Values(
        ResolveCase{"Inactive",
                    "COPYDEFINITION: C\n FROM SRC INACTIVE=YES\n",
                    {"Copy definition C ignored due to INACTIVE flag on FROM command"},
                    true},
        ResolveCase{"NoTableOrSelect",
                    Script({"COPYDEFINITION: C\n FROM SRC\n", kTo, kKey}),
                    {"Missing FROM table or SELECT statement in copy definition C", kNoProcessing},
                    false},
        ResolveCase{"NoTargetTable",
                    Script({kFrom, kKey}),
                    {"Missing TO table definition in copy definition C", kNoProcessing},
                    false},
        ResolveCase{"NoColumns",
                    Script({kFrom, kTo}),
                    {"Missing column definitions in copy definition C", kNoProcessing},
                    false},
        ResolveCase{"NoKeyColumn",
                    Script({kFrom, kTo, " COPY K KEY=NO\n"}),
                    {"Missing KEY=YES column definitions in copy definition C", kNoProcessing},
                    false},
        ResolveCase{
            "SelectWithQualifier",
            Script({"COPYDEFINITION: C\n FROM SRC SELECT='SELECT 1' QUALIFIER=Q\n", kTo, kKey}),
            {"Cannot have both SELECT statement and TABLE name in FROM statement in copy "
             "definition C",
             kNoProcessing},
            false},
        ResolveCase{"LockNameCaseCounts",
                    Script({"COPYDEFINITION: C\n FROM SRC TABLE=A LOCK='gate'\n", kTo, kKey,
                            "LOCKDEFINITION: GATE\n SOURCE S SELECT=X\n ACCEPT A VALUE=1\n"}),
                    {"Lock definition name gate in copydefinition C not found", kNoProcessing},
                    false},
        ResolveCase{"AutorunNeedsATimer",
                    Script({kFrom, kTo, kKey,
                            " AUTORUN T\nLOCKDEFINITION: T\n SOURCE S SELECT=X\n"
                            " ACCEPT A VALUE=1\n"}),
                    {"Autorun name T in copydefinition C not found", kNoProcessing},
                    false},
        ResolveCase{
            "UnknownTranslateTable",
            Script({kFrom, kTo, kKey, " COPY NAME TRANS=T1\n"}),
            {"Translatedefinition T1 for column NAME in copydefinition C not found", kNoProcessing},
            false},
        ResolveCase{
            "UnknownEditDefinition",
            Script({kFrom, kTo, kKey, " COPY NAME EDIT=E1\nTRANSLATETABLE: E1\n"}),
            {"Editdefinition E1 for column NAME in copydefinition C not found", kNoProcessing},
            false},
        ResolveCase{"TimerWithoutStart",
                    Script({kFrom, kTo, kKey, "TIMERDEFINITION: T\n RETRY 2\n"}),
                    Lines(ScriptDatabases::loadLines("C", "SRC", "DST"),
                          {"Missing start time in timerdefinition T", kNoProcessing}),
                    false},
        ResolveCase{
            "NamesBoundLaterInTheFile",
            Script({kFrom, kTo, kKey,
                    " COPY NAME TRANS=T EDIT=E\n AUTORUN N\nTRANSLATETABLE: T\n"
                    "EDITDEFINITION: E\nTIMERDEFINITION: N\n START 1997-01-01 TIME=02:00\n"}),
            ScriptDatabases::loadLines("C", "SRC", "DST"), true}),
    [](const ::testing::TestParamInfo<ResolveCase>& info) { return std::string(info.param.name); });

const char kLock[] = "LOCKDEFINITION: L\n SOURCE SRC SELECT='SELECT K FROM A'\n ACCEPT K VALUE=1\n";

TEST(ResolveTest, BindsTheFirstDefinitionOfTheNameAndKind) {
  ScriptDatabases databases;
  TempFolder folder;
  RecordingLog recording;
  ScriptModel model(recording.log);
  ScriptReader reader(recording.log);
  reader.setFactory(&runnableDefinitions());
  reader.setModel(&model);
  ASSERT_TRUE(reader.Load(folder.write(
      "script.txt", databases.script(Script({"COPYDEFINITION: C\n FROM SRC TABLE=A LOCK=L\n", kTo,
                                             kKey, " COPY NAME TRANS=L\n", "TRANSLATETABLE: L\n",
                                             kLock, "TRANSLATETABLE: L\n", kLock})))));
  ASSERT_GE(model.size(), 3u);
  auto* copyDefinition = static_cast<CopyDefinition*>(model.first());
  Definition* translate = copyDefinition->next;
  Definition* lock = translate->next;
  EXPECT_EQ(copyDefinition->lockDefinition, lock);
  EXPECT_EQ(copyDefinition->copyColumns.back().translateTable, translate);
  EXPECT_EQ(copyDefinition->copyColumns.front().translateTable, nullptr);
  EXPECT_EQ(copyDefinition->log, &recording.log);
  EXPECT_EQ(model.Find(kTranslateKind, "L"), translate);
  EXPECT_EQ(model.Find(kTranslateKind, "l"), nullptr);
  EXPECT_EQ(model.Find(kCopyKind, "L"), nullptr);
}

TEST(ResolveTest, TimerDebugLineNeedsBothOptions) {
  ScriptDatabases databases;
  TempFolder folder;
  std::string file =
      folder.write("script.txt", databases.script(Script({kFrom, kTo, kKey,
                                                          "TIMERDEFINITION: N\n START 1997-1-2 "
                                                          "TIME=02:05 DAYS=YYYYYNN\n"})));
  for (bool debugMode : {false, true}) {
    Options options({"TimerDebugging=1", debugMode ? "DebugMode=1" : "DebugMode=0"});
    RecordingLog recording;
    recording.log.Configure(MessageLog::kMaxMaxLines, "", debugMode);
    ScriptModel model(recording.log);
    ScriptReader reader(recording.log, &options.parameters);
    reader.setFactory(&runnableDefinitions());
    reader.setModel(&model);
    ASSERT_TRUE(reader.Load(file));
    std::vector<std::string> debugLines;
    for (const std::string& text : recording.texts()) {
      if (text.rfind("Debug: Timer", 0) == 0) debugLines.push_back(text);
    }
    std::vector<std::string> expected;
    if (debugMode) expected = {"Debug: Timer [N] start=1997-01-02 02:05 days=YYYYYNN"};
    EXPECT_EQ(debugLines, expected);
    ASSERT_FALSE(model.empty());
    EXPECT_TRUE(static_cast<TimerDefinition*>(model.last())->timerDebugging);
  }
}

class CountingDefinition : public Definition {
 public:
  CountingDefinition(std::string name, bool result, bool busy)
      : Definition(std::move(name)), result_(result), busy_(busy) {}
  int kind() const override { return kCopyKind; }
  bool isBusy() const override { return busy_; }
  bool run(MessageLog& log, StatusWindowFactory*, int retryNumber) override {
    log.AddLine("run " + name + " " + std::to_string(retryNumber), Normal);
    return result_;
  }

 private:
  bool result_, busy_;
};

class FixedSchedule : public NextEventSource {
 public:
  explicit FixedSchedule(std::time_t when) : when_(when) {}
  bool nextEvent(std::time_t& when) override {
    when = when_;
    return when_ != 0;
  }

 private:
  std::time_t when_;
};

TEST(ScriptModelTest, RunsEveryDefinitionInScriptOrder) {
  RecordingLog recording;
  ScriptModel model(recording.log);
  EXPECT_FALSE(model.HasCopyDefinition());
  model.Append(std::make_unique<TimerDefinition>("T", DefinitionSettings{}));
  EXPECT_FALSE(model.HasCopyDefinition());
  model.Append(std::make_unique<CountingDefinition>("A", false, false));
  model.Append(std::make_unique<TranslateDefinition>("X"));
  model.Append(std::make_unique<CountingDefinition>("B", true, false));
  EXPECT_TRUE(model.HasCopyDefinition());
  EXPECT_FALSE(model.AnyBusy());
  model.RunAll(nullptr);
  EXPECT_EQ(recording.texts(), (std::vector<std::string>{"run A 0", "run B 0"}));

  model.Append(std::make_unique<CountingDefinition>("C", true, true));
  EXPECT_TRUE(model.AnyBusy());
  model.Clear();
  EXPECT_TRUE(model.empty());
  EXPECT_EQ(model.first(), nullptr);
  EXPECT_FALSE(model.AnyBusy());
}

TEST(ScriptModelTest, LogsTheNextScheduledEvent) {
  RecordingLog recording;
  ScriptModel model(recording.log);
  FixedSchedule scheduled(test::LocalTime(1997, 1, 28, 14, 5, 9));
  FixedSchedule nothing(0);
  model.LogNextEvent(nullptr);
  model.LogNextEvent(&nothing);
  model.LogNextEvent(&scheduled);
  EXPECT_EQ(recording.lines,
            (std::vector<RecordedLine>{{"Next scheduled event at 1997-01-28 14:05:09", Normal}}));
}

TEST(CopyDefinitionTest, InactiveRunsNothingAndUnresolvedRunsFailVisibly) {
  RecordingLog recording;
  CopyDefinition active("C", {});
  CopyDefinition inactive("I", {});
  inactive.inactive = true;
  EXPECT_TRUE(inactive.run(recording.log, nullptr, 0));
  EXPECT_FALSE(active.run(recording.log, nullptr, 0));
  EXPECT_EQ(recording.lines,
            (std::vector<RecordedLine>{
                {"Copy definition I ignored due to INACTIVE flag in FROM command", Note},
                {"---------------------------------------------------------------------", Normal},
                {"Starting processing copy definition C", Normal},
                {"Copy definition C was not resolved", Error},
                {"Processing could not be performed", Error}}));
}

}  // namespace
}  // namespace kestrel
