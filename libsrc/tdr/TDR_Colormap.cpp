#include "TDR_Colormap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Sv_Colour.h"
#include "Sv_Debug.h"
#include "Sv_Stdio.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

constexpr int kColours = TDR_PayloadReader::kColourMapSize;

}  // namespace

unsigned int* TDR_UtlReadColormapTag(TDR_Manager* manager, unsigned int* colours) {
  const char* where = "TDR_UtlReadColormapTag";
  if (!manager || !manager->GetFilePtr()) return nullptr;
  // The colours must lie inside the record that is being read, whichever
  // record carries them.
  TDR_PayloadReader in(manager);
  unsigned int read[kColours];
  if (!in.ColourMap(read)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Colormap record is too short", where);
    return nullptr;
  }
  unsigned int* out = colours;
  if (!out) {
    out = static_cast<unsigned int*>(malloc(kColours * sizeof(unsigned int)));
    if (!out) return nullptr;
  }
  memcpy(out, read, sizeof read);
  return out;
}

int TDR_UtlWriteColormapTag(TDR_Manager* manager, const unsigned int* colours) {
  if (!manager || !manager->GetFilePtr() || !colours) return -1;
  TDR_PayloadWriter out(manager);
  return out.ColourMap(colours) ? 0 : -1;
}

unsigned int* TDR_UtlReadColormap(const char* path, unsigned int* colours) {
  const std::string name = path ? path : "";
  TDR_Manager manager;
  if (manager.OpenFile(path, "rb") != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, ("ERROR:  Opening colormap file - " + name).c_str());
    return nullptr;
  }
  if (manager.ReadHeader() != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, ("ERROR:  Reading colormap header - " + name).c_str());
    manager.CloseFile();
    return nullptr;
  }
  unsigned int* result = nullptr;
  for (;;) {
    const int tag = manager.ReadTag(nullptr);
    if (tag == TDR_TAG_BK_CMAP) {
      result = TDR_UtlReadColormapTag(&manager, colours);
      break;
    }
    if (tag == TDR_TAG_EOF || tag == TDR_TAG_ERROR) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  No end of colormap tag found!", name.c_str());
      break;
    }
  }
  manager.CloseFile();
  return result;
}

int TDR_UtlWriteColormap(const char* path, const unsigned int* colours) {
  if (!colours) return -1;
  TDR_Manager manager;
  if (manager.OpenFile(path, "wb") != 0) return -1;
  int rc = manager.WriteHeader();
  rc = rc || manager.WriteTag(TDR_TAG_BK_CMAP, 1, 0, 0, 1);
  rc = rc || TDR_UtlWriteColormapTag(&manager, colours);
  rc = rc || manager.EndTag();
  rc = rc || manager.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1);
  if (rc) {
    manager.DiscardFile();
    return -1;
  }
  return manager.CloseFile() == 0 ? 0 : -1;
}

unsigned int* TDR_UtlReadColormapOnce(const char* path, unsigned int* colours) {
  if (path && *path && !Sv_UtlFileExists(path)) {
    const std::string name(path);
    Sv_Debug::MessageOnce(("file " + name).c_str(), SV_LEVEL_DEBUG,
                          ("ERROR:  Opening colormap file - " + name).c_str());
    return nullptr;
  }
  return TDR_UtlReadColormap(path, colours);
}

void TDR_UtlBuiltInColormap(unsigned int* colours) {
  if (!colours) return;
  for (unsigned int i = 0; i < static_cast<unsigned int>(kColours); ++i) {
    colours[i] = PackColour(i, i, i, 255);
  }
}
