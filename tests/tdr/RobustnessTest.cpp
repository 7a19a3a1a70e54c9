// Truncated, damaged and hostile files: every reader must fail with its
// result and a message, read nothing out of bounds (the sanitizers watch)
// and never allocate more than the file could hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "AllocationWatch.h"
#include "Sv_Stdio.h"
#include "Sv_Stdlib.h"
#include "TDR_GeoRef.h"
#include "TDR_Manager.h"
#include "TDR_Scalar.h"
#include "TDR_Tags.h"
#include "TDR_Utl.h"
#include "TdrTestUtil.h"
#include "TestSupport.h"

using orvanta_test::AllocationWatch;
using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;
using orvanta_test::WriteFileBytes;
using tdr_test::DebugOutput;
using tdr_test::Word;

namespace {

// Allocations by the readers that do not depend on the file: stdio buffers,
// header lines, message texts.
constexpr size_t kFixedAllocations = AllocationWatch::kFixedAllocations;

const int kRows = 3, kCols = 5;

void WriteInner(const std::string& path, const char* pointer = nullptr) {
  TDR_Manager m;
  ASSERT_EQ(m.OpenFile(path.c_str(), "wb"), 0);
  ASSERT_EQ(m.WriteHeader(), 0);
  ASSERT_EQ(m.WriteTag(TDR_TAG_GEOREF, 1, 0, 0, 1), 0);
  TDR_GeoRef g;
  g.SetXBounds(1, 2);
  ASSERT_EQ(g.Write(&m), 0);
  ASSERT_EQ(m.EndTag(), 0);
  if (pointer) {
    ASSERT_EQ(m.WriteTag(TDR_TAG_SD_VRDTM, 1, 0, 1, 1), 0);
    ASSERT_EQ(m.WriteFilePointerString(pointer), 0);
    ASSERT_EQ(m.EndTag(), 0);
  }
  ASSERT_EQ(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1), 0);
  ASSERT_EQ(m.CloseFile(), 0);
}

// A file with one record of each kind: node, georeference, 16-bit scalar,
// 32-bit scalar grid, colour map, a file pointer to inner, the end tag.
void WriteSample(const std::string& path, const std::string& inner, int order) {
  TDR_Manager m;
  ASSERT_EQ(m.OpenFile(path.c_str(), "wb"), 0);
  m.SetByteOrder(order);
  m.AddComment("sample");
  ASSERT_EQ(m.WriteHeader(), 0);
  FILE* f = m.GetFilePtr();
  ASSERT_EQ(m.WriteTag(TDR_TAG_SD_NODE, 1, 0, 0, 1), 0);
  fwrite("node", 1, 4, f);
  ASSERT_EQ(m.EndTag(), 0);
  ASSERT_EQ(m.WriteTag(TDR_TAG_GEOREF, 1, 0, 0, 1), 0);
  TDR_GeoRef g;
  g.SetZBounds(-10, 10);
  ASSERT_EQ(g.Write(&m), 0);
  ASSERT_EQ(m.EndTag(), 0);
  ASSERT_EQ(m.WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1), 0);
  TDR_Scalar s;
  s.SetNumDimensions(2);
  s.SetDimension(1, kCols);
  s.SetDimension(2, kRows);
  s.SetDataType(TDR_TYPE_USHORT);
  s.SetRange(0, 65535);
  ASSERT_EQ(s.Write(&m), 0);
  const unsigned short codes[2 + kRows * kCols] = {1, 65535, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  ASSERT_EQ(Sv_UtlFwriteCopy(codes, 2, 2 + kRows * kCols, f, m.GetByteOrder()), 2 + kRows * kCols);
  ASSERT_EQ(m.EndTag(), 0);
  unsigned int** grid = Sv_UtlAlloc2DInt(kRows, kCols);
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kCols; ++c) grid[r][c] = static_cast<unsigned>(r * 100 + c);
  ASSERT_EQ(TDR_UtlWriteScalar32Tag(&m, grid, kRows, kCols), 0);
  Sv_UtlFree2D(grid, kRows);
  unsigned int colours[256];
  for (unsigned i = 0; i < 256; ++i) colours[i] = i * 0x010101u;
  ASSERT_EQ(m.WriteTag(TDR_TAG_BK_CMAP, 1, 0, 0, 1), 0);
  ASSERT_EQ(TDR_UtlWriteColormapTag(&m, colours), 0);
  ASSERT_EQ(m.EndTag(), 0);
  ASSERT_EQ(m.WriteTag(TDR_TAG_SD_VRDTM, 1, 0, 1, 1), 0);
  ASSERT_EQ(m.WriteFilePointerString(inner.c_str()), 0);
  ASSERT_EQ(m.EndTag(), 0);
  ASSERT_EQ(m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1), 0);
  ASSERT_EQ(m.CloseFile(), 0);
}

// Reads every record of a file as the program's loaders do. 0 when the whole
// file read cleanly up to its end tag, else -1.
int ReadAll(const std::string& path) {
  TDR_Manager m;
  if (m.OpenFile(path.c_str(), "rb") != 0 || m.ReadHeader() != 0) return -1;
  for (;;) {
    const int tag = m.ReadTag(nullptr);
    switch (tag) {
      case TDR_TAG_EOF:
        return 0;
      case TDR_TAG_ERROR:
        return -1;
      case TDR_TAG_GEOREF: {
        TDR_GeoRef g;
        if (g.Read(&m) != 0) return -1;
        break;
      }
      case TDR_TAG_SCALAR: {
        TDR_Scalar s;
        if (s.Read(&m) != 0) return -1;
        if (s.GetBitWidth() == 32) {
          m.UnreadTagHeader();
          if (m.ReadTag(nullptr) != TDR_TAG_SCALAR) return -1;
          int rows = 0, cols = 0;
          unsigned int** grid = TDR_UtlReadScalar32Tag(&m, &rows, &cols);
          if (!grid) return -1;
          Sv_UtlFree2D(grid, rows);
          break;
        }
        const int cols = s.GetDimension(1), rows = s.GetDimension(2);
        if (s.GetDataType() != TDR_TYPE_USHORT || m.GetTagBytesLeft() < 4 + 2LL * rows * cols) return -1;
        unsigned short range[2];
        Sv_UtlFread(range, 2, 2, m.GetFilePtr(), m.GetByteOrder());
        unsigned short** grid = Sv_UtlAlloc2DShort(rows, cols);
        if (!grid) return -1;
        for (int r = 0; r < rows; ++r) Sv_UtlFread(grid[r], 2, cols, m.GetFilePtr(), m.GetByteOrder());
        Sv_UtlFree2D(grid, rows);
        break;
      }
      case TDR_TAG_BK_CMAP: {
        unsigned int* colours = TDR_UtlReadColormapTag(&m, nullptr);
        if (!colours) return -1;
        free(colours);
        break;
      }
      default:
        break;  // the next ReadTag steps over the payload
    }
  }
}

struct Outcome {
  int result;
  std::string messages;
  size_t largest;
};

Outcome Watch(const std::string& path, const std::function<int(const std::string&)>& reader) {
  DebugOutput out;
  AllocationWatch watch;
  const int result = reader(path);
  watch.Stop();
  return {result, out.Text(), watch.Largest()};
}

struct Record {
  size_t offset;  // of the tag header
  int id;
  int length;
};

// The records of a little-endian file, found from the header lengths.
std::vector<Record> Records(const std::string& bytes) {
  std::vector<Record> out;
  size_t pos = bytes.find("END_HEADER\n") + 11;
  while (pos + 32 <= bytes.size()) {
    Record r;
    r.offset = pos;
    memcpy(&r.id, bytes.data() + pos + 4, 4);
    memcpy(&r.length, bytes.data() + pos + 8, 4);
    out.push_back(r);
    pos += 32 + static_cast<size_t>(r.length);
  }
  return out;
}

size_t OffsetOf(const std::vector<Record>& records, int id, int nth = 0) {
  for (const Record& r : records) {
    if (r.id == id && nth-- == 0) return r.offset;
  }
  ADD_FAILURE() << "no record " << id;
  return 0;
}

}  // namespace

TEST(TdrRobustness, EveryPrefixOfAValidFileFailsCleanly) {
  TempDir dir;
  const std::string inner = dir.file("inner.sd");
  WriteInner(inner);
  for (int order = 0; order <= 1; ++order) {
    const std::string full = dir.file("full.sd");
    WriteSample(full, inner, order);
    const Outcome whole = Watch(full, ReadAll);
    ASSERT_EQ(whole.result, 0) << whole.messages;
    const std::string bytes = ReadFileBytes(full);
    const std::string cut = dir.file("cut.sd");
    for (size_t n = 0; n < bytes.size(); ++n) {
      ASSERT_TRUE(WriteFileBytes(cut, bytes.substr(0, n)));
      const Outcome o = Watch(cut, ReadAll);
      ASSERT_EQ(o.result, -1) << "prefix " << n;
      ASSERT_NE(o.messages.find("ERROR"), std::string::npos) << "prefix " << n;
      ASSERT_LE(o.largest, n + kFixedAllocations) << "prefix " << n;
    }
  }
  // The colour-map file reader, on every prefix of a colour-map file.
  unsigned int colours[256] = {};
  const std::string map = dir.file("map.cmap");
  ASSERT_EQ(TDR_UtlWriteColormap(map.c_str(), colours), 0);
  const std::string bytes = ReadFileBytes(map);
  const std::string cut = dir.file("cut.cmap");
  auto readMap = [](const std::string& p) {
    unsigned int* c = TDR_UtlReadColormap(p.c_str(), nullptr);
    free(c);
    return c ? 0 : -1;
  };
  for (size_t n = 0; n < bytes.size(); ++n) {
    ASSERT_TRUE(WriteFileBytes(cut, bytes.substr(0, n)));
    const Outcome o = Watch(cut, readMap);
    // Once the colours are complete the missing end tag does not matter.
    if (n >= bytes.size() - 32) {
      EXPECT_EQ(o.result, 0) << n;
      continue;
    }
    ASSERT_EQ(o.result, -1) << "prefix " << n;
    ASSERT_NE(o.messages.find("ERROR:  "), std::string::npos) << "prefix " << n;
  }
}

TEST(TdrRobustness, MutatedFilesFailWithTheirMessages) {
  TempDir dir;
  const std::string inner = dir.file("inner.sd");
  WriteInner(inner);
  const std::string full = dir.file("full.sd");
  WriteSample(full, inner, 1);
  const std::string bytes = ReadFileBytes(full);
  const std::vector<Record> records = Records(bytes);
  ASSERT_EQ(records.size(), 7u);
  const size_t geo = OffsetOf(records, TDR_TAG_GEOREF);
  const size_t scalar16 = OffsetOf(records, TDR_TAG_SCALAR, 0);
  const size_t scalar32 = OffsetOf(records, TDR_TAG_SCALAR, 1);
  const size_t cmap = OffsetOf(records, TDR_TAG_BK_CMAP);
  const size_t pointer = OffsetOf(records, TDR_TAG_SD_VRDTM);

  // Files a pointer can lead to.
  const std::string nested = dir.file("nested.sd");
  WriteInner(nested, inner.c_str());
  const std::string self = dir.file("mutant.sd");

  auto set = [](std::string& b, size_t at, const std::string& v) { b.replace(at, v.size(), v); };
  // A copy of the file whose pointer record names another path.
  auto repoint = [&](const std::string& target) {
    std::string b = bytes.substr(0, pointer);
    std::string h = bytes.substr(pointer, 32);
    set(h, 8, Word(static_cast<unsigned>(4 + target.size()), 1));
    return b + h + Word(static_cast<unsigned>(target.size()), 1) + target + bytes.substr(bytes.size() - 32);
  };

  struct Mutant {
    const char* what;
    std::function<std::string()> make;
    const char* message;
  };
  const Mutant mutants[] = {
      {"negative length", [&] { std::string b = bytes; set(b, geo + 8, Word(0xFFFFFFFBu, 1)); return b; },
       "length is negative (-5)"},
      {"huge length", [&] { std::string b = bytes; set(b, geo + 8, Word(0x7FFFFFF0u, 1)); return b; },
       "length exceeds the file"},
      {"wrong class", [&] { std::string b = bytes; b[0] = 'X'; return b; }, "Not a TDR file"},
      {"wrong version", [&] { std::string b = bytes; b[4] = '7'; return b; }, "Unsupported TDR version"},
      {"end mark missing", [&] { std::string b = bytes; set(b, b.find("END_HEADER"), "END_HEADEX"); return b; },
       "no end mark"},
      {"byte-order byte 2", [&] { std::string b = bytes; b[geo] = 2; return b; }, "bad byte-order byte"},
      {"byte-order byte swapped", [&] { std::string b = bytes; b[geo] = 0; return b; }, "length exceeds the file"},
      {"extended flag 7", [&] { std::string b = bytes; b[geo + 1] = 7; return b; }, "damaged"},
      {"unknown id", [&] { std::string b = bytes; set(b, geo + 4, Word(15001, 1)); return b; }, "Unknown TDR tag id"},
      {"georef too short", [&] { std::string b = bytes; set(b, geo + 8, Word(100, 1)); return b; },
       "Georeference record is too short"},
      {"scalar huge columns", [&] { std::string b = bytes; set(b, scalar32 + 36, Word(0x7FFFFFFF, 1)); return b; },
       "larger than its record"},
      {"scalar huge both", [&] {
         std::string b = bytes;
         set(b, scalar32 + 36, Word(0x40000000, 1));
         set(b, scalar32 + 40, Word(0x40000000, 1));
         return b;
       },
       "larger than its record"},
      {"scalar negative rows", [&] { std::string b = bytes; set(b, scalar16 + 40, Word(0xFFFFFFFDu, 1)); return b; },
       "bad dimension size"},
      {"scalar million dimensions", [&] { std::string b = bytes; set(b, scalar16 + 32, Word(1000000, 1)); return b; },
       "bad number of dimensions"},
      {"scalar type 99", [&] { std::string b = bytes; set(b, scalar16 + 44, Word(99, 1)); return b; },
       "unknown data type"},
      {"colour map cut short", [&] { std::string b = bytes; set(b, cmap + 8, Word(700, 1)); return b; },
       "Colormap record is too short"},
      {"pointer path length negative", [&] { std::string b = bytes; set(b, pointer + 32, Word(0xFFFFFFFFu, 1)); return b; },
       "file-pointer record is damaged"},
      {"pointer path length huge", [&] { std::string b = bytes; set(b, pointer + 32, Word(0x7FFFFFFF, 1)); return b; },
       "file-pointer record is damaged"},
      {"pointer to a missing file", [&] { return repoint(dir.file("gone.sd")); }, "Opening the file named"},
      {"pointer to itself", [&] { return repoint(self); }, "names the file that holds it"},
      {"pointer nested twice", [&] { return repoint(nested); }, "file pointer inside a followed TDR file"},
  };
  for (const Mutant& m : mutants) {
    const std::string content = m.make();
    ASSERT_TRUE(WriteFileBytes(self, content));
    const Outcome o = Watch(self, ReadAll);
    EXPECT_EQ(o.result, -1) << m.what;
    EXPECT_NE(o.messages.find(m.message), std::string::npos) << m.what << ": " << o.messages;
    EXPECT_LE(o.largest, content.size() + kFixedAllocations) << m.what;
  }
}

TEST(TdrRobustness, AllocationWatchSeesLargeAllocations) {
  if (!AllocationWatch::Available()) GTEST_SKIP() << "allocation sizes are watched only in sanitizer builds";
  AllocationWatch watch;
  void* p = malloc(1 << 20);
  watch.Stop();
  free(p);
  EXPECT_GE(watch.Largest(), static_cast<size_t>(1 << 20));
}
