// The built viewer started as a child process: the command line, the
// caption and status fields after "-data", message boxes for what goes
// wrong, and the sample scene the build generates.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <string>

#include "AppMainSupport.h"
#include "TDR_Manager.h"
#include "TestSupport.h"

using orvanta_mainwindow_test::RunViewer;
using orvanta_mainwindow_test::ViewerRun;
using orvanta_mainwindow_test::WriteSampleFile;

namespace {

const char* const kUsageLines[] = {
    "Usage is:  orvanta \n",
    "             < -data  <fileName.sd>\n",
    "             < -scene <sceneName.scene> >\n",
    "             < -flightpath <path.fph> >\n",
    "             [ -h ]\n",
    "\n",
    "This program is used to view Brannovick files in '.sd' or '.scene' format.\n",
    "The -data command is used to specify an '.sd' file to load.\n",
    "The -scene command is used to load a '.scene' file.\n",
    "The -flightpath command will load and play a flightpath file.\n",
    "The -h command displays help for this program.\n",
    "\n",
};

std::string Usage() {
  std::string u;
  for (const char* line : kUsageLines) u += line;
  return u;
}

bool Contains(const std::string& text, const std::string& fragment) { return text.find(fragment) != std::string::npos; }
bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

TEST(ViewerCommandLine, HelpPrintsTheUsageAndEndsBeforeLoading) {
  orvanta_test::TempDir dir;
  ASSERT_TRUE(WriteSampleFile(dir.file("f.sd")));
  // "-data" comes first, yet nothing is loaded: the help ends the program.
  const ViewerRun run = RunViewer({"-data", "f.sd", "-h"}, dir.path(), false);
  ASSERT_TRUE(run.exited) << run.err;
  EXPECT_EQ(run.status, 255);
  // The twelve usage lines exactly, the blank last one included.
  EXPECT_TRUE(EndsWith(run.err, "INFO: " + Usage())) << run.err;
  EXPECT_TRUE(run.Lines("ready").empty());
  EXPECT_TRUE(run.Lines("title").empty());
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

// Help and unknown options are answered without a display or platform.
TEST(ViewerCommandLine, HelpAndUnknownOptionsNeedNoDisplay) {
  orvanta_test::TempDir dir;
  for (const char* option : {"-h", "--help", "-bogus"}) {
    SCOPED_TRACE(option);
    const ViewerRun run =
        RunViewer({option}, dir.path(), false, std::string(), {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 255);
    EXPECT_TRUE(Contains(run.err, "INFO: " + Usage())) << run.err;
  }
}

TEST(ViewerCommandLine, VersionPrintsTheBuildAndEnds) {
  orvanta_test::TempDir dir;
  const ViewerRun run = RunViewer({"-ver"}, dir.path(), false);
  ASSERT_TRUE(run.exited) << run.err;
  EXPECT_EQ(run.status, 255);
  EXPECT_TRUE(Contains(run.err, "Version 6.1.2b, Created on: Sep 29 2004 at the time of: 00:49:46\n")) << run.err;
  EXPECT_FALSE(Contains(run.err, "Usage is:"));
}

TEST(ViewerCommandLine, UnknownOptionsAndWrongCountsGiveTheirMessages) {
  orvanta_test::TempDir dir;
  {
    const ViewerRun run = RunViewer({"-bogus"}, dir.path(), false);
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 255);
    EXPECT_TRUE(Contains(run.err, "ERROR: Command Line Error - Unknown Argument\n")) << run.err;
    EXPECT_TRUE(Contains(run.err, Usage())) << run.err;
  }
  {
    // A file name without its option is no option either.
    const ViewerRun run = RunViewer({"f.sd"}, dir.path(), false);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 255);
    EXPECT_TRUE(Contains(run.err, "Command Line Error - Unknown Argument")) << run.err;
  }
  {
    const ViewerRun run = RunViewer({"-data"}, dir.path(), false);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 255);
    EXPECT_TRUE(Contains(run.err, "Bad # of arguments for command \"-data\" (expected 1 but received 0 )")) << run.err;
  }
  {
    const ViewerRun run = RunViewer({"-direct", "1"}, dir.path(), false);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 255);
    EXPECT_TRUE(Contains(run.err, "Bad # of arguments for command \"-direct\" (expected 0 but received 1 )"))
        << run.err;
  }
}

// A path too long for the option's buffer is refused, never cut to another
// name: a file sits at the 300-byte path and another at its first 255 bytes.
TEST(ViewerCommandLine, APathTooLongIsRefusedWithItsMessage) {
  orvanta_test::TempDir dir;
  std::string folder = dir.path();
  while (folder.size() < 200) {
    folder += "/" + std::string(40, 'd');
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  }
  const std::string path = folder + "/" + std::string(299 - folder.size() - 3, 'f') + ".sd";
  ASSERT_EQ(path.size(), 300u);
  ASSERT_TRUE(WriteSampleFile(path));
  ASSERT_TRUE(WriteSampleFile(path.substr(0, 255)));
  const ViewerRun run = RunViewer({"-data", path}, dir.path(), false);
  ASSERT_TRUE(run.exited) << run.err;
  EXPECT_EQ(run.status, 255);
  EXPECT_TRUE(Contains(run.err, "Command Line Error - Argument of \"-data\" too long (300 bytes, at most 255)"))
      << run.err;
  EXPECT_TRUE(run.Lines("title").empty()) << run.log;
}

TEST(ViewerStartup, DataFileSetsTheCaptionAndTheExaggerationField) {
  orvanta_test::TempDir dir;
  ASSERT_TRUE(WriteSampleFile(dir.file("f.sd")));
  const ViewerRun run = RunViewer({"-direct", "-data", "f.sd"}, dir.path(), true);
  ASSERT_FALSE(run.exited) << run.err;
  ASSERT_FALSE(run.Lines("ready").empty()) << run.log;
  EXPECT_EQ(run.Last("title"), "Orvanta -- f.sd");
  EXPECT_EQ(run.Last("exag"), "Vertical Exaggeration: 6.00000");
  // (The pointer of a shared test display may have cleared the location.)
  EXPECT_TRUE(run.Last("georef") == "Geographic Location (x,y,z) -> " || run.Last("georef").empty())
      << run.Last("georef");
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

TEST(ViewerStartup, LongPathsAreShortenedFromTheFront) {
  orvanta_test::TempDir dir;
  const std::string path = dir.file("a_rather_long_name_of_a_data_file_to_show_in_the_caption.sd");
  ASSERT_TRUE(WriteSampleFile(path));
  const ViewerRun run = RunViewer({"-data", path}, dir.path(), true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_EQ(run.Last("title"), "Orvanta -- ... " + path.substr(path.size() - 36));
}

TEST(ViewerStartup, FailuresAreShownInErrorBoxes) {
  orvanta_test::TempDir dir;
  const std::string flightPathError = "An error occured loading the flightpath '" + dir.file("missing.fph") + "'.";
  const ViewerRun run = RunViewer({"-data", dir.file("missing.sd"), "-flightpath", dir.file("missing.fph")},
                                  dir.path(), true, flightPathError);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_EQ(run.Last("title"), "Orvanta");
  EXPECT_EQ(run.Last("exag"), "Vertical Exaggeration:  1.0000");
  const auto boxes = run.Lines("box");
  ASSERT_GE(boxes.size(), 2u) << run.log;
  for (const auto& box : boxes) {
    ASSERT_EQ(box.size(), 2u);
    EXPECT_EQ(box[0], "Orvanta - Error");
  }
  // The reader's reason for the data file comes first, the flight path's
  // error last, in one box after the path reader's own reason.
  EXPECT_TRUE(Contains(boxes.front()[1], "missing.sd")) << run.log;
  const std::string& last = boxes.back()[1];
  EXPECT_TRUE(Contains(last, "to read movie") && EndsWith(last, flightPathError)) << last;
}

TEST(ViewerStartup, TheBuildsSampleSceneOpens) {
  const ViewerRun run = RunViewer({"-data", ORVANTA_SAMPLE_SD}, "/", true);
  ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
  EXPECT_TRUE(std::regex_match(run.Last("title"), std::regex("Orvanta -- .*sample\\.sd"))) << run.Last("title");
  EXPECT_TRUE(std::regex_match(run.Last("exag"), std::regex("Vertical Exaggeration: [0-9]+\\.[0-9]{5}")));
  EXPECT_TRUE(run.Lines("box").empty()) << run.log;
}

TEST(ViewerStartup, DamagedFilesGiveTheWindowBackWithTheirReason) {
  orvanta_test::TempDir dir;
  ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
  {
    // A file whose only record points at a named pipe nobody writes.
    TDR_Manager m;
    ASSERT_EQ(m.OpenFile(dir.file("pipe.sd").c_str(), "wb"), 0);
    ASSERT_EQ(m.WriteHeader(), 0);
    ASSERT_EQ(m.WriteTag(TDR_TAG_SD_BASICDTM, 1, 0, 1, 1), 0);
    ASSERT_EQ(m.WriteFilePointerString(dir.file("pipe").c_str()), 0);
    ASSERT_EQ(m.EndTag(), 0);
    ASSERT_EQ(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1), 0);
    ASSERT_EQ(m.CloseFile(), 0);
  }
  // A valid text header followed by bytes that are no tag header.
  ASSERT_TRUE(orvanta_test::WriteFileBytes(dir.file("garbage.sd"), "TDR 2.0 Binary\nEND_HEADER\n\x07garbage-garbage-garbage-garbage"));
  // The pipe is refused before anything could wait on it, with the reason
  // for that record; the other file says why it shows nothing.
  const std::pair<std::string, std::string> cases[] = {
      {"pipe.sd", "Opening the file named by a TDR file pointer: " + dir.file("pipe")},
      {"garbage.sd", "garbage.sd\" holds nothing that can be shown: TDR tag header has a bad byte-order byte"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.first);
    const ViewerRun run = RunViewer({"-data", dir.file(k.first)}, dir.path(), true, k.second);
    ASSERT_FALSE(run.Lines("ready").empty()) << run.err;
    EXPECT_TRUE(run.readyStop) << "the viewer did not come back with the reason: it waited on the file";
    const auto boxes = run.Lines("box");
    ASSERT_EQ(boxes.size(), 1u) << run.log;
    EXPECT_EQ(boxes.back()[0], "Orvanta - Error");
    EXPECT_TRUE(Contains(boxes.back()[1], k.second)) << run.log;
  }
}
