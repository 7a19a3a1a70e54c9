// The georeferenced image: records, plane height, image files and hiding
// the image where a surface lies under it.
#include "Sd_GeoImage.h"

#include <GL/gl.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "Sv_Debug.h"
#include "Sv_ImageIO.h"
#include "Sv_TexturedSurface.h"
#include "Sv_Types.h"
#include "TDR_GeoRef.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

// The settings kept by SaveSettings.
struct KeptSettings {
  int mode;
  int alphaTest;
  int planeHeightOn;
  float planeHeight;
};

}  // namespace

Sd_GeoImage::Sd_GeoImage()
    : m_geoBounds{0, 0, 0, 0}, m_hasGeoBounds(false), m_planeHeight(0.0f), m_planeHeightOn(0), m_badSettings(false) {
  SetType(kTypeId);
  ReadClassFile("GeoImageClass");
}

Sd_GeoImage::~Sd_GeoImage() { Sd_GeoImage::FreeData(); }

const char* Sd_GeoImage::className() const { return "Sd_GeoImage"; }

void Sd_GeoImage::FreeData() {
  Sd_ImageObject::FreeData();
  m_hasGeoBounds = false;
}

bool Sd_GeoImage::GetGeoBounds(float out[4]) const {
  if (m_hasGeoBounds) memcpy(out, m_geoBounds, sizeof(m_geoBounds));
  return m_hasGeoBounds;
}

// Lifts the flat image from the middle of the box to the plane height. A
// box without a z range has no place for it: the image stays in the middle.
void Sd_GeoImage::PlaceImage() {
  if (m_planeHeightOn <= 0) return;
  const double range = static_cast<double>(m_bounds[5]) - m_bounds[4];
  if (!(std::fabs(range) > 0.0) || !std::isfinite(range)) return;
  glTranslated(0.0, 0.0, (m_planeHeight - m_bounds[4]) / range - 0.5);
}

void Sd_GeoImage::ScreenMeasures(const float box[6], int* a, int* b) const {
  *a = static_cast<int>(m_width * static_cast<double>(box[1] - box[0]));
  *b = static_cast<int>(m_height * static_cast<double>(box[3] - box[2]));
}

// --- records ---

int Sd_GeoImage::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  NewImage();
  TDR_PayloadReader(manager).SkipFormatNumber();
  if (m_image->LoadFromTDR(manager) < 0) {
    FreeData();
    return -1;
  }
  // The record in place of the georeference stays for the next reader.
  if (!ExpectTag(manager, TDR_TAG_GEOREF, "ERROR: expected TDR_TAG_GEOREF!") || ReadGeoRefBounds(manager) != 0) {
    FreeData();
    return -1;
  }
  ShowImage();
  SetBounds(0, m_geoBounds[0], m_geoBounds[1]);
  SetBounds(1, m_geoBounds[2], m_geoBounds[3]);
  SetBounds(2, 0.0f, 1.0f);
  // A refused settings record keeps the object with its earlier settings.
  ReadCommonTags(manager);
  return 0;
}

int Sd_GeoImage::ReadGeoRefBounds(TDR_Manager* manager) {
  TDR_GeoRef geo;
  if (geo.Read(manager) != 0) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Damaged georeference record", manager->GetFileName());
    return -1;
  }
  if (geo.GetGeoUnitType() != 0 && geo.GetGeoUnitType() != 2) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading geo file  -  expected type unsigned short!");
  }
  const double* x = geo.GetXBounds();
  const double* y = geo.GetYBounds();
  // Bounds beyond the range of a float would draw and pick as infinity.
  for (double v : {x[0], x[1], y[0], y[1]}) {
    if (!(std::fabs(v) <= FLT_MAX)) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Georeference bounds beyond the range a node can hold",
                        manager->GetFileName());
      return -1;
    }
  }
  m_geoBounds[0] = static_cast<float>(x[0]);
  m_geoBounds[1] = static_cast<float>(x[1]);
  m_geoBounds[2] = static_cast<float>(y[0]);
  m_geoBounds[3] = static_cast<float>(y[1]);
  m_hasGeoBounds = true;
  return 0;
}

int Sd_GeoImage::ReadCommonTags(TDR_Manager* manager) {
  m_badSettings = false;
  const int result = Sd_Node::ReadCommonTags(manager);
  return result != 0 || m_badSettings ? -1 : 0;
}

int Sd_GeoImage::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag != TDR_TAG_SD_GEOIMAGE_ATB) return 0;
  TDR_PayloadReader in(manager);
  if (in.TagVersion() == 0) {
    float version = 0.0f;
    if (!in.Float32(&version) || version != 1.0f) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "Error: Expected version 1 sounding atbribute data!");
      m_badSettings = true;
      return 1;
    }
  }
  int fields[3] = {0, 0, 0};
  float height = 0.0f;
  in.Int32s(fields, 3);
  in.Float32(&height);
  // A record cut short changes nothing.
  if (in.Ok()) {
    m_mode = fields[0];
    m_alphaTest = fields[1];
    m_planeHeightOn = fields[2];
    m_planeHeight = height;
  }
  return 1;
}

int Sd_GeoImage::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager || !m_image) return -1;
  if (manager->WriteTag(TDR_TAG_SD_GEOIMAGE, 1, 0, 0, 1) != 0 || manager->EndTag() != 0) return -1;
  if (WriteImageAndBox(manager) != 0) return -1;
  return withCommonTags ? WriteCommonTags(manager) : 0;
}

int Sd_GeoImage::WriteCommonTags(TDR_Manager* manager) {
  if (Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_GEOIMAGE_ATB, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Int32(m_mode);
  out.Int32(m_alphaTest);
  out.Int32(m_planeHeightOn);
  out.Float32(m_planeHeight);
  return out.Ok() && manager->EndTag() == 0 ? 0 : -1;
}

void Sd_GeoImage::SaveSettings() {
  KeptSettings* kept = static_cast<KeptSettings*>(malloc(sizeof(KeptSettings)));
  if (!kept) return;
  *kept = {m_mode, m_alphaTest, m_planeHeightOn, m_planeHeight};
  SetDataBuffer(reinterpret_cast<unsigned char*>(kept));
}

void Sd_GeoImage::RestoreSettings() {
  if (!m_data) return;
  KeptSettings kept;
  memcpy(&kept, m_data, sizeof(kept));
  m_mode = kept.mode;
  m_alphaTest = kept.alphaTest;
  m_planeHeightOn = kept.planeHeightOn;
  m_planeHeight = kept.planeHeight;
}

// A 4 x 3 RGBA image over x 100 ... 140, y 20 ... 50, its left half half
// transparent, at plane height 0.25 with the alpha test on.
int Sd_GeoImage::WriteSample(TDR_Manager* manager) {
  Sd_GeoImage image;
  image.NewImage();
  if (image.m_image->Allocate(4, 3, 2) != 0) return -1;
  for (int r = 0; r < 3; ++r) {
    unsigned char* row = image.m_image->GetRow(r);
    for (int c = 0; c < 4; ++c) {
      const unsigned char pixel[4] = {static_cast<unsigned char>(60 * c), 200, static_cast<unsigned char>(80 * r),
                                      static_cast<unsigned char>(c < 2 ? 128 : 255)};
      memcpy(row + 4 * c, pixel, 4);
    }
  }
  image.ShowImage();
  image.SetBounds(0, 100.0f, 140.0f);
  image.SetBounds(1, 20.0f, 50.0f);
  image.SetBounds(2, 0.0f, 1.0f);
  image.m_alphaTest = 1;
  image.SetPlaneHeight(0.25f, 1);
  return image.SaveObject(manager, 1, 0);
}

// --- image files and surfaces ---

void Sd_GeoImage::LoadImageFile(const char* path) {
  NewImage();
  ReportState(1, 0);
  if (!ReadImageFile(path, "Could not load image", true)) {
    ReportState(0, 0);
    return;
  }
  ShowImage();
  if (m_image->HasGeoRef()) {
    float geo[6];
    m_image->GetGeoRefF(geo);
    SetBounds(0, geo[0], geo[1]);
    SetBounds(1, geo[2], geo[3]);
    // Image files hold no heights: without a z range the box takes z 0 ... 1,
    // as a loaded record does, so that the plane height has a range to use.
    if (geo[5] > geo[4]) {
      SetBounds(2, geo[4], geo[5]);
    } else {
      SetBounds(2, 0.0f, 1.0f);
    }
  } else if (GetParent()) {
    for (int axis = 0; axis < 3; ++axis) {
      const float* box = GetParent()->GetBounds(axis);
      SetBounds(axis, box[0], box[1]);
    }
  } else {
    SetBounds(0, 0.0f, static_cast<float>(m_width));
    SetBounds(1, 0.0f, static_cast<float>(m_height));
    SetBounds(2, 0.0f, 1.0f);
  }
  ReportState(0, 0);
}

void Sd_GeoImage::HideOverSurface() {
  if (!m_texture || !m_image || m_width <= 0 || m_height <= 0) return;
  const int channels = m_image->GetChannels();
  if ((channels != 2 && channels != 4) || m_image->GetBytesPerChannel() != 1) return;
  Sd_Node* root = GetRootOf();
  if (!root) return;
  ReportState(1, 0);
  const double x0 = m_bounds[0];
  const double y0 = m_bounds[2];
  const double dx = (static_cast<double>(m_bounds[1]) - m_bounds[0]) / m_width;
  const double dy = (static_cast<double>(m_bounds[3]) - m_bounds[2]) / m_height;
  for (int r = 0; r < m_height; ++r) {
    unsigned char* row = m_image->GetRow(r);
    for (int c = 0; c < m_width; ++c) {
      unsigned colour = 0;
      if (root->GeoPickPoint(x0 + c * dx, y0 + r * dy, &colour) != SD_PICK_NO_SURFACE) row[c * channels + channels - 1] = 0;
    }
  }
  // The tiles are made again from the changed pixels.
  m_texture->SetImage(m_image.get());
  ReportState(0, 0);
}
