#include "base/message_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "fakes.h"

namespace kestrel {
namespace {

using test::FakeClock;
using test::localTime;

// A window of fixed metrics: every character 7 wide, every line 16 high.
class FakeView final : public LogView {
 public:
  Extent characterExtent() override { return {7, 16}; }
  Extent textExtent(const std::string& text) override {
    return {7 * static_cast<int>(text.size()), 16};
  }
  void setScrollSizes(Extent total, Extent step) override {
    scrollSize = total;
    scrollStep = step;
  }
  ScrollPosition scrollPosition() override { return position; }
  void scrollTo(ScrollPosition p) override { position = p; }
  int clientHeight() override { return client; }
  void repaintNow() override { ++repaints; }
  void drawText(int x, int y, const std::string& text, Rgb colour) override {
    drawn.push_back({x, y, text, colour});
  }

  struct Drawn {
    int x, y;
    std::string text;
    Rgb colour;
  };
  Extent scrollSize, scrollStep;
  ScrollPosition position;
  int client = 64;  // four lines
  int repaints = 0;
  std::vector<Drawn> drawn;
};

std::vector<std::string> readLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class MessageLogTest : public ::testing::Test {
 protected:
  void SetUp() override { log.AttachView(&view); }
  std::vector<std::string> texts() const {
    std::vector<std::string> result;
    for (const LogLine& line : log.lines()) result.push_back(line.text);
    return result;
  }
  std::string folder() {
    if (folder_.empty()) {
      char pattern[] = "/tmp/kestrel-log-XXXXXX";
      folder_ = ::mkdtemp(pattern);
    }
    return folder_;
  }
  void TearDown() override {
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }

  FakeClock clock{localTime(2026, 12, 10, 7, 5, 9)};
  FakeView view;
  MessageLog log;
  std::string folder_;
};

TEST_F(MessageLogTest, StampsEachLineAndKeepsLeadingBlanks) {
  log.AddLine("  indented", Note);
  ASSERT_EQ(log.lineCount(), 1);
  EXPECT_EQ(log.lines().front().text, "2026-12-10 07:05:09    indented");
  EXPECT_EQ(log.lines().front().kind, Note);
  EXPECT_GT(view.repaints, 0);
}

TEST_F(MessageLogTest, IgnoresEmptyAndBlankMessagesEverywhere) {
  std::string file = folder() + "/trace.log";
  log.Configure(10, file, false);
  log.AddLine("", Normal);
  log.AddLine("    ", Error);
  EXPECT_EQ(log.lineCount(), 0);
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(MessageLogTest, ClampsTheMaximumLineCount) {
  struct Case {
    int configured, expected;
  };
  for (Case c : {Case{5, 10}, Case{10, 10}, Case{200, 200}, Case{5000, 1000}, Case{-3, 10}}) {
    MessageLog other;
    other.Configure(c.configured, "", false);
    EXPECT_EQ(other.maxLines(), c.expected) << c.configured;
  }
  EXPECT_EQ(MessageLog().maxLines(), 100);
}

TEST_F(MessageLogTest, TheEleventhLinePushesOutTheFirst) {
  log.Configure(10, "", false);
  for (int i = 1; i <= 11; ++i) log.AddLine("line " + std::to_string(i), Normal);
  EXPECT_EQ(log.lineCount(), 10);
  EXPECT_EQ(texts().front(), "2026-12-10 07:05:09  line 2");
  EXPECT_EQ(texts().back(), "2026-12-10 07:05:09  line 11");
  EXPECT_EQ(log.totalHeight(), 160);
}

TEST_F(MessageLogTest, DebugLinesNeedDebugModeAndAFirstPart) {
  log.AddDebugLine("hidden");
  log.Configure(100, "", true);
  log.AddDebugLine(nullptr, "B");
  EXPECT_EQ(log.lineCount(), 0);
  log.AddDebugLine("A", nullptr, "C", nullptr);
  log.AddDebugLine("A", "B", "C", "D");
  ASSERT_EQ(log.lineCount(), 2);
  EXPECT_EQ(texts()[0], "2026-12-10 07:05:09  Debug: A C");
  EXPECT_EQ(texts()[1], "2026-12-10 07:05:09  Debug: A B C D");
  EXPECT_EQ(log.lines().front().kind, Note);
}

TEST_F(MessageLogTest, DebugLineGoesThroughTheProgramLog) {
  DebugLine("nobody listens");  // no program log yet: nothing happens
  log.Configure(100, "", true);
  setProgramLog(&log);
  DebugLine("hash", "slot", "17");
  setProgramLog(nullptr);
  ASSERT_EQ(log.lineCount(), 1);
  EXPECT_EQ(texts()[0], "2026-12-10 07:05:09  Debug: hash slot 17");
}

TEST_F(MessageLogTest, AppendsEveryLineToTheLogFileAndClearKeepsIt) {
  std::string file = folder() + "/trace.log";
  { std::ofstream(file) << "earlier run\n"; }
  log.Configure(100, file, false);
  log.AddLine("first", Normal);
  log.AddLine("second", Error);
  log.Clear();
  log.AddLine("third", Normal);
  EXPECT_EQ(texts(), std::vector<std::string>{"2026-12-10 07:05:09  third"});
  EXPECT_EQ(readLines(file), (std::vector<std::string>{"earlier run", "2026-12-10 07:05:09  first",
                                                       "2026-12-10 07:05:09  second",
                                                       "2026-12-10 07:05:09  third"}));
}

TEST_F(MessageLogTest, EveryLineIsFollowedByTheOpenFailureWhenTheFileCannotBeOpened) {
  std::string file = folder() + "/no/such/folder/trace.log";
  log.Configure(100, file, false);
  log.AddLine("one", Normal);
  log.AddLine("two", Note);
  std::string failure =
      "2026-12-10 07:05:09  Cannot open output trace file '" + file + "' for output";
  EXPECT_EQ(texts(), (std::vector<std::string>{"2026-12-10 07:05:09  one", failure,
                                               "2026-12-10 07:05:09  two", failure}));
  EXPECT_EQ(std::next(log.lines().begin())->kind, Error);
}

TEST_F(MessageLogTest, AWriteFailureIsShownAndNotWritten) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "/dev/full is missing";
  log.Configure(100, "/dev/full", false);
  log.AddLine("lost", Normal);
  ASSERT_EQ(log.lineCount(), 2);
  EXPECT_EQ(texts()[1],
            "2026-12-10 07:05:09  Cannot write to output trace file '/dev/full' for output");
}

TEST_F(MessageLogTest, ControlBytesAreShownAsEscapesInTheViewTheListenerAndTheFile) {
  std::string file = folder() + "/trace.log";
  log.Configure(100, file, false);
  std::vector<std::string> heard;
  log.setLineListener([&](const LogLine& line) { heard.push_back(line.text); });
  // An escape sequence, a NUL in the middle, a tab, a line feed (a blank: drivers break
  // their messages into lines), a carriage return, DEL and a UTF-8 C1 control (CSI); a
  // UTF-8 letter stays. Line ends at the end are dropped.
  using namespace std::string_literals;
  log.AddLine(
      "a\x1b[31mred\0tail\tx\ny\rz\x7f\xc2\x9b"
      "2J \xc3\xa9\r\n"s,
      Error);
  const std::string shown =
      "2026-12-10 07:05:09  a\\x1B[31mred\\x00tail\\x09x y\\x0Dz\\x7F\\xC2\\x9B2J \xc3\xa9";
  EXPECT_EQ(texts(), std::vector<std::string>{shown});
  EXPECT_EQ(heard, std::vector<std::string>{shown});
  EXPECT_EQ(readLines(file), std::vector<std::string>{shown});
}

TEST_F(MessageLogTest, TheLogFileIsMadeForItsOwnerOnlyAndALinkAtItsNameIsNotFollowed) {
  std::string file = folder() + "/trace.log";
  log.Configure(100, file, false);
  log.AddLine("private", Normal);
  struct stat status {};
  ASSERT_EQ(::stat(file.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);

  // A link planted at the name of the log file: the file it points at stays untouched.
  std::string victim = folder() + "/victim.txt";
  { std::ofstream(victim) << "keep\n"; }
  std::string planted = folder() + "/planted.log";
  ASSERT_EQ(::symlink(victim.c_str(), planted.c_str()), 0);
  log.Configure(100, planted, false);
  log.Clear();
  log.AddLine("one", Normal);
  log.AddLine("two", Normal);
  const std::string stamp = "2026-12-10 07:05:09  ";
  const std::string failure = stamp + "Cannot open output trace file '" + planted + "' for output";
  EXPECT_EQ(texts(),
            (std::vector<std::string>{stamp + "one", failure,
                                      stamp + "The log file name '" + planted +
                                          "' is a symbolic link: nothing is written through it",
                                      stamp + "two", failure}));
  EXPECT_EQ(readLines(victim), std::vector<std::string>{"keep"});
}

TEST_F(MessageLogTest, DrawsEveryLineInTheColourOfItsKind) {
  for (int kind = Dim; kind <= Error; ++kind) log.AddLine("kind " + std::to_string(kind), kind);
  log.Draw();
  ASSERT_EQ(view.drawn.size(), 4u);
  const Rgb expected[] = {{128, 128, 128}, {0, 0, 0}, {0, 0, 128}, {255, 0, 0}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(view.drawn[i].colour, expected[i]);
    EXPECT_EQ(view.drawn[i].y, 16 * i);
  }
}

TEST_F(MessageLogTest, ScrollsToShowTheNewestLineAtTheBottom) {
  EXPECT_EQ(view.scrollStep.height, 16);
  for (int i = 0; i < 10; ++i) log.AddLine("0123456789", Normal);
  EXPECT_EQ(view.scrollSize.height, 160);
  EXPECT_EQ(view.scrollSize.width, 7 * 31);
  EXPECT_EQ(view.position, (ScrollPosition{0, 160 - 64}));
}

TEST_F(MessageLogTest, HandlesTheScrollingKeys) {
  for (int i = 0; i < 10; ++i) log.AddLine("0123456789", Normal);  // 160 high, 217 wide
  struct Case {
    ScrollPosition from;
    LogKey key;
    ScrollPosition to;
  };
  const Case cases[] = {
      {{0, 100}, LogKey::PageUp, {0, 36}}, {{0, 30}, LogKey::PageUp, {0, 0}},
      {{0, 0}, LogKey::PageDown, {0, 64}}, {{0, 120}, LogKey::PageDown, {0, 144}},
      {{5, 50}, LogKey::Home, {0, 0}},     {{5, 0}, LogKey::End, {0, 96}},
      {{3, 0}, LogKey::Left, {0, 0}},      {{14, 0}, LogKey::Left, {7, 0}},
      {{0, 10}, LogKey::Up, {0, 0}},       {{0, 144}, LogKey::Down, {0, 144}},
      {{0, 16}, LogKey::Down, {0, 32}},    {{203, 0}, LogKey::Right, {210, 0}},
      {{210, 0}, LogKey::Right, {210, 0}},
  };
  for (const Case& c : cases) {
    view.position = c.from;
    EXPECT_TRUE(log.HandleKey(c.key));
    EXPECT_EQ(view.position, c.to)
        << "key " << static_cast<int>(c.key) << " from " << c.from.x << "," << c.from.y;
  }
  view.position = {0, 50};
  EXPECT_FALSE(log.HandleKey(LogKey::Other));
  EXPECT_EQ(view.position, (ScrollPosition{0, 50}));
}

TEST_F(MessageLogTest, PassesEveryShownLineToTheListener) {
  std::vector<std::string> heard;
  log.setLineListener([&](const LogLine& line) { heard.push_back(line.text); });
  log.AddLine("hello", Normal);
  EXPECT_EQ(heard, std::vector<std::string>{"2026-12-10 07:05:09  hello"});
}

}  // namespace
}  // namespace kestrel
