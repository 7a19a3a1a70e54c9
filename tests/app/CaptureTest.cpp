// Tiled image capture and view files of the work area, with a GL context:
// a capture of one tile is the picture on screen, a capture of 2 x 2 tiles
// is the same picture at twice the size with the 2-D layer once, in its
// top-right corner; refused and failed captures leave the view as it was;
// view files bring back camera, view matrix and picture, and damaged ones
// change nothing.

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Qk_NavigatorOverlay.h"
#include "Sv_ImageIO.h"
#include "Sv_Matrix4.h"
#include "Sv_Perspective.h"
#include "TestSupport.h"
#include "WorkAreaTestSupport.h"

using workarea_test::RecordingArea;
using workarea_test::TileClasses;

namespace {

// The RGB pixels of the framebuffer, bottom row first.
std::vector<unsigned char> Grab(Qk_GLWorkArea* area) {
  area->makeCurrent();
  const int w = area->GetWidth();
  const int h = area->GetHeight();
  std::vector<unsigned char> rgba(static_cast<size_t>(w) * h * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  std::vector<unsigned char> rgb;
  for (size_t i = 0; i < rgba.size(); i += 4) rgb.insert(rgb.end(), {rgba[i], rgba[i + 1], rgba[i + 2]});
  return rgb;
}

// The RGB pixels of an image file read back, bottom row first.
std::vector<unsigned char> ReadBack(const std::string& file, int* width, int* height) {
  Sv_ImageIO image;
  if (image.ReadImage(file.c_str(), SV_IMAGE_DETECT, 2) != 0) return {};
  *width = image.GetWidth();
  *height = image.GetHeight();
  std::vector<unsigned char> rgb;
  const unsigned char* p = image.GetData();
  for (long i = 0; i < static_cast<long>(*width) * *height; ++i) rgb.insert(rgb.end(), {p[4 * i], p[4 * i + 1], p[4 * i + 2]});
  return rgb;
}

// The camera's view record as written.
std::string CameraRecord(const Sv_Perspective* camera) {
  FILE* f = std::tmpfile();
  if (!f) return {};
  camera->Write(f);
  std::string bytes(static_cast<size_t>(std::ftell(f)), '\0');
  std::rewind(f);
  const size_t got = std::fread(&bytes[0], 1, bytes.size(), f);
  std::fclose(f);
  bytes.resize(got);
  return bytes;
}

std::vector<float> Floats(const Sv_Matrix4* m) { return std::vector<float>(m->GetMatrixPTR(), m->GetMatrixPTR() + 16); }

// A 2-D layer that stands in for the main window's logo: a magenta square
// of 10 x 10 pixels in the top-right corner of the viewport.
void DrawCornerMark() {
  GLint v[4];
  glGetIntegerv(GL_VIEWPORT, v);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0.0, v[2], 0.0, v[3], -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glColor3ub(255, 0, 255);
  glRecti(v[2] - 10, v[3] - 10, v[2], v[3]);
  glEnable(GL_DEPTH_TEST);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
}

bool IsMark(const unsigned char* p) { return p[0] > 200 && p[1] < 60 && p[2] > 200; }

class CaptureGL : public workarea_test::ShownAreaFixture<RecordingArea, TileClasses> {
 protected:
  void MakeMarked() {
    ASSERT_NO_FATAL_FAILURE(Make(200, 150, 0, scene));
    QObject::connect(area.get(), &Qk_GLStepWidget::Render2DInfoSG, [] { DrawCornerMark(); });
    area->UpdateGL();
    ASSERT_TRUE(area->WaitForNormal());
  }
};

TEST_F(CaptureGL, OneTileIsTheScreenAndTwoTilesTheSamePictureTwiceAsLarge) {
  ASSERT_NO_FATAL_FAILURE(MakeMarked());
  const int w = area->GetWidth(), h = area->GetHeight();
  const std::vector<unsigned char> screen = Grab(area.get());
  const GLenum drawBuffer = area->GetDrawBuffer();

  // One tile: the finished picture, pixel for pixel.
  const std::string one = dir.file("one.tif");
  ASSERT_EQ(area->CaptureImage(one.c_str(), SV_IMAGE_TIFF, 1), 0);
  EXPECT_EQ(area->GetDrawBuffer(), drawBuffer);
  int iw = 0, ih = 0;
  const std::vector<unsigned char> single = ReadBack(one, &iw, &ih);
  ASSERT_EQ(iw, w);
  ASSERT_EQ(ih, h);
  EXPECT_EQ(single, screen);
  ASSERT_TRUE(area->WaitForNormal());
  ExpectBalanced();

  // Two by two tiles: twice the size; halved, the same surfaces.
  const std::string two = dir.file("two.tif");
  ASSERT_EQ(area->CaptureImage(two.c_str(), SV_IMAGE_TIFF, 2), 0);
  const std::vector<unsigned char> big = ReadBack(two, &iw, &ih);
  ASSERT_EQ(iw, 2 * w);
  ASSERT_EQ(ih, 2 * h);
  int differing = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      for (int k = 0; k < 3; ++k) {
        int sum = 0;
        for (int d = 0; d < 4; ++d) sum += big[3 * ((2 * y + d / 2) * 2 * w + 2 * x + d % 2) + k];
        if (std::abs(sum / 4 - single[3 * (y * w + x) + k]) > 24) {
          ++differing;
          break;
        }
      }
    }
  }
  // Only the tiles' borders (and the mark, drawn at its own size) differ.
  EXPECT_LT(differing, w * h / 30) << differing << " of " << w * h;
  // The mark once, at the top-right corner of the whole image; not at the
  // top-right corners of the other tiles.
  auto at = [&](int x, int y) { return &big[3 * (static_cast<size_t>(y) * 2 * w + x)]; };
  EXPECT_TRUE(IsMark(at(2 * w - 5, 2 * h - 5)));
  EXPECT_FALSE(IsMark(at(2 * w - 15, 2 * h - 15)));
  EXPECT_FALSE(IsMark(at(w - 5, h - 5)));
  EXPECT_FALSE(IsMark(at(w - 5, 2 * h - 5)));
  EXPECT_FALSE(IsMark(at(2 * w - 5, h - 5)));
  ASSERT_TRUE(area->WaitForNormal());
  ExpectBalanced();
}

TEST_F(CaptureGL, RenderTilesAnnouncesEveryTileAndCapturesAbandonARunningPass) {
  ASSERT_NO_FATAL_FAILURE(MakeMarked());
  const std::vector<unsigned char> screen = Grab(area.get());
  const int before = area->render2DSignals;
  ASSERT_EQ(area->RenderTiles(2), 0);
  EXPECT_EQ(area->render2DSignals - before, 4);
  ASSERT_TRUE(area->WaitForNormal());
  ExpectBalanced();

  // A capture in the middle of a best pass (its matrices pushed) abandons
  // the pass and draws the finished picture.
  area->UpdateGL();
  for (int i = 0; i < 3 && area->GetPushedMatrices() == 0; ++i) area->RenderStep();
  ASSERT_GT(area->GetPushedMatrices(), 0);
  const std::string file = dir.file("midpass.png");
  ASSERT_EQ(area->CaptureImage(file.c_str(), SV_IMAGE_PNG, 1), 0);
  EXPECT_EQ(area->GetPushedMatrices(), 0);
  int iw = 0, ih = 0;
  EXPECT_EQ(ReadBack(file, &iw, &ih), screen);
  ASSERT_TRUE(area->WaitForNormal());
  ExpectBalanced();
}

TEST_F(CaptureGL, RefusedAndFailedCapturesLeaveTheView) {
  ASSERT_NO_FATAL_FAILURE(MakeMarked());
  const std::vector<unsigned char> screen = Grab(area.get());
  const GLenum drawBuffer = area->GetDrawBuffer();
  const std::string file = dir.file("out.img");
  for (int n : {0, -3, 1 << 20, 200}) {
    orvanta_test::MessageCapture messages;
    EXPECT_EQ(area->CaptureImage(file.c_str(), SV_IMAGE_TIFF, n), -1) << n;
    EXPECT_TRUE(messages.Contains("too large") || messages.Contains("at least 1")) << n << messages.All();
    EXPECT_EQ(area->RenderTiles(n), -1);
  }
  {
    orvanta_test::MessageCapture messages;
    EXPECT_EQ(area->CaptureImage(file.c_str(), SV_IMAGE_IRIS_RGB, 1), -1);
    EXPECT_TRUE(messages.Contains("Unsupported file type.")) << messages.All();
  }
  EXPECT_TRUE(orvanta_test::ListDirectory(dir.path()).size() == 1u) << "only the scene file";
  EXPECT_EQ(area->GetDrawBuffer(), drawBuffer);
  ASSERT_TRUE(area->WaitForNormal());
  EXPECT_EQ(Grab(area.get()), screen);
  ExpectBalanced();
}

// View files with the navigator, whose picture follows the view matrix.
class ViewFileGL : public workarea_test::NavigatorAreaFixture {
 protected:
  void SetView(const Sv_Matrix4& m) {
    area->SetViewMatrix(&m);
    area->UpdateGL();
    ASSERT_TRUE(area->WaitForNormal());
  }
};

TEST_F(ViewFileGL, SavedViewComesBackAndDamagedFilesChangeNothing) {
  ASSERT_NO_FATAL_FAILURE(ShowNavigator(240, 180));
  const Sv_Matrix4 start = nav->GetViewMatrix();
  ASSERT_NO_FATAL_FAILURE(SetView(start));
  const std::vector<unsigned char> picture = Grab(area.get());
  const std::string record = CameraRecord(area->GetCamera());
  const std::vector<float> matrix = Floats(area->GetViewMatrix());
  const std::string view = dir.file("start.view");
  ASSERT_EQ(area->SaveViewFile(view.c_str()), 1);
  const std::string bytes = orvanta_test::ReadFileBytes(view);
  ASSERT_EQ(bytes.size(), 4u + record.size() + 64u);
  EXPECT_EQ(bytes.substr(0, 4), "2.0\n");
  EXPECT_EQ(bytes.substr(4, record.size()), record);

  // Move the camera: another base scale and the scene turned.
  nav->SetHeading(40.0);
  const Sv_Matrix4 moved = nav->GetViewMatrix();
  area->GetCamera()->SetBaseScale(80.0f);
  ASSERT_NO_FATAL_FAILURE(SetView(moved));
  ASSERT_NE(Grab(area.get()), picture);
  const std::string movedRecord = CameraRecord(area->GetCamera());
  const std::vector<float> movedMatrix = Floats(area->GetViewMatrix());
  ASSERT_NE(movedRecord, record);

  // Damaged files: cut in the version line, the camera and the matrix; no
  // new-line; a matrix that is not a number; missing.
  std::vector<std::string> damaged = {bytes.substr(0, 2), bytes.substr(0, 4 + record.size() / 2),
                                      bytes.substr(0, bytes.size() - 5), std::string(40, 'x') + bytes.substr(4)};
  std::string nan = bytes;
  const float notANumber = std::nanf("");
  nan.replace(4 + record.size() + 20, 4, reinterpret_cast<const char*>(&notANumber), 4);
  damaged.push_back(nan);
  for (size_t i = 0; i <= damaged.size(); ++i) {
    const std::string path = dir.file("damaged" + std::to_string(i) + ".view");
    if (i < damaged.size()) {
      ASSERT_TRUE(orvanta_test::WriteFileBytes(path, damaged[i]));
    }
    orvanta_test::MessageCapture messages;
    EXPECT_EQ(area->LoadViewFile(path.c_str()), 0) << i;
    EXPECT_TRUE(messages.Contains("Could not read view file '" + path + "'.")) << i << messages.All();
    EXPECT_EQ(CameraRecord(area->GetCamera()), movedRecord) << i;
    EXPECT_EQ(Floats(area->GetViewMatrix()), movedMatrix) << i;
  }

  // The saved file brings back record, matrix and picture.
  ASSERT_EQ(area->LoadViewFile(view.c_str()), 1);
  EXPECT_EQ(CameraRecord(area->GetCamera()), record);
  // The navigator takes the matrix apart and builds it again: the same
  // view, within the rounding of the floats.
  const std::vector<float> loaded = Floats(area->GetViewMatrix());
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(loaded[i], matrix[i], 1e-3 * (1.0 + std::fabs(matrix[i]))) << i;
  ASSERT_TRUE(area->WaitForNormal());
  EXPECT_EQ(Grab(area.get()), picture);
}

TEST_F(ViewFileGL, FailedSavesReportAndKeepTheOldFile) {
  ASSERT_NO_FATAL_FAILURE(ShowNavigator(160, 120));
  const std::string view = dir.file("keep.view");
  ASSERT_TRUE(orvanta_test::WriteFileBytes(view, "old contents"));
  {
    orvanta_test::FileSizeLimit limit(40);
    ASSERT_TRUE(limit.ok());
    orvanta_test::MessageCapture messages;
    EXPECT_EQ(area->SaveViewFile(view.c_str()), 0);
    EXPECT_TRUE(messages.Contains("Could not write to view file '" + view + "'.")) << messages.All();
  }
  EXPECT_EQ(orvanta_test::ReadFileBytes(view), "old contents");
  orvanta_test::MessageCapture messages;
  const std::string nowhere = dir.file("no/such/folder.view");
  EXPECT_EQ(area->SaveViewFile(nowhere.c_str()), 0);
  EXPECT_TRUE(messages.Contains("Could not write to view file")) << messages.All();
  EXPECT_EQ(orvanta_test::ListDirectory(dir.path()).size(), 2u);
}

}  // namespace
