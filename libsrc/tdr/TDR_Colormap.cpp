#include "TDR_Colormap.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Sv_Debug.h"
#include "Sv_Stdio.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"

namespace {

constexpr int kColours = 256;

}  // namespace

unsigned int* TDR_UtlReadColormapTag(TDR_Manager* manager, unsigned int* colours) {
  const char* where = "TDR_UtlReadColormapTag";
  if (!manager || !manager->GetFilePtr()) return nullptr;
  FILE* file = manager->GetFilePtr();
  const int skip = manager->GetTagVersion() == 0 ? 4 : 0;
  // Inside a colour-map record the payload must hold the colours; other
  // records carry the colours after their own payload.
  if (manager->GetTag() == TDR_TAG_BK_CMAP && manager->GetTagBytesLeft() < skip + 3 * kColours) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Colormap record is too short", where);
    return nullptr;
  }
  unsigned char rgb[3 * kColours];
  int word = 0;
  if ((skip && Sv_UtlFread(&word, 4, 1, file, manager->GetByteOrder()) != 1) ||
      fread(rgb, 1, sizeof rgb, file) != sizeof rgb) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading colormap data", where);
    return nullptr;
  }
  unsigned int* out = colours;
  if (!out) {
    out = static_cast<unsigned int*>(malloc(kColours * sizeof(unsigned int)));
    if (!out) return nullptr;
  }
  for (int i = 0; i < kColours; ++i) {
    out[i] = static_cast<unsigned int>(rgb[3 * i]) | (static_cast<unsigned int>(rgb[3 * i + 1]) << 8) |
             (static_cast<unsigned int>(rgb[3 * i + 2]) << 16) | 0xFF000000u;
  }
  return out;
}

int TDR_UtlWriteColormapTag(TDR_Manager* manager, const unsigned int* colours) {
  if (!manager || !manager->GetFilePtr() || !colours) return -1;
  FILE* file = manager->GetFilePtr();
  if (manager->GetTagVersion() == 0) {
    const int word = 0;
    if (Sv_UtlFwriteCopy(&word, 4, 1, file, manager->GetByteOrder()) != 1) return -1;
  }
  unsigned char rgb[3 * kColours];
  for (int i = 0; i < kColours; ++i) {
    rgb[3 * i] = static_cast<unsigned char>(colours[i] & 0xFFu);
    rgb[3 * i + 1] = static_cast<unsigned char>((colours[i] >> 8) & 0xFFu);
    rgb[3 * i + 2] = static_cast<unsigned char>((colours[i] >> 16) & 0xFFu);
  }
  return fwrite(rgb, 1, sizeof rgb, file) == sizeof rgb ? 0 : -1;
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
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  No end of colormap tag found!");
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
  const int closed = manager.CloseFile();
  return (rc || closed) ? -1 : 0;
}
