#ifndef ORVANTA_SIDEFILEREADERS_H
#define ORVANTA_SIDEFILEREADERS_H

// The readers of the side-file fuzz target, picked by an input's first byte
// (modulo kSideReaders), and the class configuration names it writes. The
// seeds are made by the viewer's tests with the same numbering.
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
  kFirstConfiguration  // then one reader per name below
};

constexpr const char* kConfigurationNames[] = {
    "PointClass",   "LineClass",       "Grid2DClass",      "VImageClass",     "GeoImageClass",
    "SoundingClass", "HTFSoundingClass", "VCurtainClass",  "TextureDTMClass", "ContourDTMClass",
    "ShipParentClass", "CableSphClass", "ImageFormats"};

constexpr int kSideReaders =
    kFirstConfiguration + static_cast<int>(sizeof(kConfigurationNames) / sizeof(kConfigurationNames[0]));

}  // namespace orvanta_fuzz

#endif
