// The seeds of the side-file fuzz target (tests/fuzz/side-corpus, replayed
// by the ctest case side_fuzz_corpus): one small file per reader, made with
// the writers of this project where it has one (the text files users write
// by hand are written here as such a user would). Each seed is the reader's
// number (a byte) and the file. ORVANTA_WRITE_CORPUS=<folder> writes them
// there; every run checks that the committed seeds are the ones made now.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "FileHistory.h"
#include "Movie.h"
#include "SideFileReaders.h"
#include "Sv_Quaternion.h"
#include "Sv_WorldFile.h"
#include "TDR_Colormap.h"
#include "TestSupport.h"

using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;
using namespace orvanta_fuzz;

namespace {

// The file the writer made at path, as a seed of reader.
std::string Seed(int reader, const std::string& bytes) { return std::string(1, static_cast<char>(reader)) + bytes; }

std::vector<std::pair<std::string, std::string>> MakeSeeds(TempDir& dir) {
  std::vector<std::pair<std::string, std::string>> seeds;
  const double extent[4] = {500000.0, 501280.0, 6200000.0, 6200960.0};
  EXPECT_EQ(Sv_WriteWorldFile(dir.file("image.tif").c_str(), 640, 480, extent), 0);
  seeds.emplace_back("world.tfw", Seed(kWorldFile, ReadFileBytes(dir.file("image.tfw"))));

  std::vector<unsigned int> ramp(256);
  TDR_UtlBuiltInColormap(ramp.data());
  EXPECT_EQ(TDR_UtlWriteColormap(dir.file("ramp.cmap").c_str(), ramp.data()), 0);
  seeds.emplace_back("ramp.cmap", Seed(kColourMap, ReadFileBytes(dir.file("ramp.cmap"))));

  Movie movie;
  const float start[3] = {0.0f, 0.0f, -50.0f};
  const float end[3] = {10.0f, 5.0f, -40.0f};
  movie.AddFrame(start, Sv_Quaternion(), 1.0);
  movie.AddFrame(end, Sv_Quaternion(), 2.0);
  EXPECT_EQ(movie.Write(dir.file("path.fly").c_str()), 0);
  seeds.emplace_back("path.fly", Seed(kFlightPath, ReadFileBytes(dir.file("path.fly"))));

  seeds.emplace_back("lines.txt", Seed(kLineFile, "0 0 -10\n100 0 -12\n9999 9999 9999\n0 50 -8\n100 50 -9\n"));
  seeds.emplace_back("points.trk", Seed(kPointTrack, "0 0 -10\n10 5 -12.5\n20 10 -11\n"));
  seeds.emplace_back("ship.trk", Seed(kShipTrack, "2\n1 2 3 4 -10.5 6200000 500000\n1 2 3 5 -11 6200100 500100\n"));
  seeds.emplace_back("buoys.txt", Seed(kSonobuoys, "2\n6200000 500000 -5\n6200200 500300 -7\n"));

  {
    FileHistory history(dir.file("history").c_str());
    history.AddFile("/data/survey/bathymetry.sd", "*.sd");
    history.AddFile("/data/survey/harbour.scene", "*.scene");
  }
  seeds.emplace_back("history", Seed(kFileHistory, ReadFileBytes(dir.file("history"))));

  // A class configuration as a user writes one: a comment, the version,
  // then numbers, a pair and a colour-map name, enough lines for the
  // longest layout.
  std::string config = "# settings\n3\n";
  for (int i = 0; i < 8; ++i) config += "1\n0.5\n2 4 1.5\n";
  config += "ramp.cmap\n0 100\n";
  const int names = kSideReaders - kFirstConfiguration;
  for (int i = 0; i < names; ++i) {
    seeds.emplace_back(std::string("config-") + kConfigurationNames[i], Seed(kFirstConfiguration + i, config));
  }
  return seeds;
}

}  // namespace

TEST(SideFileSeeds, CommittedSeedsAreTheOnesMadeNow) {
  TempDir dir;
  const char* writeTo = std::getenv("ORVANTA_WRITE_CORPUS");
  for (const auto& [name, bytes] : MakeSeeds(dir)) {
    SCOPED_TRACE(name);
    if (writeTo && *writeTo) {
      ASSERT_TRUE(WriteFileBytes(std::string(writeTo) + "/" + name, bytes));
    }
    EXPECT_EQ(ReadFileBytes(std::string(ORVANTA_SIDE_CORPUS_DIR) + "/" + name), bytes)
        << "stale or missing seed; write them with ORVANTA_WRITE_CORPUS=" ORVANTA_SIDE_CORPUS_DIR;
  }
}
