#include "engine/run_options.h"

#include <gtest/gtest.h>

#include "base/parameter_file.h"
#include "engine/temporary_file.h"

namespace kestrel {
namespace {

// A run reads its options once, by the keys of kestrel's option table: a key
// misspelt here would read as 0 for ever, so every option is set away from
// its default and must arrive.
TEST(RunOptionsTest, TakesEveryOptionFromTheTable) {
  MemoryProfile profile;
  ParameterFile options(profile);
  DefineKestrelOptions(options);
  ASSERT_TRUE(options.ProcessCommandLine(
      "NoUpdate=1 ListSQL=1 UpdateDebugging=1 ListColumns=1 CheckForZeroRows=1 CancelActive=1 "
      "DebugMode=1 MaxBeforeCommit=25 HashSlots=12345 TempFile=/srv/spool/k.tmp"));
  const RunOptions run = RunOptions::from(&options);
  EXPECT_TRUE(run.noUpdate);
  EXPECT_TRUE(run.listSql);
  EXPECT_TRUE(run.updateDebugging);
  EXPECT_TRUE(run.listColumns);
  EXPECT_TRUE(run.checkForZeroRows);
  EXPECT_TRUE(run.cancelActive);
  EXPECT_TRUE(run.debugMode);
  EXPECT_EQ(run.maxBeforeCommit, 25);
  EXPECT_EQ(run.hashSlots, 12345);
  EXPECT_EQ(run.tempFile, "/srv/spool/k.tmp");
  EXPECT_EQ(run.hashTableBytes(), 12345 * 4);

  // Later changes reach the next snapshot only.
  ASSERT_TRUE(options.ProcessCommandLine("NoUpdate=0"));
  EXPECT_TRUE(run.noUpdate);
  EXPECT_FALSE(RunOptions::from(&options).noUpdate);
}

TEST(RunOptionsTest, HashSlotsOutOfRangeGiveTheDefaultTable) {
  for (int slots : {0, -5, TemporaryFile::kMaxHashSlots + 1}) {
    RunOptions run;
    run.hashSlots = slots;
    EXPECT_EQ(run.hashTableBytes(), TemporaryFile::kTableBytes) << slots;
  }
  EXPECT_FALSE(RunOptions::from(nullptr).noUpdate);
}

}  // namespace
}  // namespace kestrel
