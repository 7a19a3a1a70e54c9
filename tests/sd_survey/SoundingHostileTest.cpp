// Sounding data sets: object records whose counts are hostile (negative,
// huge, overflowing 32 bits, one record more than the payload holds) are
// refused with a message before anything is allocated for them, and the
// record after them loads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AllocationWatch.h"
#include "SoundingTestSupport.h"
#include "TDR_Tags.h"
#include "TestSupport.h"

using dtm_test::Messages;
using dtm_test::SDWriter;
using orvanta_test::AllocationWatch;
using orvanta_test::TempDir;
using sounding_test::Stored;

namespace {

struct Hostile {
  const char* what;
  int tag;
  std::vector<int> counts;  // as stored: HTF one count, FSD runs, frames, soundings
  int recordBytes;          // bytes of records that follow the counts
};

}  // namespace

TEST(SoundingHostile, CountsThePayloadCannotHoldAreRefusedBeforeAllocation) {
  const Hostile cases[] = {
      {"negative HTF count", TDR_TAG_SD_HTFSOUNDING, {-1}, 89},
      {"largest HTF count", TDR_TAG_SD_HTFSOUNDING, {0x7FFFFFFF}, 89},
      {"HTF count whose bytes overflow 32 bits", TDR_TAG_SD_HTFSOUNDING, {48300000}, 890},
      {"one HTF sounding more than stored", TDR_TAG_SD_HTFSOUNDING, {4}, 3 * 89 + 88},
      {"negative run count", TDR_TAG_SD_SOUNDING, {-1, 0, 1}, 77},
      {"largest frame count", TDR_TAG_SD_SOUNDING, {0, 0x7FFFFFFF, 1}, 77 + 36},
      {"counts whose bytes together overflow 32 bits", TDR_TAG_SD_SOUNDING, {20000000, 60000000, 0}, 1000},
      {"one FSD sounding more than stored", TDR_TAG_SD_SOUNDING, {1, 2, 3}, 108 + 72 + 2 * 77 + 76},
  };
  TempDir dir;
  auto htf = sounding_test::MakeHTF(3);
  auto fsd = sounding_test::MakeFSD(3, 1, 2);
  for (const Hostile& c : cases) {
    SCOPED_TRACE(c.what);
    Stored p(c.tag == TDR_TAG_SD_SOUNDING ? 0 : 1);
    for (int n : c.counts) p.Put<int>(n);
    const std::string path = dir.file("hostile.sd");
    {
      SDWriter w(path, c.tag == TDR_TAG_SD_SOUNDING ? 0 : 1);
      w.Raw(c.tag, p.str() + std::string(static_cast<size_t>(c.recordBytes), '\x11'), 1);
      Sd_SoundingSet* next = c.tag == TDR_TAG_SD_SOUNDING ? static_cast<Sd_SoundingSet*>(fsd.get()) : htf.get();
      ASSERT_EQ(next->WriteDataRecord(w.Manager()), 0);
      ASSERT_TRUE(w.Close());
    }
    const size_t fileSize = orvanta_test::ReadFileBytes(path).size();
    Messages messages;
    AllocationWatch watch;
    auto read = dtm_test::ReadSD(path);
    watch.Stop();
    ASSERT_EQ(read->children.size(), 1u) << "the refused record costs only its own object";
    EXPECT_EQ(read->children[0]->GetType(), c.tag == TDR_TAG_SD_SOUNDING ? 19 : 38);
    EXPECT_EQ(static_cast<Sd_SoundingSet*>(read->children[0])->GetSoundingCount(), 3);
    if (AllocationWatch::Available()) {
      EXPECT_GT(watch.Largest(), 0u) << "the watch saw the read";
    }
    EXPECT_LE(watch.Largest(), fileSize + AllocationWatch::kFixedAllocations);
    EXPECT_TRUE(messages.Contains("ERROR:  The sounding record's counts do not fit its payload")) << messages.All();
  }
}
