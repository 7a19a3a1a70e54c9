#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Sd_Node.h"
#include "Sv_Matrix4.h"

namespace {

// Detail step for q = factor * size / cells = q (size 1, cells 1000).
int StepFor(double q, int mode, unsigned* flags = nullptr) {
  int step = -1;
  Sd_Node::ChooseDetailLevel(&step, nullptr, 1.0f, 1000, 0, 0, static_cast<float>(q * 1000.0), flags, mode);
  return step;
}

std::string Label(const Sd_BoxLabelLayout& layout, int axis, int i) {
  char text[64];
  Sd_Node::FormatBoxLabel(&layout, axis, i, text, sizeof(text));
  return text;
}

// Column-major matrices.
void Identity(float m[16]) {
  for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

// x, y, z scaled by s[] and then moved by t[].
void ScaleTranslate(float m[16], const float s[3], const float t[3]) {
  Identity(m);
  for (int a = 0; a < 3; ++a) {
    m[a * 5] = s[a];
    m[12 + a] = t[a];
  }
}

// glFrustum(l, r, b, t, n, f), column-major.
void Frustum(float m[16], float l, float r, float b, float t, float n, float f) {
  for (int i = 0; i < 16; ++i) m[i] = 0.0f;
  m[0] = 2 * n / (r - l);
  m[5] = 2 * n / (t - b);
  m[8] = (r + l) / (r - l);
  m[9] = (t + b) / (t - b);
  m[10] = -(f + n) / (f - n);
  m[11] = -1.0f;
  m[14] = -2 * f * n / (f - n);
}

void ExpectBox(const float got[6], std::vector<float> want, float tol) {
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], want[i], tol) << "element " << i;
}

}  // namespace

// --- level of detail ---

TEST(DetailLevel, WorkedExamplesAndLimits) {
  unsigned flags = 0;
  // q = 0.25: mode 1 takes log2(1/q) = 2, mode 0 log2(1/sqrt(q)) = 1.
  EXPECT_EQ(StepFor(0.25, 1, &flags), 4);
  EXPECT_EQ(flags, 3u) << "below the largest step and above 1";
  EXPECT_EQ(StepFor(0.25, 0), 2);
  // The same q from other factors of the product.
  int step = 0;
  Sd_Node::ChooseDetailLevel(&step, nullptr, 0.5f, 200, 0, 0, 100.0f, nullptr, 1);
  EXPECT_EQ(step, 4);

  flags = 0;
  EXPECT_EQ(StepFor(1.0, 1, &flags), 1);
  EXPECT_EQ(flags, 2u) << "full detail: only less detail is possible";
  EXPECT_EQ(StepFor(5.0, 0), 1);

  flags = 0;
  EXPECT_EQ(StepFor(0.00005, 1, &flags), 1024);
  EXPECT_EQ(flags, 1u) << "coarsest step: only more detail is possible";
  EXPECT_EQ(StepFor(0.00005, 0), 128);

  // Half steps between powers of two: L = 2.7 lies above log2(6).
  EXPECT_EQ(StepFor(std::exp2(-2.7), 1), 6);
  EXPECT_EQ(StepFor(std::exp2(-5.4), 0), 6);
  EXPECT_EQ(StepFor(std::exp2(-2.5), 1), 4) << "2.5 is below log2(6)";
  // Half of the finest step is truncated to an integer stride.
  EXPECT_EQ(StepFor(std::exp2(-0.7), 1), 1);

  // No cells: nothing to thin. Existing flag bits are kept.
  flags = 0x10;
  Sd_Node::ChooseDetailLevel(&step, nullptr, 1.0f, 0, 0, 0, 1.0f, &flags, 1);
  EXPECT_EQ(step, 1);
  EXPECT_EQ(flags, 0x12u);
  // Not-a-number detail budgets pick the coarsest step instead of an
  // undefined conversion.
  EXPECT_EQ(StepFor(std::numeric_limits<double>::quiet_NaN(), 0), 128);
  Sd_Node::ChooseDetailLevel(nullptr, nullptr, 1.0f, 10, 0, 0, 1.0f, nullptr, 0);
}

TEST(DetailLevel, StepNeverExceedsTheLargestAndGrowsAsTheBoxShrinks) {
  for (int mode = 0; mode <= 1; ++mode) {
    const int largest = mode == 1 ? 1024 : 128;
    int previous = 1;
    for (double q = 2.0; q > 1e-6; q *= 0.93) {
      const int step = StepFor(q, mode);
      EXPECT_GE(step, previous) << "mode " << mode << " q " << q;
      EXPECT_LE(step, largest) << "mode " << mode << " q " << q;
      previous = step;
    }
    EXPECT_EQ(previous, largest);
  }
}

TEST(DetailLevel, MinimumStepRaisesTheStep) {
  // q2 = width * size * height * 8 / cells = 100 * 0.25 * 100 * 8 / 80000 = 0.25;
  // factor 1e9 makes q >= 1, so the step alone would be 1.
  int step = 0, least = 0;
  unsigned flags = 0;
  Sd_Node::ChooseDetailLevel(&step, &least, 0.25f, 80000, 100, 100, 1e9f, &flags, 0);
  EXPECT_EQ(least, 2);
  EXPECT_EQ(step, 2);
  EXPECT_EQ(flags, 2u) << "the step equals the minimum: no finer detail possible";
  Sd_Node::ChooseDetailLevel(&step, &least, 0.25f, 80000, 100, 100, 1e9f, nullptr, 1);
  EXPECT_EQ(least, 4);
  EXPECT_EQ(step, 4);

  // A coarse step stays above the minimum and asks for more detail.
  flags = 0;
  Sd_Node::ChooseDetailLevel(&step, &least, 0.25f, 80000, 100, 100, 0.00001f, &flags, 0);
  EXPECT_EQ(least, 2);
  EXPECT_EQ(step, 128);
  EXPECT_EQ(flags, 1u);

  // Tiny coverage: the minimum is 64; plenty of pixels: 1.
  Sd_Node::ChooseDetailLevel(&step, &least, 1e-9f, 80000, 100, 100, 1e9f, nullptr, 0);
  EXPECT_EQ(least, 64);
  Sd_Node::ChooseDetailLevel(&step, &least, 1.0f, 10, 100, 100, 1e9f, nullptr, 0);
  EXPECT_EQ(least, 1);
  EXPECT_EQ(step, 1);
  // In the one-dimensional mode the minimum stays within 64 as well.
  Sd_Node::ChooseDetailLevel(&step, &least, 0.0002f, 80000, 100, 100, 1e9f, nullptr, 1);
  EXPECT_EQ(least, 64);
}

TEST(DetailLevel, NeedsReduction) {
  unsigned flags = 0;
  EXPECT_EQ(Sd_Node::NeedsReduction(1.0f, 200, 200, 200, 200, 1.0f, &flags), 2);
  EXPECT_EQ(flags, 0u);
  // 1000 x 1000 viewport, a 100 x 100 grid: q = factor / 156.25.
  EXPECT_EQ(Sd_Node::NeedsReduction(1.0f, 100, 100, 1000, 1000, 400.0f, &flags), 1);
  EXPECT_EQ(flags, 2u);
  flags = 0;
  EXPECT_EQ(Sd_Node::NeedsReduction(1.0f, 100, 100, 1000, 1000, 312.5f, &flags), 1) << "q = 2 exactly";
  flags = 0;
  EXPECT_EQ(Sd_Node::NeedsReduction(1.0f, 100, 100, 1000, 1000, 100.0f, &flags), 0);
  EXPECT_EQ(flags, 1u);
  EXPECT_EQ(Sd_Node::NeedsReduction(1.0f, 100, 100, 1000, 1000, 100.0f, nullptr), 0);
  // Grid sizes whose product overflows 32 bits, and an empty grid.
  EXPECT_EQ(Sd_Node::NeedsReduction(1.0f, 100000, 100000, 1000, 1000, 1e6f, nullptr), 0);
  EXPECT_EQ(Sd_Node::NeedsReduction(1.0f, 0, 100, 1000, 1000, 1.0f, nullptr), 1);
}

TEST(DetailLevel, AlignRangeToStep) {
  int start = 13, end = 40;
  Sd_Node::AlignRangeToStep(&start, &end, 4, 42);
  EXPECT_EQ(start, 12);
  EXPECT_EQ(end, 42);
  start = 13;
  end = 20;
  Sd_Node::AlignRangeToStep(&start, &end, 4, 100);
  EXPECT_EQ(start, 12);
  EXPECT_EQ(end, 24);
  start = 16;
  end = 20;
  Sd_Node::AlignRangeToStep(&start, &end, 8, 100);
  EXPECT_EQ(start, 16) << "a multiple stays";
  for (int step : {1, 0, -3}) {
    start = 13;
    end = 40;
    Sd_Node::AlignRangeToStep(&start, &end, step, 42);
    EXPECT_EQ(start, 13);
    EXPECT_EQ(end, 40);
  }
  Sd_Node::AlignRangeToStep(nullptr, &end, 4, 42);
}

TEST(DetailLevel, EstimateScreenSizeMultipliesTheTwoLongestProjections) {
  float m[16];
  Identity(m);
  const float unit[6] = {-0.5f, 0.5f, -0.5f, 0.5f, -0.5f, 0.5f};
  EXPECT_FLOAT_EQ(Sd_Node::EstimateScreenSize(m, unit), 0.25f);
  const float full[6] = {-1, 1, -1, 1, -1, 1};
  EXPECT_FLOAT_EQ(Sd_Node::EstimateScreenSize(m, full), 1.0f);
  const float huge[6] = {-10, 10, -10, 10, -10, 10};
  EXPECT_FLOAT_EQ(Sd_Node::EstimateScreenSize(m, huge), 1.0f) << "limited to the whole viewport";

  // A slab thin in y: seen from above x and y count (1 x 0.1), z not at all.
  const float slab[6] = {0, 1, 0, 0.1f, 0, 1};
  EXPECT_FLOAT_EQ(Sd_Node::EstimateScreenSize(m, slab), 0.025f);
  // Turned 90 degrees about x, its z extent faces the viewer: 1 x 1.
  float turn[16];
  Identity(turn);
  turn[5] = 0.0f;
  turn[6] = 1.0f;
  turn[9] = -1.0f;
  turn[10] = 0.0f;
  EXPECT_FLOAT_EQ(Sd_Node::EstimateScreenSize(turn, slab), 0.25f);
  const float s[3] = {0.5f, 0.5f, 0.5f}, t[3] = {0.3f, 0, 0};
  ScaleTranslate(m, s, t);
  EXPECT_FLOAT_EQ(Sd_Node::EstimateScreenSize(m, unit), 0.0625f);
}

// --- visible box ---

TEST(VisibleBox, FullyInViewFullyOutAndHalfIn) {
  float fwd[16], inv[16], out[6];
  Identity(fwd);
  Identity(inv);
  const float inside[6] = {-0.5f, 0.25f, -0.2f, 0.5f, -1.0f, 1.0f};
  ASSERT_EQ(Sd_Node::ComputeVisibleBox(fwd, inv, inside, out), 1);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], inside[i]);

  const float away[6] = {5, 6, -0.5f, 0.5f, -0.5f, 0.5f};
  EXPECT_EQ(Sd_Node::ComputeVisibleBox(fwd, inv, away, out), 0);

  // An orthographic view of x 0 ... 2 cuts the box at x = 0.
  const float one[3] = {1, 1, 1}, left[3] = {-1, 0, 0}, right[3] = {1, 0, 0};
  ScaleTranslate(fwd, one, left);
  ScaleTranslate(inv, one, right);
  const float wide[6] = {-1, 1, -0.5f, 0.5f, -0.5f, 0.5f};
  ASSERT_EQ(Sd_Node::ComputeVisibleBox(fwd, inv, wide, out), 1);
  ExpectBox(out, {0, 1, -0.5f, 0.5f, -0.5f, 0.5f}, 1e-6f);

  // Without a usable inverse the whole box counts as visible.
  float zero[16] = {};
  ASSERT_EQ(Sd_Node::ComputeVisibleBox(fwd, zero, wide, out), 1);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], wide[i]);
}

TEST(VisibleBox, BoxesCrossingTheViewWithoutCornersInIt) {
  float fwd[16], inv[16], out[6];
  Identity(fwd);
  Identity(inv);
  // A rod through the view: no corner in view, two faces of the view cube cut.
  const float rod[6] = {-10, 10, -0.1f, 0.1f, -0.1f, 0.1f};
  ASSERT_EQ(Sd_Node::ComputeVisibleBox(fwd, inv, rod, out), 1);
  ExpectBox(out, {-1, 1, -0.1f, 0.1f, -0.1f, 0.1f}, 1e-6f);

  // The view volume inside the box: the view volume itself.
  const float s4[3] = {4, 4, 4}, s14[3] = {0.25f, 0.25f, 0.25f}, none[3] = {0, 0, 0};
  ScaleTranslate(fwd, s4, none);
  ScaleTranslate(inv, s14, none);
  const float big[6] = {-10, 10, -10, 10, -10, 10};
  ASSERT_EQ(Sd_Node::ComputeVisibleBox(fwd, inv, big, out), 1);
  ExpectBox(out, {-0.25f, 0.25f, -0.25f, 0.25f, -0.25f, 0.25f}, 1e-6f);
}

TEST(VisibleBox, PerspectiveViewClipsAtTheSidePlanes) {
  // 90 degree frustum from the origin down -z, near 1, far 100: at depth d
  // the view spans -d ... d in x and y.
  float fwd[16], inv[16], out[6];
  Frustum(fwd, -1, 1, -1, 1, 1, 100);
  ASSERT_EQ(InvertMatrix4(inv, fwd), 0);
  const float box[6] = {0, 20, -1, 1, -6, -4};
  ASSERT_EQ(Sd_Node::ComputeVisibleBox(fwd, inv, box, out), 1);
  ExpectBox(out, {0, 6, -1, 1, -6, -4}, 1e-3f);

  // Behind the eye nothing is visible.
  const float behind[6] = {-1, 1, -1, 1, 4, 6};
  EXPECT_EQ(Sd_Node::ComputeVisibleBox(fwd, inv, behind, out), 0);
}

// --- bounding-box label layout ---

TEST(BoxLabels, CountsFollowTheLongerSide) {
  Sd_BoxLabelLayout layout;
  const float twoToOne[6] = {0, 200, 0, 100, 0, 10};
  ASSERT_EQ(Sd_Node::LayoutBoxLabels(twoToOne, 2, 1.0f, 2.0f, 1.0f, &layout), 1);
  EXPECT_EQ(layout.count[0], 10);
  EXPECT_EQ(layout.count[1], 5);
  EXPECT_EQ(layout.count[2], 5);
  EXPECT_EQ(Label(layout, 0, 0), "0.00");
  EXPECT_EQ(Label(layout, 0, 1), "20.00");
  EXPECT_EQ(Label(layout, 0, 10), "200.00");
  EXPECT_EQ(Label(layout, 1, 5), "100.00");
  EXPECT_EQ(Label(layout, 2, 5), "10.00");

  const float oneToTwo[6] = {0, 100, 0, 200, 0, 10};
  Sd_Node::LayoutBoxLabels(oneToTwo, 2, 1.0f, 2.0f, 1.0f, &layout);
  EXPECT_EQ(layout.count[0], 5);
  EXPECT_EQ(layout.count[1], 10);
  const float square[6] = {0, 100, 0, 100, 0, 10};
  Sd_Node::LayoutBoxLabels(square, 2, 1.0f, 2.0f, 1.0f, &layout);
  EXPECT_EQ(layout.count[0], 5);
  EXPECT_EQ(layout.count[1], 5);
}

TEST(BoxLabels, ElongatedAndFlatBoxesKeepABoundedCount) {
  Sd_BoxLabelLayout layout;
  const float thin[6] = {0, 1e6f, 0, 1, 0, 10};
  ASSERT_EQ(Sd_Node::LayoutBoxLabels(thin, 2, 1.0f, 2.0f, 1.0f, &layout), 1);
  EXPECT_EQ(layout.count[0], Sd_Node::MAX_BOX_TICKS);
  EXPECT_EQ(layout.count[1], 5);

  const float flatY[6] = {0, 100, 5, 5, 0, 10};
  ASSERT_EQ(Sd_Node::LayoutBoxLabels(flatY, 2, 1.0f, 2.0f, 1.0f, &layout), 1);
  EXPECT_EQ(layout.count[0], Sd_Node::MAX_BOX_TICKS);
  EXPECT_EQ(layout.labelAxis[0], 1);
  EXPECT_EQ(layout.labelAxis[1], 0) << "a flat axis gets no labels";
  EXPECT_TRUE(std::isfinite(layout.scale[2]));

  const float flatX[6] = {3, 3, 0, 100, 0, 10};
  ASSERT_EQ(Sd_Node::LayoutBoxLabels(flatX, 2, 1.0f, 2.0f, 1.0f, &layout), 1);
  EXPECT_EQ(layout.count[1], Sd_Node::MAX_BOX_TICKS);
  EXPECT_EQ(layout.labelAxis[0], 0);

  const float column[6] = {3, 3, 4, 4, 0, 10};
  ASSERT_EQ(Sd_Node::LayoutBoxLabels(column, 2, 1.0f, 2.0f, 1.0f, &layout), 1);
  EXPECT_EQ(layout.count[0], 5);
  EXPECT_EQ(layout.count[1], 5);
  EXPECT_EQ(layout.labelAxis[2], 1);
  EXPECT_GT(layout.scale[2], 0.0f);

  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float broken[6] = {0, nan, 0, 1, 0, 10};
  EXPECT_EQ(Sd_Node::LayoutBoxLabels(broken, 2, 1.0f, 2.0f, 1.0f, &layout), 0);
}

TEST(BoxLabels, CoordinateTypeAndZRangeDecideLabelsAndFormat) {
  Sd_BoxLabelLayout layout;
  const float box[6] = {-123.5f, -122.5f, 48.0f, 48.5f, -100.0f, 400.0f};
  ASSERT_EQ(Sd_Node::LayoutBoxLabels(box, 1, 1.0f, 2.0f, 1.0f, &layout), 1);
  EXPECT_EQ(layout.geographic, 1);
  EXPECT_EQ(Label(layout, 0, 0), "-123.500000");
  EXPECT_EQ(Label(layout, 1, 0), "48.000000");
  // Heights are labelled as heights, whatever sizes their glyphs.
  EXPECT_EQ(Label(layout, 2, 0), "-100.00");
  EXPECT_EQ(Label(layout, 2, 5), "400.00");
  EXPECT_NEAR(layout.range[2], 500.0 / 111000.0, 1e-9);

  ASSERT_EQ(Sd_Node::LayoutBoxLabels(box, 2, 1.0f, 2.0f, 1.0f, &layout), 1);
  EXPECT_EQ(layout.geographic, 0);
  EXPECT_EQ(Label(layout, 0, 0), "-123.50");
  ASSERT_EQ(Sd_Node::LayoutBoxLabels(box, 3, 3.0f, 2.0f, 1.0f, &layout), 1);
  EXPECT_NEAR(layout.range[2], 1500.0, 1e-6) << "the z range follows the exaggeration";
  EXPECT_EQ(Label(layout, 2, 5), "400.00");

  EXPECT_EQ(Sd_Node::LayoutBoxLabels(box, 0, 1.0f, 2.0f, 1.0f, &layout), 0);
  EXPECT_EQ(Sd_Node::LayoutBoxLabels(box, 4, 1.0f, 2.0f, 1.0f, &layout), 0);
  const float flatZ[6] = {0, 100, 0, 100, 10.0f, 10.00005f};
  EXPECT_EQ(Sd_Node::LayoutBoxLabels(flatZ, 2, 1.0f, 2.0f, 1.0f, &layout), 0);
  const float thinZ[6] = {0, 100, 0, 100, 10.0f, 10.001f};
  EXPECT_EQ(Sd_Node::LayoutBoxLabels(thinZ, 2, 1.0f, 2.0f, 1.0f, &layout), 1);
  // Without font metrics there is nothing to size labels with.
  EXPECT_EQ(Sd_Node::LayoutBoxLabels(box, 2, 1.0f, 0.0f, 1.0f, &layout), 0);
}

TEST(BoxLabels, ScalesFromRangesAndTemplateSize) {
  Sd_BoxLabelLayout layout;
  // Label width 2, height 1: x 200 / 9 / 2 * 0.6, y 100 / 4 / 2 * 0.6,
  // z 10 / 4 / 1 * 0.9 (the smallest of the three).
  const float box[6] = {0, 200, 0, 100, 0, 10};
  ASSERT_EQ(Sd_Node::LayoutBoxLabels(box, 2, 1.0f, 2.0f, 1.0f, &layout), 1);
  EXPECT_NEAR(layout.scale[0], 200.0 / 9 / 2 * 0.6, 1e-4);
  EXPECT_NEAR(layout.scale[1], 7.5, 1e-5);
  EXPECT_NEAR(layout.scale[2], 2.25, 1e-5);
  // Exaggerated ten times, z would be 22.5: x is then the smallest.
  ASSERT_EQ(Sd_Node::LayoutBoxLabels(box, 2, 10.0f, 2.0f, 1.0f, &layout), 1);
  EXPECT_NEAR(layout.scale[2], 200.0 / 9 / 2 * 0.6, 1e-4);
}

// --- names, query point and progress ---

TEST(NodeServices, UniqueNamesRunOutAtTenThousand) {
  class Group : public Sd_Node {
   public:
    Group() { SetGroup(1); }
    void SetFirstChild(Sd_Node* n) override { m_first = n; }
    Sd_Node* GetFirstChild() override { return m_first; }

   private:
    Sd_Node* m_first = nullptr;
  };
  Group root;
  std::vector<std::unique_ptr<Sd_Node>> nodes;
  Sd_Node* last = nullptr;
  for (int i = 1; i <= 9999; ++i) {
    nodes.emplace_back(new Sd_Node());
    Sd_Node* n = nodes.back().get();
    n->SetName(("Line" + std::to_string(i)).c_str());
    n->SetParent(&root);
    if (last) {
      last->SetNext(n);
    } else {
      root.SetFirstChild(n);
    }
    last = n;
  }
  EXPECT_EQ(Sd_Node::FindByName(&root, "Line9999"), last);
  EXPECT_EQ(Sd_Node::MakeUniqueName(&root, "Line", 1), nullptr);
  char* name = Sd_Node::MakeUniqueName(&root, "Lin", 1);
  ASSERT_NE(name, nullptr);
  EXPECT_STREQ(name, "Lin1");
  free(name);
}

TEST(NodeServices, QueryPointAndProgressHook) {
  Sd_Node::SetQueryPoint(1.5, -2.0, 3e6);
  double x = 0, y = 0, z = 0;
  Sd_Node::GetQueryPoint(&x, &y, &z);
  EXPECT_EQ(x, 1.5);
  EXPECT_EQ(y, -2.0);
  EXPECT_EQ(z, 3e6);

  Sd_Node::ReportProgress(1, 2);  // nothing installed: nothing happens
  static std::vector<int> seen;
  seen.clear();
  int user = 7;
  Sd_Node::SetProgressHook(
      [](int a, int b, void* data) {
        seen.push_back(a);
        seen.push_back(b);
        seen.push_back(*static_cast<int*>(data));
      },
      &user);
  Sd_Node::ReportProgress(3, 4);
  Sd_Node::ClearHooks();
  Sd_Node::ReportProgress(5, 6);
  EXPECT_EQ(seen, (std::vector<int>{3, 4, 7}));
}
