// Terrain base class: grids, their records, shading and the visible window.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "DTMTestSupport.h"
#include "Sd_BaseDTM.h"
#include "Sv_Debug.h"
#include "Sv_Matrix4.h"
#include "TestSupport.h"

using dtm_test::OpenAtFirstTag;
using dtm_test::SDWriter;
using orvanta_test::ScopedEnv;
using orvanta_test::TempDir;

namespace {

// A terrain class that can pose as the contoured DTM (type 26), whose grids
// belong to another DTM.
class TestDTM : public Sd_BaseDTM {
 public:
  void SetTypeId(int type) { SetType(type); }
};

unsigned short Diagonal(int r, int c, int, int) { return static_cast<unsigned short>(1000 * r + c); }

// Writes an elevation and a colour record of dtm in the given byte order.
bool WriteGrids(const std::string& path, Sd_BaseDTM* dtm, int byteOrder) {
  SDWriter w(path, byteOrder);
  w.Elevations(dtm).Colors(dtm);
  return w.Close();
}

// Column-major matrices for the view tests.
void Identity(float m[16]) {
  for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}
void Ortho(float m[16], float l, float r, float b, float t, float n, float f) {
  Identity(m);
  m[0] = 2.0f / (r - l);
  m[5] = 2.0f / (t - b);
  m[10] = -2.0f / (f - n);
  m[12] = -(r + l) / (r - l);
  m[13] = -(t + b) / (t - b);
  m[14] = -(f + n) / (f - n);
}
// Grid space of a rows x cols grid in the unit box centred on the origin.
void GridSpace(float m[16], int rows, int cols, int maxCode) {
  Identity(m);
  m[0] = 1.0f / (cols - 1);
  m[5] = 1.0f / (rows - 1);
  m[10] = 1.0f / maxCode;
  m[12] = m[13] = m[14] = -0.5f;
}
Sd_DTMView OrthoView(const Sd_BaseDTM& dtm, float l, float r, float b, float t) {
  Sd_DTMView v;
  Ortho(v.projection, l, r, b, t, -2.0f, 2.0f);
  GridSpace(v.modelview, dtm.GetRows(), dtm.GetCols(), dtm.GetMaxCode());
  v.viewport[0] = v.viewport[1] = 0;
  v.viewport[2] = v.viewport[3] = 256;
  return v;
}

struct DetailBudget {
  explicit DetailBudget(float budget) : old(Sd_Node::GetDetailBudget()) { Sd_Node::SetDetailBudget(budget); }
  ~DetailBudget() {
    Sd_Node::SetDetailBudget(old);
    Sd_Node::SetDetailFlags(0);
  }
  float old;
};

}  // namespace

TEST(BaseDTM, CreateGridsChecksSizesAndReplacesOldGrids) {
  TestDTM dtm;
  EXPECT_EQ(dtm.CreateGrids(0, 5), -1);
  EXPECT_EQ(dtm.CreateGrids(5, -1), -1);
  EXPECT_EQ(dtm.CreateGrids(Sd_BaseDTM::kMaxGridSide + 1, 2), -1);
  EXPECT_EQ(dtm.GetElevationGrid(), nullptr);
  EXPECT_EQ(dtm.GetColorGrid(), nullptr);

  ASSERT_EQ(dtm.CreateGrids(3, 4), 0);
  EXPECT_EQ(dtm.GetRows(), 3);
  EXPECT_EQ(dtm.GetCols(), 4);
  dtm.GetElevationGrid()[2][3] = 77;
  dtm.GetColorGrid()[2][3] = 0xAABBCCDD;
  ASSERT_NE(dtm.GetElevationRow(2), nullptr);
  EXPECT_EQ(dtm.GetElevationRow(2)[3], 77);
  EXPECT_EQ(dtm.GetElevationRow(3), nullptr);

  // Another size: the old grids go, and everything is of the new size.
  ASSERT_EQ(dtm.CreateColorGrid(2, 2), 0);
  EXPECT_EQ(dtm.GetElevationGrid(), nullptr);
  EXPECT_EQ(dtm.GetRows(), 2);
  ASSERT_EQ(dtm.CreateElevationGrid(2, 2), 0);
  EXPECT_NE(dtm.GetColorGrid(), nullptr) << "a grid of the same size stays";
}

TEST(BaseDTM, GetCellRefusesNodesOutsideTheGrid) {
  TestDTM dtm;
  ASSERT_EQ(dtm.CreateGrids(3, 4), 0);
  dtm.GetElevationGrid()[1][2] = 12;
  dtm.GetColorGrid()[1][2] = 34;
  unsigned short code = 9;
  unsigned colour = 9;
  for (auto rc : {std::make_pair(-1, 0), std::make_pair(3, 0), std::make_pair(0, -1), std::make_pair(0, 4)}) {
    EXPECT_EQ(dtm.GetCell(rc.first, rc.second, &code, &colour), -1);
  }
  EXPECT_EQ(code, 9);
  EXPECT_EQ(colour, 9u);
  EXPECT_EQ(dtm.GetCell(1, 2, &code, &colour), 0);
  EXPECT_EQ(code, 12);
  EXPECT_EQ(colour, 34u);
}

TEST(BaseDTM, CreateSurfaceBuildsAGreyGridFromAFunction) {
  TestDTM dtm;
  {
    dtm_test::Messages messages;
    dtm.CreateSurface(10, 5, 0.0, Diagonal);
    EXPECT_TRUE(messages.Contains("Error: Sd_BaseDTM::CreateSurface: cell size is 0!")) << messages.All();
    EXPECT_EQ(dtm.GetElevationGrid(), nullptr);
    dtm.CreateSurface(10, 5, -2.0, Diagonal);
    EXPECT_EQ(dtm.GetElevationGrid(), nullptr);
  }
  dtm.CreateSurface(10, 5, 2.0, [](int r, int c, int, int) -> unsigned short { return r == 1 && c == 4 ? 65535 : 257 * c; });
  ASSERT_EQ(dtm.GetRows(), 2);
  ASSERT_EQ(dtm.GetCols(), 5);
  EXPECT_EQ(dtm.GetMaxCode(), 65535);
  EXPECT_EQ(dtm.GetColorGrid()[1][4], PackColour(255, 255, 255, 255));
  EXPECT_EQ(dtm.GetColorGrid()[0][3], PackColour(3, 3, 3, 255));
}

TEST(BaseDTM, FreeDataIsRepeatableAndSparesGridsOfAnotherDTM) {
  TestDTM dtm;
  ASSERT_EQ(dtm.CreateGrids(3, 4), 0);
  dtm.SetTypeId(26);
  {
    dtm_test::Messages messages;
    dtm.FreeData();
    EXPECT_TRUE(messages.Contains("Noted! don't deleted alias DTM data!")) << messages.All();
  }
  EXPECT_NE(dtm.GetElevationGrid(), nullptr);
  dtm.SetTypeId(11);
  dtm.FreeData();
  dtm.FreeData();
  EXPECT_EQ(dtm.GetElevationGrid(), nullptr);
  EXPECT_EQ(dtm.GetColorGrid(), nullptr);
  EXPECT_EQ(dtm.GetRows(), 0);
  EXPECT_EQ(dtm.GetElevationRow(0), nullptr);
}

TEST(BaseDTM, GridRecordsRoundTripInBothByteOrders) {
  TempDir dir;
  for (int order : {1, 0}) {
    SCOPED_TRACE(order);
    TestDTM out;
    ASSERT_EQ(out.CreateGrids(3, 5), 0);
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 5; ++c) {
        out.GetElevationGrid()[r][c] = Diagonal(r, c, 3, 5);
        out.GetColorGrid()[r][c] = 0x01020304u * (r + 1) + c;
      }
    }
    out.SetCodeRange(7, 2004);
    const std::string path = dir.file("grids.tdr");
    ASSERT_TRUE(WriteGrids(path, &out, order));

    int tag = 0;
    auto m = OpenAtFirstTag(path, &tag);
    ASSERT_TRUE(m);
    ASSERT_EQ(tag, TDR_TAG_SCALAR);
    TestDTM in;
    ASSERT_EQ(in.LoadElevations(m.get()), 0);
    ASSERT_EQ(m->ReadTag(nullptr), TDR_TAG_SCALAR);
    ASSERT_EQ(in.LoadColors(m.get()), 0);
    EXPECT_EQ(m->ReadTag(nullptr), TDR_TAG_EOF);
    EXPECT_EQ(in.GetMinCode(), 7);
    EXPECT_EQ(in.GetMaxCode(), 2004);
    ASSERT_EQ(in.GetRows(), 3);
    ASSERT_EQ(in.GetCols(), 5);
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(in.GetElevationGrid()[r][c], out.GetElevationGrid()[r][c]);
        EXPECT_EQ(in.GetColorGrid()[r][c], out.GetColorGrid()[r][c]);
      }
    }
  }
}

TEST(BaseDTM, ElevationRecordsThatAreNotUnsignedShortGridsAreRefused) {
  TempDir dir;
  const std::string path = dir.file("bad.tdr");
  // A SHORT grid, a 3-D grid and a grid without its two code words.
  struct Case {
    int type;
    int dims;
    int extra;  // bytes after the descriptor beyond the rows
    const char* message;
  };
  const Case cases[] = {{TDR_TYPE_SHORT, 2, 4, "expected type unsigned short!"},
                        {TDR_TYPE_USHORT, 3, 4, "not a grid"},
                        {TDR_TYPE_USHORT, 2, 0, "shorter than its grid"}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.message);
    {
      SDWriter w(path);
      const std::string data(static_cast<size_t>(k.extra + 2 * 4 * 3 * (k.dims == 3 ? 2 : 1)), '\x01');
      if (k.dims == 3) {
        w.Scalar(k.type, {4, 3, 2}, data);
      } else {
        w.Scalar(k.type, {4, 3}, data);
      }
      ASSERT_TRUE(w.Close());
    }
    int tag = 0;
    auto m = OpenAtFirstTag(path, &tag);
    ASSERT_TRUE(m);
    TestDTM dtm;
    dtm_test::Messages messages;
    EXPECT_EQ(dtm.LoadElevations(m.get()), -1);
    EXPECT_TRUE(messages.Contains(k.message)) << messages.All();
    EXPECT_EQ(dtm.GetElevationGrid(), nullptr);
    EXPECT_EQ(dtm.GetRows(), 0);
    EXPECT_EQ(m->ReadTag(nullptr), TDR_TAG_EOF) << "reading goes on after the record";
  }
}

// --- shading ---

namespace {

struct ProgressLog {
  std::vector<int> rows;
  Sd_BaseDTM* cancelIn = nullptr;
  int cancelAt = -1;
  static void Hook(int a, int, void* data) {
    ProgressLog* log = static_cast<ProgressLog*>(data);
    log->rows.push_back(a);
    if (log->cancelIn && a == log->cancelAt) log->cancelIn->SetCancel(1);
  }
};

struct ProgressHook {
  explicit ProgressHook(ProgressLog* log) { Sd_Node::SetProgressHook(ProgressLog::Hook, log); }
  ~ProgressHook() { Sd_Node::SetProgressHook(nullptr, nullptr); }
};

}  // namespace

TEST(BaseDTM, ShadingSweepsWithTheSunAndStopsWhenCancelled) {
  TempDir dir;
  ASSERT_TRUE(dtm_test::WriteFlatColormap(dir.file("red.cmap"), 200, 0, 0));
  auto dtm = dtm_test::MakeDTM(5, 6, [](int, int, int, int) -> unsigned short { return 40000; });
  ASSERT_TRUE(dtm);
  ProgressLog log;
  ProgressHook hook(&log);
  dtm->ShadeWithColorMap(-0.5f, 0.5f, 0.1f, 0.2f, 0.6f, 0.3f, 0.0, 1.0, dir.file("red.cmap").c_str());
  EXPECT_EQ(log.rows, (std::vector<int>{4, 3, 2, 1, 0}));
  EXPECT_EQ(dtm->GetShadeRow(), 0);
  const float* p = dtm->GetShadingParameters();
  EXPECT_FLOAT_EQ(p[0], -0.5f);
  EXPECT_FLOAT_EQ(p[5], 0.3f);
  EXPECT_EQ(dtm->GetColorGrid()[3][2], PackColour(200, 0, 0, 255)) << "flat ground keeps the map colour";

  // Cancelled after row 1 of an upward sweep: rows 2 ... stay as they were.
  for (int r = 0; r < 5; ++r) dtm->GetColorGrid()[r][0] = 1u;
  log = ProgressLog();
  log.cancelIn = dtm.get();
  log.cancelAt = 1;
  dtm->ShadeWithColorMap(0.5f, 0.5f, 0.1f, 0.2f, 0.6f, 0.3f, 0.0, 1.0, dir.file("red.cmap").c_str());
  EXPECT_EQ(log.rows, (std::vector<int>{0, 1}));
  EXPECT_EQ(dtm->GetColorGrid()[1][0], PackColour(200, 0, 0, 255));
  EXPECT_EQ(dtm->GetColorGrid()[2][0], 1u);
  EXPECT_EQ(dtm->GetColorGrid()[4][0], 1u);
}

TEST(BaseDTM, ShadingUsesTheDefaultColourMapUnderWRUHOME) {
  TempDir dir;
  ASSERT_EQ(system(("mkdir -p " + dir.file("cmaps")).c_str()), 0);
  ASSERT_TRUE(dtm_test::WriteFlatColormap(dir.file("cmaps/step16.cmap"), 0, 90, 0));
  auto dtm = dtm_test::MakeDTM(4, 4, [](int, int, int, int) -> unsigned short { return 123; });
  {
    ScopedEnv home("WRUHOME", dir.path().c_str());
    dtm->ShadeWithColorMap(0.78f, 0.5f, 0.1f, 0.1f, 0.5f, 0.35f, 0.0, 1.0, nullptr);
    EXPECT_EQ(dtm->GetColorGrid()[2][2], PackColour(0, 90, 0, 255));
  }
  // Without WRUHOME the map cannot be found: reported, and the built-in grey
  // ramp is used.
  ScopedEnv noHome("WRUHOME", nullptr);
  Sv_Debug::ForgetReported();
  dtm_test::Messages messages;
  dtm->ShadeWithColorMap(0.78f, 0.5f, 0.1f, 0.1f, 0.5f, 0.35f, 0.0, 1.0, nullptr);
  EXPECT_TRUE(messages.Contains("WRUHOME is not set")) << messages.All();
  EXPECT_EQ(dtm->GetColorGrid()[2][2], PackColour(0, 0, 0, 255)) << "code 123: grey index 0";
}

// --- the visible window and the stride ---

TEST(BaseDTM, WholeGridInViewWithoutAutomaticDetailKeepsTheStride) {
  auto dtm = dtm_test::MakeDTM(101, 201);
  DetailBudget budget(0.0f);
  ASSERT_EQ(dtm->Optimize(OrthoView(*dtm, -0.5f, 0.5f, -0.5f, 0.5f)), 1);
  int c0, c1, r0, r1;
  dtm->GetWindow(&c0, &c1, &r0, &r1);
  EXPECT_EQ(c0, 0);
  EXPECT_EQ(c1, 201);
  EXPECT_EQ(r0, 0);
  EXPECT_EQ(r1, 101);
  EXPECT_EQ(dtm->GetLODStep(), 10);
  EXPECT_EQ(dtm->GetMinStep(), 1);
  EXPECT_EQ(dtm->GetUpRow(), 50) << "the view centre";
  EXPECT_EQ(dtm->GetDownRow(), 50);
}

TEST(BaseDTM, WindowFollowsThePartInViewAlignedToTheStride) {
  auto dtm = dtm_test::MakeDTM(101, 201);
  DetailBudget budget(0.0f);
  // Columns 100.5 ... 200 and rows 19.5 ... 80.5 are in view.
  ASSERT_EQ(dtm->Optimize(OrthoView(*dtm, 0.0025f, 0.5f, -0.305f, 0.305f)), 1);
  int c0, c1, r0, r1;
  dtm->GetWindow(&c0, &c1, &r0, &r1);
  EXPECT_EQ(c0, 100);
  EXPECT_EQ(c1, 201);
  EXPECT_EQ(r0, 10) << "row 19 lowered to a multiple of the stride";
  EXPECT_EQ(r1, 92) << "ceil(80.5) + 1, then one stride more";
  EXPECT_EQ(dtm->GetUpRow(), 50);
}

TEST(BaseDTM, NothingInViewLeavesTheWindowAsItWas) {
  auto dtm = dtm_test::MakeDTM(101, 201);
  DetailBudget budget(0.0f);
  ASSERT_EQ(dtm->Optimize(OrthoView(*dtm, -0.5f, 0.5f, -0.5f, 0.5f)), 1);
  dtm_test::Messages messages;
  EXPECT_EQ(dtm->Optimize(OrthoView(*dtm, 2.0f, 3.0f, -0.5f, 0.5f)), 0);
  EXPECT_TRUE(messages.Contains("Optimize: No bounds!: Giving up.")) << messages.All();
  int c0, c1;
  dtm->GetWindow(&c0, &c1, nullptr, nullptr);
  EXPECT_EQ(c0, 0);
  EXPECT_EQ(c1, 201);
}

TEST(BaseDTM, AutomaticDetailChoosesTheStrideFromTheBudget) {
  auto dtm = dtm_test::MakeDTM(2049, 2049, [](int, int, int, int) -> unsigned short { return 1; });
  const Sd_DTMView view = OrthoView(*dtm, -0.5f, 0.5f, -0.5f, 0.5f);
  {
    DetailBudget budget(25000.0f);
    ASSERT_EQ(dtm->Optimize(view), 1);
    // q = 25000 / 2049^2: 1 / sqrt(q) = 12.96, step 8 raised by half to 12;
    // a 256 x 256 view of 2049^2 nodes needs no finer stride than 2.
    EXPECT_EQ(dtm->GetLODStep(), 12);
    EXPECT_EQ(dtm->GetMinStep(), 2);
    EXPECT_EQ(Sd_Node::GetDetailFlags(), 3u);
    int c0, c1;
    dtm->GetWindow(&c0, &c1, nullptr, nullptr);
    EXPECT_EQ(c0 % 12, 0);
    EXPECT_EQ(c1, 2049);
  }
  {
    DetailBudget budget(1e9f);
    ASSERT_EQ(dtm->Optimize(view), 1);
    EXPECT_EQ(dtm->GetLODStep(), 2) << "never finer than the least stride";
  }
  {
    DetailBudget budget(25000.0f);
    dtm->SetLODStep(5);
    dtm->SetAutoLOD(0);
    ASSERT_EQ(dtm->Optimize(view), 1);
    EXPECT_EQ(dtm->GetLODStep(), 5) << "automatic detail off keeps the stored stride";
    EXPECT_EQ(dtm->GetMinStep(), 1);
  }
}

TEST(BaseDTM, ViewCentreRowIsKeptWithinTheGrid) {
  auto dtm = dtm_test::MakeDTM(11, 11);
  float p[16], m[16], pm[16], inv[16];
  Ortho(p, -0.5f, 0.5f, -0.5f, 0.5f, -2.0f, 2.0f);
  // The view looks at a point above the grid's top edge.
  GridSpace(m, 11, 11, 65535);
  m[13] -= 0.8f;
  MultMatrix4(pm, p, m);
  InvertMatrix4(inv, pm);
  EXPECT_EQ(dtm->GetViewCentreRow(p, inv), 10);
  float row = 0, col = 0;
  dtm->GetViewCentre(p, inv, &row, &col);
  EXPECT_NEAR(row, 13.0f, 1e-3);
  EXPECT_NEAR(col, 5.0f, 1e-3);
}

TEST(BaseDTM, TheFramesViewAndBudgetReachTheWindowWithoutOpenGL) {
  auto dtm = dtm_test::MakeDTM(2049, 2049, [](int, int, int, int) -> unsigned short { return 1; });
  const Sd_DTMView view = OrthoView(*dtm, 0.0f, 0.5f, -0.5f, 0.5f);
  Sd_FrameState& frame = Sd_Node::FrameState();
  const Sd_FrameState saved = frame;
  frame.view = &view;
  Sd_Node::SetDetailFlags(8u);
  Sd_Node::BeginFrame(25000.0f);
  EXPECT_EQ(Sd_Node::GetDetailFlags(), 0u) << "a frame starts with no detail requests";
  ASSERT_EQ(dtm->Optimize(), 1) << "no OpenGL context is current: the fixed view is used";
  int c0, c1;
  dtm->GetWindow(&c0, &c1, nullptr, nullptr);
  EXPECT_GE(c0, 1000);
  EXPECT_EQ(c1, 2049);
  EXPECT_EQ(Sd_Node::GetDetailFlags(), 3u);
  frame = saved;
}
