// Every text side file is read within its bounds: an oversize file (even
// of short lines) or an over-long line stops the reading after a few
// blocks, naming the file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "Qk_GUIUtils.h"
#include "Sd_AllClasses.h"
#include "SideFileReaders.h"
#include "Sv_Stdio.h"
#include "TestSupport.h"

using namespace orvanta_fuzz;
using orvanta_test::MessageCapture;
using orvanta_test::ScopedEnv;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;

namespace {

// The kernel's count of bytes read by this process.
long long BytesReadByProcess() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = -1;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return -1;
}

}  // namespace

TEST(SideFileBounds, OversizeFilesAndOverlongLinesStopAfterABoundedRead) {
  Sd_RegisterAllClasses();
  ASSERT_GE(BytesReadByProcess(), 0) << "no /proc/self/io";
  TempDir dir;
  ScopedEnv home("WRUHOME", nullptr);
  ScopedEnv configurations("WRUCONFIGURATIONS", dir.path().c_str());
  constexpr long long kMiB = 1LL << 20;
  // Each file with its data reader, -1 for a configuration (bound 1 MiB).
  std::vector<std::pair<std::string, int>> readers = {
      {"lines.txt", kLineFile}, {"points.trk", kPointTrack}, {"ship.trk", kShipTrack}, {"buoys.txt", kSonobuoys}};
  for (const char* name : kConfigurationNames) readers.emplace_back(name, -1);
  for (const char* name : {"GUIDefaults", "StereoOptions", "OpenGLDefaults"}) readers.emplace_back(name, -1);
  // A version line and 8 MiB of short lines: without the file's bound the
  // line rule alone would let all of them be read.
  std::string lines = "2\n";
  while (lines.size() < static_cast<size_t>(8 * kMiB)) lines += "0 0 0\n";
  for (bool oversize : {true, false}) {
    for (const auto& [name, reader] : readers) {
      SCOPED_TRACE(name + (oversize ? ", oversize file" : ", over-long line"));
      // The short lines grown to 21 GB (sparse), or "2" and a line without end.
      const std::string path = dir.file(name);
      ASSERT_TRUE(WriteFileBytes(path, oversize ? lines : "2" + std::string((reader < 0 ? kMiB : 4 * kMiB) - 2, '0')));
      ASSERT_TRUE(!oversize || truncate(path.c_str(), 21000000000LL) == 0);
      MessageCapture messages;
      const long long before = BytesReadByProcess();
      if (reader >= 0) {
        ReadDataFile(reader, path.c_str());
      } else {  // every configuration reader: the classes' and the viewer's start-up
        ConstructEveryClass();
        Qk_LoadGUIDefaults(qApp);
        for (const char* n : {"StereoOptions", "OpenGLDefaults"}) {
          if (FILE* f = Sv_UtlOpenConfigFile(n, nullptr)) fclose(f);
        }
      }
      const long long read = BytesReadByProcess() - before;
      int naming = 0;
      for (const auto& m : messages.messages()) naming += m.second.find(path) != std::string::npos ? 1 : 0;
      EXPECT_GE(naming, 1) << messages.All();
      EXPECT_LE(read, naming * kMiB / 2) << read << " bytes read, for each reading of the file";
      unlink(path.c_str());
    }
  }
}
