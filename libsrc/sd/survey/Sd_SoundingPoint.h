#ifndef SD_SOUNDINGPOINT_H
#define SD_SOUNDINGPOINT_H

// A sounding as the parts of a sounding data set see it, and what they may
// ask of the records: the record classes answer, the parts never see a
// record type.

// Its position, its selected mark and whether the highlight attribute
// names its flag state.
struct Sd_SoundingPoint {
  double x, y, z;
  int mark;
  int highlighted;
};

class Sd_SoundingPoints {
 public:
  // Records held.
  virtual int SoundingCount() const = 0;
  // Sounding index (within the records, which the caller checks).
  virtual Sd_SoundingPoint GetSoundingPoint(int index) const = 0;
  // 1 unless a switched-on filter hides sounding index (0 for an index
  // outside the records).
  virtual int IsSoundingShown(int index) const = 0;
  // The flag bits that exclude a sounding from the editing tools.
  virtual unsigned char ExcludedFlags() const = 0;

 protected:
  ~Sd_SoundingPoints() = default;
};

#endif
