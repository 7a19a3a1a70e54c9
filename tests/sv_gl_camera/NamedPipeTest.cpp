// Files named by data or by the user that are named pipes: each reader
// refuses at once, without waiting for a writer, and says why.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <string>

#include "Movie.h"
#include "Sv_WorldFile.h"
#include "TDR_Colormap.h"
#include "TestSupport.h"

namespace {

TEST(NamedPipe, WorldFileColourMapAndFlightPathAreRefusedAtOnceWithTheirMessage) {
  orvanta_test::TempDir dir;
  struct Case {
    const char* pipe;                                  // made a named pipe
    std::function<bool(const std::string&)> refused;  // reads it; true when it failed
  };
  const Case cases[] = {
      {"image.tfw",
       [&](const std::string&) {
         double extent[4] = {0, 0, 0, 0};
         return Sv_ReadWorldFile(dir.file("image.tif").c_str(), 10, 10, extent) != 0;
       }},
      {"ramp.cmap",
       [](const std::string& path) {
         unsigned colours[256] = {};
         return TDR_UtlReadColormap(path.c_str(), colours) == nullptr;
       }},
      {"path.fph",
       [](const std::string& path) {
         Movie movie;
         return movie.Read(path.c_str()) < 0;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pipe);
    const std::string path = dir.file(c.pipe);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    orvanta_test::MessageCapture debugLevel(-1);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(c.refused(path));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("Not a regular file that can be read: " + path), std::string::npos) << said;
  }
}

}  // namespace
