// Every text side file is read within its bounds: a file larger than its
// reader's bound is refused before it is read, and a line that goes on far
// beyond its limit stops the file after a bounded read; both name the file.
// What was read is taken from the kernel's count of bytes read by this
// process (/proc/self/io, "rchar").
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "Qk_GUIUtils.h"
#include "Sd_AllClasses.h"
#include "Sd_GroupNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Lines3D.h"
#include "Sd_Point3D.h"
#include "Sd_ShipParent.h"
#include "SideFileReaders.h"
#include "Sv_ImageFormat.h"
#include "Sv_Stdio.h"
#include "TestSupport.h"

using namespace orvanta_fuzz;
using orvanta_test::MessageCapture;
using orvanta_test::ScopedEnv;
using orvanta_test::TempDir;

namespace {

long long BytesReadByProcess() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = -1;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return -1;
}

// Writes head, then makes the file size bytes long (a sparse file costs no
// disk) or, with fill, writes fill characters up to that size.
bool MakeFile(const std::string& path, const std::string& head, long long size, char fill) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(head.data(), 1, head.size(), f) == head.size();
  if (fill) {
    const std::string block(1 << 16, fill);
    for (long long at = static_cast<long long>(head.size()); ok && at < size; at += block.size()) {
      ok = fwrite(block.data(), 1, static_cast<size_t>(std::min<long long>(block.size(), size - at)), f) > 0;
    }
  }
  ok = fclose(f) == 0 && ok;
  return ok && (fill || truncate(path.c_str(), size) == 0);
}

// Every reader of a configuration file: each class reads its own when it is
// constructed, the others are read by the viewer's start-up.
void ReadConfigurations() {
  int count = 0;
  const Sd_IOSupport::ClassEntry* table = Sd_IOSupport::ClassTable(&count);
  for (int i = 0; i < count; ++i) {
    if (Sd_IOSupport::Factory make = Sd_IOSupport::GetFactory(table[i].tag)) Sd_GroupNode::DeleteTree(make());
  }
  Sv_ImageWriteSettings::FromConfiguration();
  Qk_LoadGUIDefaults(qApp);
  for (const char* name : {"StereoOptions", "OpenGLDefaults"}) {
    if (FILE* f = Sv_UtlOpenConfigFile(name, nullptr)) fclose(f);
  }
}

void ReadDataFile(int reader, const std::string& path) {
  if (reader == kLineFile) {
    Sd_Lines3D lines;
    lines.ReadLineFile(path.c_str());
  } else if (reader == kPointTrack) {
    Sd_Point3D points;
    points.ReadTrackFile(path.c_str());
  } else {
    Sd_ShipParent ship;
    if (reader == kShipTrack) ship.ReadTrackFile(path.c_str());
    else ship.ReadSonobuoyFile(path.c_str());
  }
}

struct Reader {
  std::string name;  // the configuration's name, or the data file's
  int data;          // the data reader, -1 for a configuration
  long long bound;   // the reader's bound of the file size
};

std::vector<Reader> Readers() {
  std::vector<Reader> readers = {{"lines.txt", kLineFile, 1LL << 30},
                                 {"points.trk", kPointTrack, 1LL << 30},
                                 {"ship.trk", kShipTrack, 64LL << 20},
                                 {"buoys.txt", kSonobuoys, 64LL << 20}};
  for (const char* name : kConfigurationNames) readers.push_back({name, -1, 1LL << 20});
  for (const char* name : {"GUIDefaults", "StereoOptions", "OpenGLDefaults"}) readers.push_back({name, -1, 1LL << 20});
  return readers;
}

}  // namespace

TEST(SideFileBounds, OversizeFilesAndOverlongLinesStopAfterABoundedRead) {
  Sd_RegisterAllClasses();
  ASSERT_GE(BytesReadByProcess(), 0) << "no /proc/self/io";
  TempDir dir;
  ScopedEnv home("WRUHOME", nullptr);
  ScopedEnv configurations("WRUCONFIGURATIONS", dir.path().c_str());
  constexpr long long kMiB = 1LL << 20;
  // Oversize: a version line, then 21 GB (sparse). Over-long line: "2" and
  // then a line without end, as large as the bound lets it be (4 MiB at
  // most).
  struct Case {
    const char* what;
    bool oversize;
  };
  for (const Case& c : {Case{"oversize file", true}, Case{"over-long line", false}}) {
    for (const Reader& r : Readers()) {
      SCOPED_TRACE(std::string(c.what) + ", " + r.name);
      const std::string path = dir.file(r.name);
      const long long size = c.oversize ? 21000000000LL : std::min(r.bound - 1, 4 * kMiB);
      ASSERT_TRUE(MakeFile(path, c.oversize ? "2\n" : "2", size, c.oversize ? 0 : '0'));
      MessageCapture messages;
      const long long before = BytesReadByProcess();
      if (r.data >= 0) ReadDataFile(r.data, path);
      else ReadConfigurations();
      const long long read = BytesReadByProcess() - before;
      int naming = 0;
      for (const auto& m : messages.messages()) naming += m.second.find(path) != std::string::npos ? 1 : 0;
      EXPECT_GE(naming, 1) << messages.All();
      // Each reading of the file stops within a few blocks.
      EXPECT_LE(read, naming * kMiB / 2) << read << " bytes read";
      unlink(path.c_str());
    }
  }
}
