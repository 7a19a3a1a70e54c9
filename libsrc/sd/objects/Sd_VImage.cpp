// The image object spanned between two corners: records, corners, image
// files.
#include "Sd_VImage.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "Sv_Debug.h"
#include "Sv_ImageIO.h"
#include "Sv_TexturedSurface.h"
#include "Sv_Types.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

// Values closer than this count as equal: that axis is flat.
constexpr double kFlat = 1e-15;

}  // namespace

Sd_VImage::Sd_VImage() : m_corner1{0, 0, 0}, m_corner2{0, 0, 0}, m_textureA{0, 0, 0}, m_textureB{0, 0, 0} {
  SetType(kTypeId);
  ReadClassFile("VImageClass");
}

Sd_VImage::~Sd_VImage() {}

const char* Sd_VImage::className() const { return "Sd_VImage"; }

void Sd_VImage::SetCorners(const double corner1[3], const double corner2[3]) {
  for (int axis = 0; axis < 3; ++axis) {
    const double v1 = corner1[axis];
    const double v2 = corner2[axis];
    m_corner1[axis] = v1;
    m_corner2[axis] = v2;
    if (std::fabs(v1 - v2) >= kFlat) {
      SetBounds(axis, static_cast<float>(std::fmin(v1, v2)), static_cast<float>(std::fmax(v1, v2)));
      m_textureA[axis] = v1 < v2 ? -0.5f : 0.5f;
      m_textureB[axis] = -m_textureA[axis];
    } else {
      SetBounds(axis, static_cast<float>(v1 - 0.5), static_cast<float>(v1 + 0.5));
      // A flat z still spans the height, so the image never lies edge-on.
      m_textureA[axis] = axis == 2 ? -0.5f : 0.0f;
      m_textureB[axis] = axis == 2 ? 0.5f : 0.0f;
    }
  }
  if (m_texture) m_texture->SetCorners3D(m_textureA, m_textureB);
}

void Sd_VImage::GetCorners(double corner1[3], double corner2[3]) const {
  memcpy(corner1, m_corner1, sizeof(m_corner1));
  memcpy(corner2, m_corner2, sizeof(m_corner2));
}

void Sd_VImage::GetTextureCorners(float a[3], float b[3]) const {
  memcpy(a, m_textureA, sizeof(m_textureA));
  memcpy(b, m_textureB, sizeof(m_textureB));
}

// Measures along the image: across the horizontal diagonal and up.
void Sd_VImage::ScreenMeasures(const float box[6], int* a, int* b) const {
  const double dx = box[1] - box[0];
  const double dy = box[3] - box[2];
  const double dz = box[5] - box[4];
  *a = static_cast<int>(m_width * std::sqrt(dx * dx + dy * dy) / std::sqrt(2.0));
  *b = static_cast<int>(m_height * dz);
}

// --- records ---

int Sd_VImage::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  NewImage();
  double corners[6];
  {
    TDR_PayloadReader in(manager);
    in.Float64s(corners, 6);
    if (!in.Ok()) {
      Sv_Debug::Message(SV_LEVEL_ERROR, "Error loading vimage object.", manager->GetFileName());
      FreeData();
      return -1;
    }
  }
  SetCorners(corners, corners + 3);
  if (m_image->LoadFromTDR(manager) < 0) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "Error loading vimage object.", manager->GetFileName());
    FreeData();
    return -1;
  }
  ShowImage();
  // A damaged trailing record leaves the image shown with what was read.
  ReadCommonTags(manager);
  return 0;
}

int Sd_VImage::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag != TDR_TAG_SD_VIMAGE_ATB) return 0;
  TDR_PayloadReader in(manager);
  float version = static_cast<float>(in.TagVersion());
  if (version == 0.0f) in.Float32(&version);
  int mode = 0;
  int alpha = 0;
  in.Int32(&mode);
  if (version >= 2.0f) in.Int32(&alpha);
  // A record cut short changes nothing.
  if (in.Ok()) {
    m_mode = mode;
    m_alphaTest = version >= 2.0f ? alpha : 0;
  }
  return 1;
}

int Sd_VImage::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager || !m_image || manager->WriteTag(TDR_TAG_SD_VIMAGE, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Float64s(m_corner1, 3);
  out.Float64s(m_corner2, 3);
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  if (WriteImageAndBox(manager) != 0) return -1;
  return withCommonTags ? WriteCommonTags(manager) : 0;
}

int Sd_VImage::WriteCommonTags(TDR_Manager* manager) {
  if (Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_VIMAGE_ATB, 2, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Int32(m_mode);
  out.Int32(m_alphaTest);
  return out.Ok() && manager->EndTag() == 0 ? 0 : -1;
}

void Sd_VImage::SaveSettings() {
  int* kept = static_cast<int*>(malloc(sizeof(int)));
  if (!kept) return;
  *kept = m_mode;
  SetDataBuffer(reinterpret_cast<unsigned char*>(kept));
}

void Sd_VImage::RestoreSettings() {
  if (m_data) memcpy(&m_mode, m_data, sizeof(int));
}

// A 6 x 4 RGB image of four quadrants standing between (0, 0, 0) and
// (3, 0, 2), low resolution with the alpha test on.
int Sd_VImage::WriteSample(TDR_Manager* manager) {
  Sd_VImage image;
  image.NewImage();
  if (image.m_image->Allocate(6, 4, 1) != 0) return -1;
  for (int r = 0; r < 4; ++r) {
    unsigned char* row = image.m_image->GetRow(r);
    for (int c = 0; c < 6; ++c) {
      row[3 * c] = c < 3 ? 255 : 0;
      row[3 * c + 1] = r < 2 ? 255 : 0;
      row[3 * c + 2] = 60;
    }
  }
  image.ShowImage();
  const double a[3] = {0, 0, 0};
  const double b[3] = {3, 0, 2};
  image.SetCorners(a, b);
  image.m_mode = 1;
  image.m_alphaTest = 1;
  return image.SaveObject(manager, 1, 0);
}

// --- image files ---

void Sd_VImage::LoadImageFile(const char* path) {
  ReportState(1, 0);
  NewImage();
  if (!ReadImageFile(path, "Could not load image.\n", false)) {
    ReportState(0, 0);
    return;
  }
  ShowImage();
  const auto allZero = [](const double* c) { return c[0] == 0.0 && c[1] == 0.0 && c[2] == 0.0; };
  if (allZero(m_corner1) && allZero(m_corner2) && GetParent()) {
    for (int axis = 0; axis < 3; ++axis) {
      const float* box = GetParent()->GetBounds(axis);
      m_corner1[axis] = box[0];
      m_corner2[axis] = box[1];
    }
  }
  if (allZero(m_corner1) && allZero(m_corner2)) m_corner2[0] = m_corner2[1] = m_corner2[2] = 1.0;
  double c1[3];
  double c2[3];
  GetCorners(c1, c2);
  SetCorners(c1, c2);
  ReportState(0, 0);
}
