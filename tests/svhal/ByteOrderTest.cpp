#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "Sv_Stdio.h"
#include "TestSupport.h"

using orvanta_test::ReadFileBytes;
using orvanta_test::TempDir;

namespace {

constexpr bool kLittle = (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__);

// Writes the elements in the given byte order and checks the bytes on disk
// against the value's little- or big-endian spelling.
template <typename T>
void CheckRoundTrip(T value, const std::string& name) {
  TempDir dir;
  for (int order = 0; order <= 1; ++order) {
    const std::string path = dir.file(name + std::to_string(order));
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    T buf[3] = {value, value, value};
    EXPECT_EQ(Sv_UtlFwriteCopy(buf, sizeof(T), 3, f, order), 3);
    EXPECT_EQ(memcmp(&buf[0], &value, sizeof(T)), 0) << "FwriteCopy must leave the caller's data untouched";
    fclose(f);

    std::string bytes = ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 3 * sizeof(T));
    unsigned char expect[sizeof(T)];
    memcpy(expect, &value, sizeof(T));
    const bool wantLittle = order == 1;
    if (wantLittle != kLittle) std::reverse(expect, expect + sizeof(T));
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(memcmp(bytes.data() + k * sizeof(T), expect, sizeof(T)), 0) << name << " order " << order;
    }

    f = fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    T back[3] = {};
    EXPECT_EQ(Sv_UtlFread(back, sizeof(T), 3, f, order), 3);
    fclose(f);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(memcmp(&back[k], &value, sizeof(T)), 0);
  }
}

}  // namespace

TEST(ByteOrderIO, ElementsOfEachSizeRoundTripInBothOrders) {
  CheckRoundTrip<uint8_t>(0xA5, "u8");
  CheckRoundTrip<uint16_t>(0x1234, "u16");
  CheckRoundTrip<uint32_t>(0x12345678u, "u32");
  CheckRoundTrip<float>(-1234.5f, "f32");
  CheckRoundTrip<uint64_t>(0x0102030405060708ull, "u64");
  CheckRoundTrip<double>(6371000.125, "f64");
}

TEST(ByteOrderIO, FwriteSwapsTheCallersBufferInPlaceOnlyWhenNeeded) {
  TempDir dir;
  FILE* f = fopen(dir.file("w").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  uint32_t v[2] = {0x11223344u, 0xAABBCCDDu};
  const int swapOrder = kLittle ? 0 : 1;
  EXPECT_EQ(Sv_UtlFwrite(v, 4, 2, f, swapOrder), 2);
  EXPECT_EQ(v[0], 0x44332211u);
  EXPECT_EQ(v[1], 0xDDCCBBAAu);
  uint32_t w[1] = {0x11223344u};
  EXPECT_EQ(Sv_UtlFwrite(w, 4, 1, f, 1 - swapOrder), 1);
  EXPECT_EQ(w[0], 0x11223344u);
  fclose(f);
}

TEST(ByteOrderIO, WideElementsAreReversedAsOneUnit) {
  unsigned char e[48];
  for (int i = 0; i < 48; ++i) e[i] = static_cast<unsigned char>(i);
  Sv_UtlSwapBytes(e, 24, 2);
  for (int i = 0; i < 24; ++i) {
    EXPECT_EQ(e[i], 23 - i);
    EXPECT_EQ(e[24 + i], 47 - i);
  }

  TempDir dir;
  FILE* f = fopen(dir.file("wide").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  unsigned char raw[24];
  for (int i = 0; i < 24; ++i) raw[i] = static_cast<unsigned char>(i);
  fwrite(raw, 1, 24, f);
  fclose(f);
  f = fopen(dir.file("wide").c_str(), "rb");
  unsigned char back[24];
  EXPECT_EQ(Sv_UtlFread(back, 24, 1, f, kLittle ? 0 : 1), 1);
  fclose(f);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(back[i], 23 - i);
}

TEST(ByteOrderIO, ShortReadsReturnTheCountReadAndSwapOnlyThose) {
  TempDir dir;
  FILE* f = fopen(dir.file("short").c_str(), "wb");
  uint16_t v[2] = {0x0102, 0x0304};
  fwrite(v, 2, 2, f);
  fputc(0x7f, f);  // a trailing half element
  fclose(f);
  f = fopen(dir.file("short").c_str(), "rb");
  uint16_t back[4] = {0, 0, 0xEEEE, 0xEEEE};
  EXPECT_EQ(Sv_UtlFread(back, 2, 4, f, kLittle ? 0 : 1), 2);
  fclose(f);
  EXPECT_EQ(back[0], 0x0201);
  EXPECT_EQ(back[1], 0x0403);
  EXPECT_EQ(Sv_UtlFread(back, 2, 1, nullptr, 1), 0);
  EXPECT_EQ(Sv_UtlFread(back, 2, -5, f == nullptr ? nullptr : stdin, 1), 0);
}
