#include "base/parameter_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "fakes.h"

namespace kestrel {
namespace {

using test::RecordingMessageBox;

class ParameterFileTest : public ::testing::Test {
 protected:
  ParameterFileTest() { DefineKestrelOptions(parameters); }
  ~ParameterFileTest() override {
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }
  std::string writeFile(const std::string& name, const std::string& content) {
    if (folder_.empty()) {
      char pattern[] = "/tmp/kestrel-param-XXXXXX";
      folder_ = ::mkdtemp(pattern);
    }
    std::string path = folder_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  RecordingMessageBox boxes;
  MemoryProfile profile;
  ParameterFile parameters{profile};
  std::string folder_;
};

TEST_F(ParameterFileTest, DefinesBothSectionsAndEveryOptionInOrder) {
  std::vector<std::string> keys;
  for (const OptionSection& section : parameters.sections()) {
    keys.push_back("[" + section.name + "]");
    for (const Option& option : section.options) keys.push_back(option.key);
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"[General options]",
                                            "ScriptFile",
                                            "LogFile",
                                            "TempFile",
                                            "MaxDisplayLines",
                                            "InitiallyReadScript",
                                            "CheckForZeroRows",
                                            "MaxBeforeCommit",
                                            "PollInterval",
                                            "HashSlots",
                                            "[Test options]",
                                            "CancelActive",
                                            "DebugMode",
                                            "ListScript",
                                            "ListColumns",
                                            "ListSQL",
                                            "NoUpdate",
                                            "UpdateDebugging",
                                            "TimerDebugging",
                                            "BrowseOdbcSoure",
                                            "BrowseOdbcQualifierMask",
                                            "BrowseOdbcCreatorMask",
                                            "BrowseOdbcTableMask",
                                            "LockUserid",
                                            "LockPwd",
                                            "LockSource",
                                            "LockSelect",
                                            "LockColumnName",
                                            "LockColumnValue",
                                            "WindowLeft",
                                            "WindowTop",
                                            "Windowright",
                                            "WindowBottom"}));
  const Option* pwd = parameters.Find("LockPwd");
  EXPECT_TRUE(pwd->password);
  EXPECT_FALSE(pwd->visible);
  const Option* cancel = parameters.Find("CancelActive");
  EXPECT_TRUE(cancel->flag && cancel->numeric && cancel->visible);
  EXPECT_EQ(cancel->value, "1");
  EXPECT_EQ(parameters.integer("PollInterval"), 10000);
  EXPECT_EQ(parameters.integer("MaxDisplayLines"), 200);
  EXPECT_TRUE(parameters.Find("ScriptFile")->filename);
  EXPECT_EQ(parameters.Find("Windowright")->help,
            "Defines the right side screen offset of where the display window is shown when "
            "opened.");
  EXPECT_EQ(parameters.integer("WindowTop"), kNoWindowPosition);
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ParameterFileTest, DefiningAKeyAgainInAnyCaseKeepsTheFirstDefinition) {
  parameters.Assign("ListSQL=1");
  Option* again = parameters.DefineText("listsql", "0", "other help");
  EXPECT_EQ(again, parameters.Find("ListSQL"));
  EXPECT_EQ(again->value, "1");
  EXPECT_NE(again->help, "other help");
}

TEST_F(ParameterFileTest, ReadsStoredValuesAndFallsBackToTheDefault) {
  MemoryProfile stored;
  stored.write("General options", "MaxDisplayLines", "500");
  ParameterFile other(stored);
  DefineKestrelOptions(other);
  EXPECT_EQ(other.integer("MaxDisplayLines"), 500);
  EXPECT_EQ(other.integer("PollInterval"), 10000);
}

TEST_F(ParameterFileTest, SetTextWritesThroughAtOnceAndAssignDoesNot) {
  EXPECT_TRUE(parameters.SetInt(parameters.Find("MaxBeforeCommit"), 250));
  EXPECT_EQ(profile.values.at({"General options", "MaxBeforeCommit"}), "250");
  EXPECT_TRUE(parameters.Assign("ListSQL=1"));
  EXPECT_EQ(parameters.integer("ListSQL"), 1);
  EXPECT_EQ(profile.values.count({"Test options", "ListSQL"}), 0u);
  EXPECT_FALSE(parameters.SetText(nullptr, "x"));
}

TEST_F(ParameterFileTest, PasswordsAreStoredScrambledAndReadBack) {
  const std::string secret = "S3cret pass,word! ~{}\"' with blanks and ünïcode";
  parameters.SetText(parameters.Find("LockPwd"), secret);
  const std::string& stored = profile.values.at({"Test options", "LockPwd"});
  EXPECT_NE(stored, secret);
  for (unsigned char c : stored) EXPECT_GE(c, 32);
  ParameterFile reread(profile);
  DefineKestrelOptions(reread);
  EXPECT_EQ(reread.text("LockPwd"), secret);
}

TEST_F(ParameterFileTest, ScramblingGivesBackEveryText) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  for (const std::string& text : {std::string(), std::string("a"), all, std::string(300, '~')}) {
    std::string stored = ParameterFile::scramble(text);
    EXPECT_EQ(ParameterFile::unscramble(stored), text);
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (static_cast<unsigned char>(text[i]) >= 32) {
        EXPECT_GE(static_cast<unsigned char>(stored[i]), 32);
      }
    }
  }
}

// Profiles out in the field hold passwords in this form: a change of the
// scrambling would make every stored password read back as a different text.
// A control character is kept and does not advance the sequence; a byte above
// 126 is kept and does.
TEST_F(ParameterFileTest, StoredFormOfKnownPasswordsNeverChanges) {
  const struct {
    std::string password, stored;
  } cases[] = {
      {"kestrel_pw", "~%*`-],CSg"},
      {"Ab\tc \xc3\xa4!", "T\"\tyk\xc3\xa4@"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParameterFile::scramble(c.password), c.stored) << c.password;
    EXPECT_EQ(ParameterFile::unscramble(c.stored), c.password) << c.stored;
  }
}

TEST_F(ParameterFileTest, GetIntReadsLeadingDigits) {
  struct Case {
    const char* text;
    int expected;
  };
  Option option;
  for (Case c : {Case{"42", 42}, Case{"  -17xyz", -17}, Case{"+8", 8}, Case{"", 0}, Case{"abc", 0},
                 Case{"-2147483648", kNoWindowPosition}, Case{"99999999999999999999", 2147483647},
                 Case{"- 5", 0}}) {
    option.value = c.text;
    EXPECT_EQ(ParameterFile::GetInt(&option), c.expected) << c.text;
  }
  EXPECT_EQ(ParameterFile::GetInt(nullptr), 0);
  EXPECT_EQ(ParameterFile::GetText(nullptr), "");
}

TEST_F(ParameterFileTest, AssignAppliesOneLine) {
  struct Case {
    const char* line;
    bool ok;
    const char* key;       // option to look at, or nullptr
    const char* expected;  // its value afterwards
  };
  const Case cases[] = {
      {"maxdisplaylines=300", true, "MaxDisplayLines", "300"},
      {"  LogFile =  /var/log/kestrel.log  ", true, "LogFile", "/var/log/kestrel.log"},
      {"LogFile=\"/tmp/a b,c.log\" trailing", true, "LogFile", "/tmp/a b,c.log"},
      {"LogFile='it''s'", true, "LogFile", "it"},
      {"LogFile=\"unterminated", false, "LogFile", "it"},
      {"LogFile=", true, "LogFile", ""},
      {"MaxBeforeCommit=", true, "MaxBeforeCommit", ""},
      {"MaxBeforeCommit= - 12 ", true, "MaxBeforeCommit", "- 12"},
      {"MaxBeforeCommit=12k", false, "MaxBeforeCommit", "12k"},
      {"DebugMode=2", false, "DebugMode", "2"},
      {"DebugMode=1", true, "DebugMode", "1"},
      {"DebugMode=yes", false, "DebugMode", "yes"},
      {"* DebugMode=1", true, nullptr, nullptr},
      {"   [Test options]", true, nullptr, nullptr},
      {"", true, nullptr, nullptr},
      {"    ", true, nullptr, nullptr},
      {"NoSuchOption=1", false, nullptr, nullptr},
      {"=1", false, nullptr, nullptr},
      {"ListSQL", false, nullptr, nullptr},
      {"@other.par", false, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parameters.Assign(c.line), c.ok) << c.line;
    if (c.key) {
      EXPECT_EQ(parameters.text(c.key), c.expected) << c.line;
    }
  }
  EXPECT_TRUE(parameters.Assign("MaxBeforeCommit="));
  EXPECT_EQ(parameters.integer("MaxBeforeCommit"), 0) << "an empty integer reads as 0";
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ParameterFileTest, FindReportsAnUndefinedKeyOnlyWhenAsked) {
  EXPECT_EQ(parameters.Find("Nonsense", false), nullptr);
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(parameters.Find("Nonsense"), nullptr);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "Undefined parameter 'Nonsense' ignored");
  EXPECT_EQ(boxes.boxes[0].caption, "Parameter Error");
  EXPECT_EQ(boxes.boxes[0].icon, BoxIcon::Warning);
  EXPECT_NE(parameters.Find("  windowRIGHT "), nullptr);
}

TEST_F(ParameterFileTest, CommandLineAppliesItemsLeftToRight) {
  std::string file = writeFile("nightly.par",
                               "* nightly options\n"
                               "[General options]\n"
                               "ListSQL=1\r\n"
                               "this line is wrong\n"
                               "MaxBeforeCommit=500\n"
                               "@nested.par\n");
  EXPECT_TRUE(parameters.ProcessCommandLine("DebugMode=1,ListColumns=1 @" + file +
                                            " MaxBeforeCommit=7 LogFile=\"/tmp/x y,z.log\""));
  EXPECT_EQ(parameters.integer("DebugMode"), 1);
  EXPECT_EQ(parameters.integer("ListColumns"), 1);
  EXPECT_EQ(parameters.integer("ListSQL"), 1);
  EXPECT_EQ(parameters.integer("MaxBeforeCommit"), 7);
  EXPECT_EQ(parameters.text("LogFile"), "/tmp/x y,z.log");
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_EQ(boxes.boxes[0].text,
            "Illegal parameter in file '" + file + "' ignored: this line is wrong");
  EXPECT_EQ(boxes.boxes[1].text, "Illegal parameter in file '" + file + "' ignored: @nested.par");
  EXPECT_TRUE(profile.values.empty());
}

TEST_F(ParameterFileTest, CommandLineStopsAtTheFirstIllegalItem) {
  struct Case {
    const char* line;
    const char* message;
  };
  const Case cases[] = {
      {"ListSQL=1 DebugMode=2 NoUpdate=1", "Illegal command line option 'DebugMode=2'"},
      {"LogFile=\"never closed, ListSQL=1",
       "Illegal command line option 'LogFile=\"never closed, ListSQL=1'"},
      {"Bogus=1", "Illegal command line option 'Bogus=1'"},
      {"@/no/such/file.par", "Cannot open parameter input file '/no/such/file.par'"},
  };
  for (const Case& c : cases) {
    RecordingMessageBox local;
    MemoryProfile store;
    ParameterFile p(store);
    DefineKestrelOptions(p);
    EXPECT_FALSE(p.ProcessCommandLine(c.line)) << c.line;
    ASSERT_EQ(local.boxes.size(), 1u) << c.line;
    EXPECT_EQ(local.boxes[0].text, c.message);
    EXPECT_EQ(local.boxes[0].caption, "Parameter Error");
    EXPECT_EQ(p.integer("NoUpdate"), 0) << "nothing after the illegal item is applied";
  }
  // The value that failed its check was stored before the check.
  ParameterFile p(profile);
  DefineKestrelOptions(p);
  p.ProcessCommandLine("DebugMode=2");
  EXPECT_EQ(p.text("DebugMode"), "2");
}

TEST_F(ParameterFileTest, ParameterFilesSurviveBinaryBytesAndOverlongLines) {
  std::string content = "ListSQL=1\n";
  content += std::string("\x00\x01\xff\xfe=\x80", 6) + "\n";
  content += "LogFile=" + std::string(5000, 'x') + "\n";
  content += "NoUpdate=1";  // last line without a line end
  std::string file = writeFile("odd.par", content);
  EXPECT_TRUE(parameters.ReadParameterFile(file, true));
  EXPECT_EQ(parameters.integer("ListSQL"), 1);
  EXPECT_EQ(parameters.integer("NoUpdate"), 1);
  EXPECT_EQ(parameters.text("LogFile"), "") << "an overlong line is refused whole";
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_EQ(boxes.boxes[1].text.size(),
            std::string("Illegal parameter in file '" + file + "' ignored: ").size() + 4219 + 3);
}

TEST_F(ParameterFileTest, RefusedLinesNeverShowAPassword) {
  std::string file = writeFile("secret.par",
                               "LockPwd=\"s3cret never closed\n"
                               "LockPassword=s3cret\n"
                               "lockpwd=" +
                                   std::string(5000, 's') +
                                   "\n"
                                   "LockUserid=\"scott\n");
  EXPECT_TRUE(parameters.ReadParameterFile(file, true));
  const std::string prefix = "Illegal parameter in file '" + file + "' ignored: ";
  ASSERT_EQ(boxes.boxes.size(), 4u);
  EXPECT_EQ(boxes.boxes[0].text, prefix + "LockPwd=********");
  EXPECT_EQ(boxes.boxes[1].text, prefix + "LockPassword=********") << "a misspelt key too";
  EXPECT_EQ(boxes.boxes[2].text, prefix + "lockpwd=********");
  EXPECT_EQ(boxes.boxes[3].text, prefix + "LockUserid=\"scott") << "other values are shown";

  RecordingMessageBox local;
  EXPECT_FALSE(parameters.ProcessCommandLine("ListSQL=1 LockPwd='s3cret"));
  ASSERT_EQ(local.boxes.size(), 1u);
  EXPECT_EQ(local.boxes[0].text, "Illegal command line option 'LockPwd=********'");
}

TEST_F(ParameterFileTest, AFolderOrADeviceIsNoParameterFile) {
  writeFile("any.par", "ListSQL=1\n");
  for (const std::string& name : {folder_, std::string("/dev/zero")}) {
    RecordingMessageBox local;
    EXPECT_FALSE(parameters.ProcessCommandLine("@" + name + " NoUpdate=1")) << name;
    ASSERT_EQ(local.boxes.size(), 1u) << name;
    EXPECT_EQ(local.boxes[0].text, "Cannot open parameter input file '" + name + "'");
    EXPECT_EQ(parameters.integer("NoUpdate"), 0);
  }
}

TEST_F(ParameterFileTest, ArgumentsGroupedByTheShellStayOneItem) {
  EXPECT_EQ(commandLineFromArguments({"ScriptFile=/data/my scripts/n.txt", "ListSQL=1,NoUpdate=1",
                                      "LogFile=\"a b\"", "@p.par"}),
            "ScriptFile=\"/data/my scripts/n.txt\" ListSQL=1,NoUpdate=1 LogFile=\"a b\" @p.par");
  EXPECT_TRUE(parameters.ProcessCommandLine(
      commandLineFromArguments({"ScriptFile=/data/my scripts/n.txt", "ListSQL=1,NoUpdate=1"})));
  EXPECT_EQ(parameters.text("ScriptFile"), "/data/my scripts/n.txt");
  EXPECT_EQ(parameters.integer("NoUpdate"), 1);
}

TEST_F(ParameterFileTest, WindowPositionIsStoredOnlyOnceSaved) {
  EXPECT_EQ(parameters.storedWindowRect("Window"), std::nullopt);
  parameters.SaveWindowRect("Window", {10, 20, 810, 620});
  EXPECT_EQ(parameters.storedWindowRect("Window"), (WindowRect{10, 20, 810, 620}));
  EXPECT_EQ(profile.values.at({"Test options", "Windowright"}), "810");
}

TEST_F(ParameterFileTest, DefaultTemporaryFileIsPrivateToTheProcess) {
  std::string path = expandProcessId(parameters.text("TempFile"));
  EXPECT_NE(path.find("kestrel-" + std::to_string(::getpid()) + ".tmp"), std::string::npos);
  EXPECT_EQ(expandProcessId("/a/%%b"), "/a/%%b");
}

}  // namespace
}  // namespace kestrel
