// What keeps runs from harming each other: the lock that lets one process at
// a time write into a target table, the removal of temporary files that
// killed runs left behind (and only those), and a failed load that says so
// once.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "copy_run_fixture.h"
#include "engine/target_lock.h"

namespace kestrel::test {
namespace {

const char kColumns[] = "K INTEGER, NAME VARCHAR(20)";

// The lines of a log, without their time stamps.
struct RecordedLine {
  std::string text;
  int kind;
  bool operator==(const RecordedLine&) const = default;
};
void PrintTo(const RecordedLine& line, std::ostream* out) {
  *out << "{" << line.kind << ", \"" << line.text << "\"}";
}
struct RecordingLog {
  RecordingLog() {
    log.setLineListener([this](const LogLine& line) {
      lines.push_back({line.text.substr(21), line.kind});
    });
  }
  MessageLog log;
  std::vector<RecordedLine> lines;
};

const char kDefinitionC[] =
    "COPYDEFINITION: C\n FROM SRC TABLE=A\n TO DST TABLE=B UPDATE=KEYS\n"
    " COPY K KEY=YES\n COPY NAME\n";

TEST(TargetLockTest, OneHolderPerTableAndTheOthersAreToldWhoHoldsIt) {
  RecordingLog recording;
  TargetLock first;
  ASSERT_TRUE(first.acquire("Dsn_A", "ADM.T1", std::chrono::milliseconds(0), recording.log));
  EXPECT_TRUE(recording.lines.empty());

  // Another table, or the same one in another data source, is free.
  TargetLock other;
  EXPECT_TRUE(other.acquire("DSN_A", "ADM.T2", std::chrono::milliseconds(0), recording.log));
  other.release();
  EXPECT_TRUE(other.acquire("DSN_B", "ADM.T1", std::chrono::milliseconds(0), recording.log));
  other.release();

  // The same table under another case of its names is the same target.
  const std::string holder =
      "process " + std::to_string(::getpid()) + " (" + program_invocation_short_name + ")";
  TargetLock second;
  EXPECT_FALSE(second.acquire("dsn_a", "adm.t1", std::chrono::milliseconds(0), recording.log));
  EXPECT_EQ(
      recording.lines,
      (std::vector<RecordedLine>{{"The target table adm.t1 in data source dsn_a is in use by " +
                                      holder + ": no second run writes into it at the same time",
                                  Error}}));
  recording.lines.clear();
  EXPECT_FALSE(second.acquire("DSN_A", "ADM.T1", std::chrono::milliseconds(300), recording.log));
  ASSERT_EQ(recording.lines.size(), 2u);
  EXPECT_EQ(recording.lines[0],
            (RecordedLine{"The target table ADM.T1 in data source DSN_A is in use by " + holder +
                              ": waiting up to 1 seconds for it to end",
                          Note}));

  first.release();
  recording.lines.clear();
  EXPECT_TRUE(second.acquire("DSN_A", "ADM.T1", std::chrono::milliseconds(0), recording.log));
  EXPECT_TRUE(recording.lines.empty());
}

TEST(TargetLockTest, AStopRequestEndsTheWait) {
  RecordingLog recording;
  TargetLock first, second;
  ASSERT_TRUE(first.acquire("DSN", "T", std::chrono::milliseconds(0), recording.log));
  requestProgramStop();
  EXPECT_FALSE(second.acquire("DSN", "T", std::chrono::hours(1), recording.log));
  clearProgramStop();
  EXPECT_EQ(recording.lines.back(),
            (RecordedLine{"Run stopped: the program was asked to end", Error}));
}

// A process id that no longer runs: a child that has ended and been reaped.
pid_t endedProcess() {
  pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

class LeftoverFileTest : public CopyRunTest {
 protected:
  // A file of `bytes` in the temporary file folder.
  std::string leftover(const std::string& name, const std::string& bytes) {
    std::string path = tempFolder_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  // The file magic of a temporary file and a few record bytes.
  const std::string ours = std::string("\x5e\xf4\x23\x00", 4) + "records";
};

TEST_F(LeftoverFileTest, ARunRemovesOnlyTheFilesOfEndedRuns) {
  table(source(), "A", kColumns, {"1, 'one'"});
  table(target(), "B", kColumns);
  const std::string dead = std::to_string(endedProcess());
  const std::string killed = leftover("k-" + dead + ".tmp", ours);
  const std::string killedNumbered = leftover("k-" + dead + ".tmp.3", ours);
  leftover("k-" + std::to_string(endedProcess()) + ".tmp", "not a temporary file of ours");
  leftover("k-1.tmp", ours);      // its process (init) runs
  leftover("other-5.tmp", ours);  // not a name TempFile makes
  const std::string held = leftover("k-" + std::to_string(endedProcess()) + ".tmp", ours);
  // A file still locked belongs to a live run, whatever its name says.
  const int heldFd = ::open(held.c_str(), O_RDWR);
  ASSERT_GE(heldFd, 0);
  ASSERT_EQ(::flock(heldFd, LOCK_EX), 0);

  ASSERT_TRUE(load(kDefinitionC));
  ASSERT_TRUE(run());
  ::close(heldFd);
  // Left: the file that is not ours, init's, the other name and the locked one.
  EXPECT_EQ(temporaryFiles().size(), 4u) << ::testing::PrintToString(temporaryFiles());
  EXPECT_FALSE(std::filesystem::exists(killed));
  EXPECT_FALSE(std::filesystem::exists(killedNumbered));
  EXPECT_TRUE(std::filesystem::exists(held));
  EXPECT_TRUE(std::filesystem::exists(tempFolder_ + "/k-1.tmp"));
  EXPECT_TRUE(std::filesystem::exists(tempFolder_ + "/other-5.tmp"));
  for (const std::string& removed : {killed, killedNumbered}) {
    EXPECT_TRUE(logged({"Temporary file '" + removed + "' left by an ended run removed", Note}))
        << removed;
  }
}

TEST_F(CopyRunTest, AColumnThatIsNotThereFailsTheLoadWithOneLine) {
  table(source(), "A", kColumns);
  table(target(), "B", kColumns);
  ASSERT_TRUE(
      load("COPYDEFINITION: C\n FROM SRC TABLE=A\n TO DST TABLE=B\n"
           " COPY K KEY=YES\n COPY NOPE\n"));
  EXPECT_EQ(std::count(loadLines_.begin(), loadLines_.end(),
                       LoggedLine{"Processing could not be performed", Error}),
            1);
}

}  // namespace
}  // namespace kestrel::test
