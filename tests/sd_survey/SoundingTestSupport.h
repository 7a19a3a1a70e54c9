#ifndef ORVANTA_TESTS_SD_SURVEY_SOUNDINGTESTSUPPORT_H
#define ORVANTA_TESTS_SD_SURVEY_SOUNDINGTESTSUPPORT_H

// Sounding data sets for the tests (also used by the drawing tests in
// sd_survey_gl and the viewer tests): records, the data sets built from
// them, files written with the project's writers, and stored bytes built by
// hand in either byte order.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../sd_dtm/DTMTestSupport.h"
#include "Sd_HTFSounding.h"
#include "Sd_Sounding.h"
#include "Sd_SoundingCodec.h"

namespace sounding_test {

// A record whose every field comes from a byte pattern of the given seed:
// each field distinct, floats of every kind (NaN included).
template <class Codec>
typename Codec::Record Patterned(int seed) {
  unsigned char stored[Codec::kStoredSize];
  for (int k = 0; k < Codec::kStoredSize; ++k) stored[k] = static_cast<unsigned char>(seed * 131 + k * 29 + k * k);
  typename Codec::Record r{};
  Codec::template Decode<false>(stored, &r);
  return r;
}

// n HTF soundings 40 m apart along x from x0, in three rows 25 m apart from
// y0, depth 10 + i; every other field patterned.
inline std::vector<HTFSndRecord> HTFRecords(int n, double x0 = 500000.0, double y0 = 6000000.0) {
  std::vector<HTFSndRecord> r;
  for (int i = 0; i < n; ++i) {
    HTFSndRecord s = Patterned<sd_sounding::HTFSoundingCodec>(i);
    s.x = x0 + 40.0 * i;
    s.y = y0 + 25.0 * (i % 3);
    s.depth = 10.0f + i;
    s.z = -s.depth;
    r.push_back(s);
  }
  return r;
}

// An HTF sounding at (x, y, z) (depth -z) with the given flags; every other
// field 0.
inline HTFSndRecord Sounding(double x, double y, double z, unsigned char flags = HTF_PLOTTED_FLAG) {
  HTFSndRecord r{};
  r.x = x;
  r.y = y;
  r.z = z;
  r.depth = static_cast<float>(-z);
  r.flags = flags;
  return r;
}

// FSD soundings in their loaded form (depths negated), placed as the HTF
// ones, the third of every three with FSD_NBA_FLAG; frame i / 2.
inline std::vector<FsdSndRecord> FsdRecords(int n, double x0 = 500000.0, double y0 = 6000000.0) {
  std::vector<FsdSndRecord> r;
  for (int i = 0; i < n; ++i) {
    FsdSndRecord s = Patterned<sd_sounding::FsdSoundingCodec>(i);
    s.frameIdx = i / 2;
    s.x = x0 + 40.0 * i;
    s.y = y0 + 25.0 * (i % 3);
    s.depth = -(20.0f + i);
    s.nbaDepth = s.depth - 0.5f;
    s.flags = static_cast<unsigned char>(i % 3 == 2 ? FSD_NBA_FLAG : 0);
    s.z = s.flags & FSD_NBA_FLAG ? s.nbaDepth : s.depth;
    r.push_back(s);
  }
  return r;
}

// Runs i from (x0, y0 + 25 i) to (x0 + 400, y0 + 25 i); other fields
// patterned.
inline std::vector<FsdRunRecord> FsdRuns(int n, double x0 = 500000.0, double y0 = 6000000.0) {
  std::vector<FsdRunRecord> r;
  for (int i = 0; i < n; ++i) {
    FsdRunRecord u = Patterned<sd_sounding::FsdRunCodec>(i);
    u.xStart = x0;
    u.xEnd = x0 + 400.0;
    u.yStart = u.yEnd = y0 + 25.0 * i;
    r.push_back(u);
  }
  return r;
}

inline std::vector<FsdFrameRecord> FsdFrames(int n) {
  std::vector<FsdFrameRecord> f;
  for (int i = 0; i < n; ++i) f.push_back(Patterned<sd_sounding::FsdFrameCodec>(i));
  return f;
}

// Data sets holding the records above.
inline std::unique_ptr<Sd_HTFSounding> MakeHTF(int n, double x0 = 500000.0, double y0 = 6000000.0) {
  std::unique_ptr<Sd_HTFSounding> s(new Sd_HTFSounding());
  const std::vector<HTFSndRecord> r = HTFRecords(n, x0, y0);
  EXPECT_EQ(s->SetSoundings(r.data(), n), 0);
  return s;
}

inline std::unique_ptr<Sd_Sounding> MakeFSD(int n, int runs = 2, int frames = 3, double x0 = 500000.0,
                                            double y0 = 6000000.0) {
  std::unique_ptr<Sd_Sounding> s(new Sd_Sounding());
  const std::vector<FsdRunRecord> u = FsdRuns(runs);
  const std::vector<FsdFrameRecord> f = FsdFrames(frames);
  const std::vector<FsdSndRecord> r = FsdRecords(n, x0, y0);
  EXPECT_EQ(s->SetRuns(u.data(), runs), 0);
  EXPECT_EQ(s->SetFrames(f.data(), frames), 0);
  EXPECT_EQ(s->SetSoundings(r.data(), n), 0);
  return s;
}

// FSD soundings whose drawing switches a test sets (the attribute record
// stores them).
struct SwitchableSounding : Sd_Sounding {
  void Switch(int base, int runLines) {
    m_painter.SetShowBase(base);
    m_showRunLines = runLines;
  }
};

// Two records agree: their stored forms byte for byte (NaN included), and
// the fields that loading sets.
template <class Codec>
void ExpectSame(const typename Codec::Record& a, const typename Codec::Record& b) {
  unsigned char x[Codec::kStoredSize], y[Codec::kStoredSize];
  Codec::template Encode<false>(a, x);
  Codec::template Encode<false>(b, y);
  EXPECT_EQ(0, memcmp(x, y, sizeof x));
}

// The cell chains (nextInCell) are left out: they follow the cell size
// and the binning, which have tests of their own.
template <class Rec>
void ExpectSameGridFields(const Rec& a, const Rec& b) {
  EXPECT_EQ(a.z, b.z);
  EXPECT_EQ(a.inGrid, b.inGrid);
  EXPECT_EQ(a.mark, b.mark);
}

// The records, runs and frames of two data sets agree.
inline void ExpectSameRecords(const Sd_HTFSounding& a, const Sd_HTFSounding& b) {
  ASSERT_EQ(a.GetSoundingCount(), b.GetSoundingCount());
  for (int i = 0; i < a.GetSoundingCount(); ++i) {
    SCOPED_TRACE("sounding " + std::to_string(i));
    ExpectSame<sd_sounding::HTFSoundingCodec>(a.GetRecords()[i], b.GetRecords()[i]);
    ExpectSameGridFields(a.GetRecords()[i], b.GetRecords()[i]);
  }
}

inline void ExpectSameRecords(const Sd_Sounding& a, const Sd_Sounding& b) {
  ASSERT_EQ(a.GetSoundingCount(), b.GetSoundingCount());
  ASSERT_EQ(a.GetRunCount(), b.GetRunCount());
  ASSERT_EQ(a.GetFrameCount(), b.GetFrameCount());
  for (int i = 0; i < a.GetSoundingCount(); ++i) {
    SCOPED_TRACE("sounding " + std::to_string(i));
    ExpectSame<sd_sounding::FsdSoundingCodec>(a.GetRecords()[i], b.GetRecords()[i]);
    ExpectSameGridFields(a.GetRecords()[i], b.GetRecords()[i]);
  }
  for (int i = 0; i < a.GetRunCount(); ++i) ExpectSame<sd_sounding::FsdRunCodec>(a.GetRuns()[i], b.GetRuns()[i]);
  for (int i = 0; i < a.GetFrameCount(); ++i) {
    ExpectSame<sd_sounding::FsdFrameCodec>(a.GetFrames()[i], b.GetFrames()[i]);
  }
}

// An SD file holding the data record (at the tag version) and, when asked,
// the common tags and attribute record of each data set.
inline bool WriteData(const std::string& path, std::initializer_list<Sd_SoundingSet*> sets, int order = 1,
                      int tagVersion = 2, bool attributes = true) {
  dtm_test::SDWriter w(path, order);
  bool ok = true;
  for (Sd_SoundingSet* s : sets) {
    ok = ok && s->WriteDataRecord(w.Manager(), tagVersion) == 0;
    ok = ok && (!attributes || s->WriteCommonTags(w.Manager()) == 0);
  }
  return w.Close() && ok;
}

// What the factory reads from a file (written to path) that holds one
// record with the given payload, in the byte order given.
inline std::unique_ptr<dtm_test::ReadResult> ReadRecord(const std::string& path, int tag, const std::string& payload,
                                                        short tagVersion, int order) {
  dtm_test::SDWriter w(path, order);
  w.Raw(tag, payload, tagVersion);
  EXPECT_TRUE(w.Close());
  return dtm_test::ReadSD(path);
}

// Stored bytes in a byte order (1 little-endian, 0 big-endian).
class Stored {
 public:
  explicit Stored(int order) : m_order(order) {}
  template <class T>
  Stored& Put(T v) {
    unsigned char b[sizeof(T)];
    memcpy(b, &v, sizeof(T));
    const bool littleHost = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
    if ((m_order == 1) != littleHost) {
      for (size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(b[i], b[sizeof(T) - 1 - i]);
    }
    m_bytes.append(reinterpret_cast<const char*>(b), sizeof(T));
    return *this;
  }
  Stored& Byte(unsigned char v) {
    m_bytes.push_back(static_cast<char>(v));
    return *this;
  }
  const std::string& str() const { return m_bytes; }
  size_t size() const { return m_bytes.size(); }

 private:
  int m_order;
  std::string m_bytes;
};

// The n-th top-level object read from a file, as class T (null when none).
template <class T>
T* Child(const dtm_test::ReadResult& r, size_t n) {
  return n < r.children.size() ? dynamic_cast<T*>(r.children[n]) : nullptr;
}

}  // namespace sounding_test

#endif
