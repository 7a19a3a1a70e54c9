#include <gtest/gtest.h>

#include <cstring>

#include "Sv_CmdProcessor.h"
#include "Sv_Debug.h"
#include "TestSupport.h"

using orvanta_test::MessageCapture;

TEST(SvDebug, FilterPrefixAndDetailOnTheErrorStream) {
  Sv_Debug::SetCallback(nullptr);
  Sv_Debug::SetLevel(SV_LEVEL_INFO);
  testing::internal::CaptureStderr();
  Sv_Debug::Message(SV_LEVEL_ERROR, "cannot open", "Sv_ImageIO::ReadImage");
  Sv_Debug::Warning("w %d", 3);
  Sv_Debug::Info("i");
  Sv_Debug::Debug("hidden %s", "debug");
  std::string out = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out, "ERROR: cannot open: Sv_ImageIO::ReadImage\nWARNING: w 3\nINFO: i\n");

  Sv_Debug::SetLevel(SV_LEVEL_DEBUG);
  testing::internal::CaptureStderr();
  Sv_Debug::Debug("shown\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "DEBUG: shown\n");
  Sv_Debug::SetLevel(SV_LEVEL_INFO);
}

TEST(SvDebug, CallbackGetsTextWithoutPrefixButNeverDebugMessages) {
  MessageCapture cap(SV_LEVEL_DEBUG);
  testing::internal::CaptureStderr();
  Sv_Debug::Message(SV_LEVEL_WARNING, "careful", nullptr);
  Sv_Debug::Debug("only on stderr");
  Sv_Debug::Error("%s", std::string(2000, 'x').c_str());
  std::string err = testing::internal::GetCapturedStderr();
  ASSERT_EQ(cap.messages().size(), 2u);
  EXPECT_EQ(cap.messages()[0].first, SV_LEVEL_WARNING);
  EXPECT_EQ(cap.messages()[0].second, "careful");
  EXPECT_EQ(cap.messages()[1].second.size(), 2000u);
  EXPECT_EQ(err, "DEBUG: only on stderr\n");
}

namespace {

struct Args {
  std::vector<std::string> words;
  std::vector<char*> argv;
  explicit Args(std::initializer_list<const char*> w) {
    words.push_back("orvanta");
    for (const char* s : w) words.push_back(s);
    for (auto& s : words) argv.push_back(&s[0]);
    argv.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(words.size()); }
};

class CommandLine : public testing::Test {
 protected:
  void SetUp() override {
    memset(data, 0, sizeof(data));
    memset(scene, 0, sizeof(scene));
    ASSERT_EQ(cmd.AddCommand("-data", Sv_CmdProcessor::TYPE_STRING, data, 1, 0), 0);
    ASSERT_EQ(cmd.AddCommand("-scene", Sv_CmdProcessor::TYPE_STRING, scene, 1, 0), 0);
    ASSERT_EQ(cmd.AddCommand("-direct", Sv_CmdProcessor::TYPE_INT, &direct, 0, 0), 0);
    ASSERT_EQ(cmd.AddCommand("-n", Sv_CmdProcessor::TYPE_INT, &number, 1, 0), 0);
    cmd.SetHelp(kHelp, 2, "-h");
    cmd.SetVersion("-ver", "Dec  7 2026", "08:15:00");
  }
  void TearDown() override { Sv_Debug::SetLevel(SV_LEVEL_INFO); }

  static constexpr const char* kHelp[2] = {"usage: orvanta [-data file.sd]", "  -h  this text"};
  Sv_CmdProcessor cmd;
  char data[Sv_CmdProcessor::STRING_SIZE];
  char scene[Sv_CmdProcessor::STRING_SIZE];
  int direct = 0;
  int number = 0;
};

}  // namespace

TEST_F(CommandLine, FillsTargetsAndRefusesOverlongStrings) {
  std::string longest(Sv_CmdProcessor::STRING_SIZE - 1, 'a');
  {
    Args a({"-direct", "-data", longest.c_str(), "-n", "-42"});
    MessageCapture cap;
    EXPECT_EQ(cmd.Parse(a.argc(), a.argv.data()), 0);
    EXPECT_EQ(direct, 1);
    EXPECT_EQ(number, -42);
    EXPECT_EQ(std::string(data), longest);
    EXPECT_EQ(scene[0], '\0');
    EXPECT_TRUE(cap.messages().empty());
  }
  // One byte more would have to be cut, naming another file: refused.
  const std::string tooLong = longest + "b";
  Args a({"-scene", tooLong.c_str()});
  MessageCapture cap;
  EXPECT_EQ(cmd.Parse(a.argc(), a.argv.data()), -1);
  EXPECT_EQ(scene[0], '\0');
  EXPECT_TRUE(cap.Contains("Command Line Error - Argument of \"-scene\" too long (256 bytes, at most 255)"))
      << cap.All();
}

TEST_F(CommandLine, MessagesWordForWord) {
  {
    MessageCapture cap;
    Args a({"-h"});
    EXPECT_EQ(cmd.Parse(a.argc(), a.argv.data()), -1);
    ASSERT_EQ(cap.messages().size(), 1u);
    EXPECT_EQ(cap.messages()[0].first, SV_LEVEL_INFO);
    EXPECT_EQ(cap.messages()[0].second, "usage: orvanta [-data file.sd]\n  -h  this text");
  }
  {
    MessageCapture cap;
    Args a({"-ver"});
    EXPECT_EQ(cmd.Parse(a.argc(), a.argv.data()), -1);
    ASSERT_EQ(cap.messages().size(), 1u);
    EXPECT_EQ(cap.messages()[0].second, "\nVersion 6.1.2b, Created on: Dec  7 2026 at the time of: 08:15:00\n");
  }
  {
    MessageCapture cap;
    Args a({"stray.sd"});
    EXPECT_EQ(cmd.Parse(a.argc(), a.argv.data()), -1);
    ASSERT_EQ(cap.messages().size(), 2u);
    EXPECT_EQ(cap.messages()[0].first, SV_LEVEL_ERROR);
    EXPECT_EQ(cap.messages()[0].second, "Command Line Error - Unknown Argument");
    EXPECT_EQ(cap.messages()[1].second, "usage: orvanta [-data file.sd]\n  -h  this text");
  }
  {
    MessageCapture cap;
    Args a({"-data"});
    EXPECT_EQ(cmd.Parse(a.argc(), a.argv.data()), -1);
    ASSERT_EQ(cap.messages().size(), 1u);
    EXPECT_EQ(cap.messages()[0].second, "Bad # of arguments for command \"-data\" (expected 1 but received 0 )\n");
  }
  {
    MessageCapture cap;
    Args a({"-direct", "x", "y"});
    EXPECT_EQ(cmd.Parse(a.argc(), a.argv.data()), -1);
    EXPECT_EQ(cap.messages().at(0).second,
              "Bad # of arguments for command \"-direct\" (expected 0 but received 2 )\n");
  }
}

TEST_F(CommandLine, RequiredOptionsAndDebugFlag) {
  int must = 0;
  ASSERT_EQ(cmd.AddCommand("-must", Sv_CmdProcessor::TYPE_INT, &must, 1, 1), 0);
  {
    MessageCapture cap;
    Args a({"-direct"});
    EXPECT_EQ(cmd.Parse(a.argc(), a.argv.data()), -1);
    EXPECT_TRUE(cap.Contains("-must"));
  }
  Args b({"-must", "7", "-debug"});
  EXPECT_EQ(cmd.Parse(b.argc(), b.argv.data()), 0);
  EXPECT_EQ(must, 7);
  EXPECT_EQ(Sv_Debug::GetLevel(), SV_LEVEL_DEBUG);
  EXPECT_EQ(cmd.AddCommand("-bad", 3, &must, 1, 0), -1);
  EXPECT_EQ(cmd.AddCommand("-bad", 1, nullptr, 1, 0), -1);
}
