#ifndef ORVANTA_SIDEFILEREADERS_H
#define ORVANTA_SIDEFILEREADERS_H

#include "Sd_GroupNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Lines3D.h"
#include "Sd_Point3D.h"
#include "Sd_ShipParent.h"
#include "Sv_ImageFormat.h"

// The readers of the side-file fuzz target, picked by an input's first byte
// (modulo kSideReaders), and the class configuration names it writes. The
// seeds are made by the viewer's tests with the same numbering; the readers
// below serve the target and those tests alike.
namespace orvanta_fuzz {

enum SideReader {
  kWorldFile = 0,
  kColourMap,
  kFlightPath,
  kLineFile,
  kPointTrack,
  kShipTrack,
  kSonobuoys,
  kFileHistory,
  kViewFile,
  kOptionsFile,
  kFirstConfiguration  // then one reader per name below
};

constexpr const char* kConfigurationNames[] = {
    "PointClass",   "LineClass",       "Grid2DClass",      "VImageClass",     "GeoImageClass",
    "SoundingClass", "HTFSoundingClass", "VCurtainClass",  "TextureDTMClass", "ContourDTMClass",
    "ShipParentClass", "CableSphClass", "ImageFormats"};

constexpr int kSideReaders =
    kFirstConfiguration + static_cast<int>(sizeof(kConfigurationNames) / sizeof(kConfigurationNames[0]));

// Every registered class constructed once, so that each reads its class
// configuration if it has one, and the image formats' configuration read.
inline void ConstructEveryClass() {
  int count = 0;
  const Sd_IOSupport::ClassEntry* table = Sd_IOSupport::ClassTable(&count);
  for (int i = 0; i < count; ++i) {
    if (Sd_IOSupport::Factory make = Sd_IOSupport::GetFactory(table[i].tag)) Sd_GroupNode::DeleteTree(make());
  }
  Sv_ImageWriteSettings::FromConfiguration();
}

// Reads path with the text data file reader kLineFile to kSonobuoys.
inline void ReadDataFile(int reader, const char* path) {
  if (reader == kLineFile) {
    Sd_Lines3D lines;
    lines.ReadLineFile(path);
    lines.ComputeBounds();
  } else if (reader == kPointTrack) {
    Sd_Point3D points;
    points.ReadTrackFile(path);
  } else if (reader == kShipTrack || reader == kSonobuoys) {
    Sd_ShipParent ship;
    if (reader == kShipTrack) ship.ReadTrackFile(path);
    else ship.ReadSonobuoyFile(path);
    ship.ComputeBounds();
  }
}

}  // namespace orvanta_fuzz

#endif
