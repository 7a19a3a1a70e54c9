#ifndef SD_SOUNDINGRECORDS_H
#define SD_SOUNDINGRECORDS_H

// The records of the two sounding data sets: HTF soundings (one flat list)
// and FSD soundings (runs, frames and soundings), as they are held in
// memory, with their flag bits and the sizes of their stored form.
//
// The memory layout is this program's: the fields that every operation on a
// sounding uses (x, y, z, the cell chain, the flags) come first, and the
// small fields are packed at the end, so a record is as small as its fields
// allow (HTF 104 bytes, FSD 96). The stored form is fixed by the file format
// (docs/file-formats.md): packed fields, no gaps, in the record's byte
// order; Sd_SoundingCodec.h converts between the two.

// Flag bits of an HTF sounding; other bits are carried as they are.
constexpr unsigned char HTF_PLOTTED_FLAG = 0x01;
constexpr unsigned char HTF_REJECTED_FLAG = 0x04;
constexpr unsigned char HTF_NBA_FLAG = 0x20;

// Flag bits of an FSD sounding.
constexpr unsigned char FSD_DELETE_FLAG = 0x01;
constexpr unsigned char FSD_ANOMALY_FLAG = 0x02;
constexpr unsigned char FSD_NOACCEPT_FLAG = 0x04;
constexpr unsigned char FSD_CLASH_FLAG = 0x08;
constexpr unsigned char FSD_MANSELECT_FLAG = 0x10;
constexpr unsigned char FSD_NBA_FLAG = 0x20;

// One HTF sounding. Positions are projected ground coordinates (x, y) and
// geographic ones (lonStart, lat); depth is positive downward as stored and
// z (set on loading) positive upward.
struct HTFSndRecord {
  double x, y;
  double z;  // minus depth
  double lonStart, lat;
  int id;  // all look-ups and comparisons go by it
  int lineName;
  int fixNumber;
  int date;  // decimal YYYYMMDD
  int time;
  float depth;
  int field10;  // carried; a sort key only
  int field11;  // carried; a sort key only
  float tpePosition;
  float tpeDepth;
  float field14;  // a colour attribute
  float dwCorrection;
  float vbCorrection;
  unsigned int field17;  // a colour attribute
  int nextInCell;        // next record of the same grid cell, -1 ends the chain
  unsigned short inGrid;  // 0 keeps the record out of the grid
  unsigned char flags;    // HTF_*_FLAG
  unsigned char mark;     // 1 while the record is on the selected list
};

// One FSD sounding. On loading depth and nbaDepth are negated in place, and
// z is nbaDepth when FSD_NBA_FLAG is set, else depth.
struct FsdSndRecord {
  double x, y;
  double z;
  double lonStart, lat;
  int frameIdx;  // index of its frame
  int id;
  int frameHeadID;
  int primaryFrameID;
  int time;
  int distance;
  int sndCount;
  float depth;
  float nbaDepth;  // the depth used when FSD_NBA_FLAG is set
  signed char primaryConf[4];
  signed char secondConf[4];
  int nextInCell;
  unsigned short inGrid;
  unsigned char flags;  // FSD_*_FLAG
  unsigned char mark;
};

// One FSD frame.
struct FsdFrameRecord {
  int runIdx;  // index of the run that holds the frame
  int id;
  int time;
  int conf[3];
  float depthCorr;
  int method;
  int pointCount;
};

// One FSD survey run.
struct FsdRunRecord {
  int id, day, year, status, statusType;
  int offset, distance, limit, suf_con, pos_con, count;
  double xStart, xEnd, yStart, yEnd;
  double latStart, latEnd, lonStart, lonEnd;
};

// Bytes of each record in the object record of a file.
constexpr int HTF_STORED_SOUNDING_SIZE = 89;
constexpr int FSD_STORED_SOUNDING_SIZE = 77;
constexpr int FSD_STORED_FRAME_SIZE = 36;
constexpr int FSD_STORED_RUN_SIZE = 108;

#endif
