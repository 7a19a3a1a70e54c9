// Feeds arbitrary bytes to the readers of the files that come with scene
// files or with the program: world files, colour maps, flight paths, line,
// track and sonobuoy text files, the file history, view files, the options
// file and the class configuration files. The first byte of an input picks the reader (and,
// for configurations, the file name); the rest is the file. Built as a
// libFuzzer target (ORVANTA_FUZZ) and, with ReplayMain.cpp, as the replay of
// its seeds (tests/fuzz/side-corpus, made by the class contract suite).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FileHistory.h"
#include "FuzzInput.h"
#include "Movie.h"
#include "OptionsFile.h"
#include "Sd_AllClasses.h"
#include "SideFileReaders.h"
#include "Sv_Debug.h"
#include "Sv_Matrix4.h"
#include "Sv_Perspective.h"
#include "Sv_WorldFile.h"
#include "TDR_Colormap.h"
#include "ViewFile.h"

namespace {

std::string g_configs;  // the configuration folder of this process

void Setup() {
  Sv_Debug::SetLevel(-1000);
  Sd_RegisterAllClasses();
}

void RemoveConfigs() {
  for (const char* name : orvanta_fuzz::kConfigurationNames) unlink((g_configs + "/" + name).c_str());
  rmdir(g_configs.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvanta_fuzz;
  const std::string& input = InputPath(".txt", Setup);
  if (g_configs.empty()) {
    g_configs = input + ".conf";
    mkdir(g_configs.c_str(), 0700);
    setenv("WRUCONFIGURATIONS", g_configs.c_str(), 1);
    atexit(RemoveConfigs);
  }
  if (size == 0) return 0;
  const int reader = data[0] % kSideReaders;
  const uint8_t* body = data + 1;
  const size_t length = size - 1;

  if (reader >= kFirstConfiguration) {
    const std::string path = g_configs + "/" + kConfigurationNames[reader - kFirstConfiguration];
    if (WriteInput(path, body, length)) ConstructEveryClass();
    unlink(path.c_str());
    return 0;
  }
  // The world file is found beside its image; the others are read by name.
  const std::string path = reader == kWorldFile ? input + ".tfw" : input;
  if (!WriteInput(path, body, length)) return 0;
  switch (reader) {
    case kWorldFile: {
      double extent[4];
      Sv_ReadWorldFile((input + ".tif").c_str(), 640, 480, extent);
      unlink(path.c_str());
      break;
    }
    case kColourMap:
      free(TDR_UtlReadColormap(path.c_str(), nullptr));
      break;
    case kFlightPath: {
      Movie movie;
      movie.Read(path.c_str());
      break;
    }
    case kLineFile:
    case kPointTrack:
    case kShipTrack:
    case kSonobuoys:
      ReadDataFile(reader, path.c_str());
      break;
    case kFileHistory: {
      FileHistory history(path.c_str());
      history.ReadAllLists();
      for (int list = 0; list < FileHistory::kLists; ++list) {
        for (int i = 0; i < history.GetCount(list); ++i) history.GetEntry(i, list);
      }
      history.AddFile("/data/survey.sd", nullptr);
      break;
    }
    case kViewFile: {
      Sv_Perspective camera(0.0f, 0.0f, 50.0f, 6.4f, 0.25f);
      Sv_Matrix4 matrix;
      ViewFile::Read(path.c_str(), &camera, &matrix);
      break;
    }
    case kOptionsFile: {
      OptionsFile options;
      options.Read(path.c_str());
      break;
    }
    default:
      break;
  }
  return 0;
}
