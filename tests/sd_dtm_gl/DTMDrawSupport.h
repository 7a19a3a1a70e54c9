#ifndef ORVANTA_TESTS_SD_DTM_GL_DTMDRAWSUPPORT_H
#define ORVANTA_TESTS_SD_DTM_GL_DTMDRAWSUPPORT_H

// Views, pictures and progressive-pass checks shared by the terrain drawing
// tests.

#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <initializer_list>
#include <vector>

#include "../sd_dtm/SonarTestSupport.h"
#include "GLTestFixture.h"

namespace dtm_test {

using orvanta_test::GLTest;

// The grid's unit box seen from above, filling the framebuffer: node
// (r, c) of an n x m grid lands near pixel (c / (m - 1), r / (n - 1)) * 256.
inline void TopDownView() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-0.5, 0.5, -0.5, 0.5, -2.0, 2.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// An oblique view from the south, above the grid.
inline void ObliqueView() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, 1.0, 0.1, 10.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(0.0, -1.3, 1.1, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0);
}

// Clears the framebuffer to an opaque colour; later clears are black again.
inline void ClearTo(float r, float g, float b) {
  glClearColor(r, g, b, 1.0f);
  GLTest::Clear();
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
}

// Every pixel of the framebuffer, RGBA.
inline std::vector<unsigned char> Picture() {
  std::vector<unsigned char> pixels(GLTest::kWidth * GLTest::kHeight * 4);
  glReadPixels(0, 0, GLTest::kWidth, GLTest::kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

// Runs a progressive pass to its end; the number of calls, or -1 when it
// does not end.
inline int FinishPass(Sd_Node& dtm) {
  for (int calls = 1; calls <= 100000; ++calls) {
    if (dtm.StepRender() == 1) return calls;
  }
  return -1;
}

// Sets the detail budget while it lives; afterwards the old budget and
// ordinary (not best-quality) passes.
struct Budget {
  explicit Budget(float budget) : old(Sd_Node::GetDetailBudget()) { Sd_Node::SetDetailBudget(budget); }
  ~Budget() {
    Sd_Node::SetDetailBudget(old);
    Sd_Node::SetBestPass(0);
  }
  Budget(const Budget&) = delete;
  Budget& operator=(const Budget&) = delete;
  float old;
};

// A flat terrain half-way up.
inline unsigned short Level(int, int, int, int) { return 30000; }

// A pick result that holds nothing yet.
inline SDN_PickOut NoPick() { return {0, 0, 0, -1e20, -1, nullptr, 0, 0}; }

// For ordinary and best-quality passes: a progressive pass from the oblique
// view run to its end draws the very pixels of one Render, and leaves the
// stacks balanced.
inline void ExpectFinishedPassMatchesRender(Sd_GridDTM& dtm) {
  for (int best : {0, 1}) {
    SCOPED_TRACE(best);
    Sd_Node::SetBestPass(best);
    GLTest::Clear();
    ObliqueView();
    dtm.Render();
    const auto whole = Picture();
    GLTest::Clear();
    const int calls = FinishPass(dtm);
    ASSERT_GT(calls, 2);
    EXPECT_EQ(GLTest::ModelViewStackDepth(), 1);
    EXPECT_EQ(dtm.GetDrawn(), 1);
    EXPECT_TRUE(Picture() == whole) << "the pass drew other pixels than Render";
    EXPECT_GT(GLTest::CountInk(), 1000);
  }
}

// Progressive passes abandoned (by Invalidate) after each of the given
// numbers of steps: the next call ends them with the stacks balanced and
// nothing left pending or enabled.
template <class DTM>
void ExpectAbandonedPassesBalanced(DTM& dtm, std::initializer_list<int> stepCounts) {
  for (int steps : stepCounts) {
    SCOPED_TRACE(steps);
    for (int i = 0; i < steps; ++i) EXPECT_EQ(dtm.StepRender(), 0);
    EXPECT_EQ(GLTest::ModelViewStackDepth(), 2) << "the pass keeps its matrix between calls";
    dtm.Invalidate();
    EXPECT_EQ(dtm.StepRender(), 0);
    EXPECT_EQ(GLTest::ModelViewStackDepth(), 1);
    EXPECT_EQ(dtm.GetPushCount(), 0);
    EXPECT_EQ(dtm.GetStepState(), 0);
    EXPECT_EQ(dtm.GetRedrawPending(), 0);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
  }
}

}  // namespace dtm_test

#endif
