// The textured terrain: its records through the factory, the tile meshes
// and their borders, the tile rings, settings and refused records.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Sv_TexturedSurface.h"
#include "TextureTestSupport.h"

using namespace dtm_test;

namespace {

// The grid's unit box seen from above (the grid space of a rows x cols
// terrain as model-view), x and y spanning -0.5 ... 0.5.
Sd_DTMView TopDown(const Sd_BaseDTM& dtm, float left = -0.5f, float right = 0.5f) {
  Sd_DTMView v;
  for (int i = 0; i < 16; ++i) v.projection[i] = v.modelview[i] = (i % 5 == 0) ? 1.0f : 0.0f;
  v.projection[0] = 2.0f / (right - left);
  v.projection[12] = -(right + left) / (right - left);
  v.projection[5] = 2.0f;
  v.projection[10] = -0.5f;
  v.modelview[0] = 1.0f / (dtm.GetCols() - 1);
  v.modelview[5] = 1.0f / (dtm.GetRows() - 1);
  v.modelview[10] = 1.0f / dtm.GetMaxCode();
  v.modelview[12] = v.modelview[13] = v.modelview[14] = -0.5f;
  v.viewport[0] = v.viewport[1] = 0;
  v.viewport[2] = v.viewport[3] = 256;
  return v;
}

unsigned short Ramp(int, int c, int, int cols) { return static_cast<unsigned short>(1000 + 60000 * c / (cols - 1)); }

}  // namespace

TEST(TextureDTM, CheckerOverAGridWithAGapLoadsInBothByteOrdersWithAndWithoutColours) {
  orvanta_test::TempDir dir;
  for (bool grey : {false, true}) {
    for (int order : {1, 0}) {
      SCOPED_TRACE(std::to_string(grey) + " " + std::to_string(order));
      auto dtm = MakeTextured(257, 600, 520, 100, 140, 150, 200, HillCode, grey);
      ASSERT_TRUE(dtm);
      ASSERT_TRUE(AddAltValues(dtm.get()));
      dtm->SetTextureMode(1);
      dtm->SetShowTexture(0);
      dtm->SetLODStep(3);
      dtm->SetAutoLOD(0);
      const std::string file = dir.file("textured.sd");
      ASSERT_TRUE(WriteSD(file, {dtm.get()}, order));

      auto read = ReadSD(file);
      Sd_TextureDTM* t = read->Terrain<Sd_TextureDTM>(0);
      ASSERT_NE(t, nullptr);
      EXPECT_EQ(t->GetType(), 31);
      EXPECT_STREQ(t->className(), "Textured DTM");
      ASSERT_EQ(t->GetRows(), 257);
      ASSERT_EQ(t->GetCols(), 257);
      ASSERT_TRUE(t->GetImage());
      ASSERT_EQ(t->GetImage()->GetWidth(), 600);
      ASSERT_EQ(t->GetImage()->GetHeight(), 520);
      EXPECT_EQ(memcmp(t->GetImage()->GetData(), dtm->GetImage()->GetData(), 600 * 520 * 3), 0);
      EXPECT_EQ(t->GetTileCols(), 3);
      EXPECT_EQ(t->GetTileRows(), 3);
      EXPECT_EQ(t->GetImageBounds()[1], kXMax);
      EXPECT_EQ(t->GetBounds(1)[1], kYMax);
      EXPECT_EQ(t->GetTextureMode(), 1);
      EXPECT_EQ(t->GetShowTexture(), 0);
      EXPECT_EQ(t->GetLODStep(), 3);
      EXPECT_EQ(t->GetAutoLOD(), 0);
      EXPECT_TRUE(t->HasAltValues());
      EXPECT_EQ(t->HasGreyColours(), grey);
      for (int r = 0; r < 257; r += 8) {
        for (int c = 0; c < 257; c += 8) {
          unsigned short h = 0, hIn = 0;
          unsigned colour = 0, colourIn = 0;
          t->GetCell(r, c, &h, &colour);
          dtm->GetCell(r, c, &hIn, &colourIn);
          ASSERT_EQ(h, hIn);
          const unsigned k = h >> 8;
          ASSERT_EQ(colour, grey ? PackColour(k, k, k, 255) : colourIn) << r << " " << c;
        }
      }
      EXPECT_EQ(t->GetElevationGrid()[120][170], 0) << "the gap";
    }
  }
}

TEST(TextureDTM, TileMeshesShareInterpolatedBordersAndBreakAtGaps) {
  // 10 x 10 nodes under 600 x 520 pixels: tile edges at columns 3.84 and
  // 7.68 and rows 4.43 and 8.86; node (4, 4) empty.
  auto dtm = MakeTextured(10, 600, 520, 4, 4, 4, 4, Ramp);
  ASSERT_TRUE(dtm);
  const TextureTileMesh* a = dtm->GetTileMesh(0, 0);
  const TextureTileMesh* b = dtm->GetTileMesh(0, 1);
  const TextureTileMesh* last = dtm->GetTileMesh(2, 2);
  ASSERT_TRUE(a && b && last);
  const std::vector<float> ax = {0.0f, 1.0f, 2.0f, 3.0f, 256.0f / 600.0f * 9.0f};
  ASSERT_EQ(a->x.size(), ax.size());
  for (size_t k = 0; k < ax.size(); ++k) EXPECT_NEAR(a->x[k], ax[k], 1e-5) << k;
  EXPECT_EQ(b->x.front(), a->x.back());
  EXPECT_EQ(b->x[1], 4.0f);
  EXPECT_EQ(a->s.front(), 0.0f);
  EXPECT_EQ(a->s.back(), 1.0f);
  EXPECT_NEAR(a->s[3], 3.0f / a->x.back(), 1e-6);
  EXPECT_NEAR(last->s.back(), 88.0f / 256.0f, 1e-6);
  EXPECT_NEAR(last->t.back(), 8.0f / 256.0f, 1e-6);
  EXPECT_EQ(last->x.back(), 9.0f);
  EXPECT_EQ(last->y.back(), 9.0f);
  // Both tiles hold the same heights on their shared border, interpolated
  // between columns 3 and 4 (the ramp's codes), empty next to the gap.
  ASSERT_EQ(a->rows, b->rows);
  const double h3 = Ramp(0, 3, 10, 10), h4 = Ramp(0, 4, 10, 10);
  for (int r = 0; r < a->rows; ++r) {
    const unsigned short border = a->HeightRow(r)[a->cols - 1];
    EXPECT_EQ(border, b->HeightRow(r)[0]) << r;
    const bool nextToGap = a->y[r] > 3.0f && a->y[r] < 5.0f;
    if (nextToGap) {
      EXPECT_EQ(border, 0) << r;
    } else {
      EXPECT_EQ(border, static_cast<unsigned short>(h3 + (h4 - h3) * (a->x.back() - 3.0))) << r;
    }
  }
  // The whole-grid texture coordinates run to the low-resolution copy's edge.
  EXPECT_EQ(dtm->GetSCoords().back(), 1.0f);
  EXPECT_NEAR(dtm->GetTCoords()[9], 1.0f, 1e-6);
  EXPECT_EQ(dtm->SampleElevation(100.0f, -3.0f), Ramp(0, 9, 10, 10)) << "clamped to the grid";
}

TEST(TextureDTM, TileWalkStartsAtTheCentreTileAndCirclesOutwards) {
  // 5 x 5 tiles; the view centre over the middle tile.
  auto dtm = MakeTextured(33, 1280, 1280, 0, -1, 0, -1);
  ASSERT_TRUE(dtm);
  Sd_Node::SetDetailBudget(0.0f);
  ASSERT_EQ(dtm->Optimize(TopDown(*dtm)), 1);
  EXPECT_EQ(dtm->GetWalk().centreCol, 2);
  EXPECT_EQ(dtm->GetWalk().centreRow, 2);
  std::vector<std::pair<int, int>> walk;
  while (dtm->NextVisibleTile() == 0 && walk.size() < 100) {
    walk.emplace_back(dtm->GetWalk().tileCol, dtm->GetWalk().tileRow);
  }
  ASSERT_EQ(walk.size(), 25u);
  // Ring 1: the lower row left to right, the right column up, the upper row
  // right to left, the left column down.
  typedef std::vector<std::pair<int, int>> Tiles;
  const Tiles first = {{2, 2}, {2, 1}, {3, 1}, {3, 2}, {3, 3}, {2, 3}, {1, 3}, {1, 2}, {1, 1}};
  EXPECT_EQ(Tiles(walk.begin(), walk.begin() + 9), first);

  // With only the left half in view, tiles beyond it are skipped.
  ASSERT_EQ(dtm->Optimize(TopDown(*dtm, -0.5f, 0.0f)), 1);
  int visible = 0;
  while (dtm->NextVisibleTile() == 0 && visible < 100) {
    EXPECT_LE(dtm->GetWalk().tileCol, 2);
    ++visible;
  }
  EXPECT_EQ(visible, 15);
}

TEST(TextureDTM, ClassConfigurationModeTwoWithManyTilesAndDetailSettings) {
  orvanta_test::TempDir dir;
  {
    // The third line after the version line is the texture mode.
    FILE* f = fopen(dir.file("TextureDTMClass").c_str(), "w");
    ASSERT_TRUE(f);
    fputs("# textured terrains\n1.0\n# not skipped\n7\n3 tiles\n", f);
    fclose(f);
    orvanta_test::ScopedEnv configurations("WRUCONFIGURATIONS", dir.path().c_str());
    Sd_TextureDTM configured;
    EXPECT_EQ(configured.GetTextureMode(), 3);
  }
  auto dtm = MakeTextured(9, 1100, 1100, 0, -1, 0, -1);
  ASSERT_TRUE(dtm);
  // The object without its settings record: the class default, mode 2.
  SDWriter w(dir.file("many.sd"));
  ASSERT_EQ(dtm->SaveObject(w.Manager(), 0, 0), 0);
  ASSERT_TRUE(w.Close());
  auto read = ReadSD(dir.file("many.sd"));
  Sd_TextureDTM* t = read->Terrain<Sd_TextureDTM>(0);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->GetTextureMode(), 0) << "25 tiles";

  t->SetLODStep(6);
  t->SaveSettings();
  EXPECT_EQ(t->ResetSettings(), 1);
  EXPECT_EQ(t->GetLODStep(), 1);
  EXPECT_EQ(t->GetTextureMode(), 1);
  EXPECT_EQ(t->GetAutoLOD(), 0);
  t->RestoreSettings();
  EXPECT_EQ(t->GetLODStep(), 6);
  EXPECT_EQ(t->GetTextureMode(), 0);

  // An RGBA drape made opaque: every alpha byte 255, colours kept.
  const unsigned char rgba[8] = {10, 20, 30, 0, 40, 50, 60, 7};
  std::unique_ptr<Sv_ImageIO> image(new Sv_ImageIO());
  ASSERT_EQ(image->SetData(2, 1, rgba, 2), 0);
  ASSERT_EQ(t->SetImage(std::move(image)), 0);
  t->MakeImageOpaque();
  const unsigned char opaque[8] = {10, 20, 30, 255, 40, 50, 60, 255};
  EXPECT_EQ(memcmp(t->GetImage()->GetData(), opaque, 8), 0);
}

TEST(TextureDTM, DamagedOrMissingRecordsAreRefusedWithTheirMessages) {
  orvanta_test::TempDir dir;
  auto dtm = MakeTextured(9, 300, 200, 0, -1, 0, -1);
  ASSERT_TRUE(dtm);
  auto next = MakeSonar(5, 5);
  // Writes the object's records one by one, leaving out or replacing one.
  auto write = [&](const std::string& name, int skip, bool hugeImage) {
    SDWriter w(dir.file(name));
    TDR_Manager* m = w.Manager();
    bool ok = m->WriteTag(TDR_TAG_SD_TEXTUREDTM, 1, 0, 0, 1) == 0 && m->EndTag() == 0;
    if (hugeImage) {
      // An image record whose sizes claim far more pixels than it holds.
      TDR_Scalar s;
      s.SetNumDimensions(3);
      s.SetDimension(1, 3);
      s.SetDimension(2, 100000);
      s.SetDimension(3, 100000);
      s.SetDataType(TDR_TYPE_CHAR);
      ok = ok && m->WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1) == 0 && s.Write(m) == 0 &&
           TDR_PayloadWriter(m).Int32(1) && m->EndTag() == 0;
    } else if (skip != 0) {
      ok = ok && const_cast<Sv_ImageIO*>(dtm->GetImage())->SaveToTDR(m) == 0;
    }
    if (skip != 1) ok = ok && dtm->Sd_Node::WriteCommonTags(m) == 0;
    if (skip != 2) w.Elevations(dtm.get()).Colors(dtm.get());
    if (skip != 3) ok = ok && dtm->Sd_Node::WriteCommonTags(m) == 0;
    w.Object(next.get());
    EXPECT_TRUE(ok);
    return w.Close();
  };
  struct Case {
    const char* name;
    int skip;
    bool huge;
    const char* message;
  };
  const Case cases[] = {{"no-image.sd", 0, false, "Error loading texturedtm object."},
                        {"huge-image.sd", -1, true, "Error loading texturedtm object."},
                        {"no-image-georef.sd", 1, false, "ERROR: expected TDR_TAG_GEOREF!"},
                        {"no-heights.sd", 2, false, "ERROR: 2 Reading TDR file for loading  -  expected TDR_TAG_SCALAR!"},
                        {"no-grid-georef.sd", 3, false, "LoadDTM:ERROR:  expected TDR_TAG_GEOREF!"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(write(c.name, c.skip, c.huge));
    Messages messages;
    auto read = ReadSD(dir.file(c.name));
    EXPECT_TRUE(messages.Contains(c.message)) << messages.All();
    EXPECT_EQ(read->Terrain<Sd_TextureDTM>(0), nullptr);
    EXPECT_NE(read->Terrain<Sd_SonarDTM>(read->children.size() - 1), nullptr) << "the next object loads";
  }
  // A 16-bit image cannot be a texture.
  std::unique_ptr<Sv_ImageIO> deep(new Sv_ImageIO());
  ASSERT_EQ(deep->Allocate(4, 4, 8), 0);
  EXPECT_EQ(dtm->SetImage(std::move(deep)), -1);
  EXPECT_EQ(dtm->GetTexture(), nullptr);
}
