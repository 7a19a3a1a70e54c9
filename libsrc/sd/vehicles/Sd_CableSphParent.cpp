// The cable-sphere node: construction, class file, records and the cable's
// place on the globe.
#include "Sd_CableSphParent.h"

#include <cmath>
#include <cstdio>
#include <new>
#include <string>

#include "Sd_SphereTerrain.h"
#include "Sd_TextScan.h"
#include "Sd_VectorPipe.h"
#include "Sv_Debug.h"
#include "Sv_LineReader.h"
#include "Sv_Stdio.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

// Node type of a terrain on the globe.
constexpr int kSphereTerrainType = 14;
// Bytes of one stored point: three float64.
constexpr int kPointBytes = 24;
constexpr double kDegrees = 3.14159265358979323846 / 180.0;

bool Finite(const float* v, int n) {
  for (int i = 0; i < n; ++i) {
    if (!std::isfinite(v[i])) return false;
  }
  return true;
}

}  // namespace

void Sd_CableSphParent::OnSphere(double radius, double latitude, double longitude, double out[3]) {
  const double lat = latitude * kDegrees, lon = longitude * kDegrees;
  out[0] = radius * std::cos(lat) * std::cos(lon);
  out[1] = radius * std::cos(lat) * std::sin(lon);
  out[2] = radius * std::sin(lat);
}

Sd_CableSphParent::Sd_CableSphParent()
    : m_heightScale(0.0),
      m_baseRadius(0.5),
      m_showAxes(1),
      m_showRings(1),
      m_showGlobe(1),
      m_globeStyle(3),
      m_reserved(0),
      m_exaggeration(1.0f),
      m_points(nullptr),
      m_showCable(1),
      m_heightOffset(0),
      m_cableSegments(9),
      m_cableRadius(0.0003f),
      m_cableColour{0.0f, 0.0f, 0.0f},
      m_globe(),
      m_globeColours(),
      m_lightMissingReported(0) {
  SetType(kTypeId);
  SetGroup(1);
  SetKeepsOwnBounds(true);
  UpdateRadiusScale();
  BuildGlobe();
  ReadClassConfiguration();
}

Sd_CableSphParent::~Sd_CableSphParent() { delete m_points; }

void Sd_CableSphParent::FreeData() {}

const char* Sd_CableSphParent::className() const { return "Cable Sphere Parent"; }

void Sd_CableSphParent::ReadClassConfiguration() {
  int version = 0;
  Sv_LineReader f;
  if (!Sv_UtlOpenConfigLines("CableSphClass", &version, &f)) return;
  std::string line;
  bool have = true;
  for (int i = 0; i < 3 && have; ++i) have = Sd_TextScan::ReadLine(&f, &line);
  // "%f%d%f%f%f": radius, segment count, red, green, blue.
  int segments = 0;
  double v[4];  // radius, red, green, blue
  if (!have || !Sd_TextScan::Scan(line, "fifff", &segments, v)) return;
  if (segments < Sd_VectorPipe::kMinSegments || segments > Sd_VectorPipe::kMaxSegments || !(std::fabs(v[0]) < 1e30)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Cable settings of the class file out of range", "CableSphClass");
    return;
  }
  m_cableRadius = static_cast<float>(v[0]);
  m_cableSegments = segments;
  for (int c = 0; c < 3; ++c) m_cableColour[c] = static_cast<float>(v[c + 1]);
}

// --- records ---

int Sd_CableSphParent::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  return WriteGroupRecord(manager, TDR_TAG_SD_CABLESPHPARENT, withCommonTags);
}

int Sd_CableSphParent::WriteCommonTags(TDR_Manager* manager) {
  if (Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_CABLESPHPARENT_ATB, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  const int globe[5] = {m_showAxes, m_showRings, m_showGlobe, m_globeStyle, m_reserved};
  const int cable[3] = {m_showCable, m_heightOffset, m_cableSegments};
  const float look[4] = {m_cableRadius, m_cableColour[0], m_cableColour[1], m_cableColour[2]};
  const int count = m_points ? m_points->Count() : 0;
  out.Int32s(globe, 5);
  out.Float32(m_exaggeration);
  out.Int32s(cable, 3);
  out.Float32s(look, 4);
  out.Int32(count > 0 ? 1 : 0);
  if (count > 0) {
    out.Int32(count);
    out.Int32(m_points->GetExtra());
    for (int i = 0; i < count; ++i) out.Float64s((*m_points)[i].source, 3);
  }
  return out.Ok() && manager->EndTag() == 0 ? 0 : -1;
}

int Sd_CableSphParent::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag != TDR_TAG_SD_CABLESPHPARENT_ATB) return 0;
  TDR_PayloadReader in(manager);
  if (in.TagVersion() == 0) {
    float format = 0.0f;
    in.Float32(&format);
  }
  int globe[5] = {0, 0, 0, 0, 0};  // axes, rings, globe, style, reserved
  float exaggeration = 0.0f;
  int cable[3] = {0, 0, 0};                  // show, height offset, segments
  float look[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // radius, red, green, blue
  int listFlag = 0;
  in.Int32s(globe, 5);
  in.Float32(&exaggeration);
  in.Int32s(cable, 3);
  in.Float32s(look, 4);
  in.Int32(&listFlag);
  bool ok = in.Ok() && std::isfinite(exaggeration) && Finite(look, 4) && cable[2] >= Sd_VectorPipe::kMinSegments &&
            cable[2] <= Sd_VectorPipe::kMaxSegments;
  CablePointList* list = nullptr;
  if (ok && listFlag == 1) {
    int count = 0, extra = 0;
    in.Int32(&count);
    in.Int32(&extra);
    ok = in.Ok() && count >= 0 && count <= in.Left() / kPointBytes;
    if (ok && count > 0) {
      list = new (std::nothrow) CablePointList(count);
      ok = list && list->Count() == count;
      for (int i = 0; ok && i < count; ++i) {
        double* v = (*list)[i].source;
        ok = in.Float64s(v, 3) && std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
      }
      if (ok) list->SetExtra(extra);
    }
  }
  if (!ok) {
    delete list;
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged or refused cable-sphere settings record; settings kept",
                      manager->GetFileName());
    return 1;
  }
  const int style = m_globeStyle;
  m_showAxes = globe[0];
  m_showRings = globe[1];
  m_showGlobe = globe[2];
  m_globeStyle = globe[3];
  m_reserved = globe[4];
  m_exaggeration = exaggeration;
  m_showCable = cable[0];
  m_heightOffset = cable[1];
  m_cableSegments = cable[2];
  m_cableRadius = look[0];
  for (int c = 0; c < 3; ++c) m_cableColour[c] = look[c + 1];
  if (listFlag == 1) {
    delete m_points;
    m_points = list;
  }
  // A stored style is drawn as that style: its colours and radius.
  if (m_globeStyle != style) BuildGlobe();
  PlaceCable();
  return 1;
}

int Sd_CableSphParent::WriteSample(TDR_Manager* manager) {
  Sd_CableSphParent globe;
  globe.SetName("Sample Cable Sphere");
  for (int a = 0; a < 3; ++a) globe.SetBounds(a, -1.0f, 1.0f);
  globe.SetGlobeStyle(2);
  globe.m_reserved = 5;
  globe.m_exaggeration = 2.0f;
  globe.m_heightOffset = 1000;
  globe.m_cableSegments = 6;
  globe.m_cableRadius = 0.01f;
  globe.SetCableColour(1.0f, 0.5f, 0.0f);
  const double points[] = {0, 0, -4000, 20, 30, -3000, 45, 60, 0};
  if (globe.SetPoints(points, 3) != 0) return -1;
  globe.m_points->SetExtra(7);
  return globe.SaveObject(manager, 1, 0);
}

// --- settings ---

void Sd_CableSphParent::SetExaggeration(float exaggeration) {
  m_exaggeration = exaggeration;
  Sv_Debug::Message(SV_LEVEL_DEBUG, "Sd_CableSphParent::SetExaggeration done!\n");
  for (Sd_Node* c = m_children; c; c = c->GetNext()) {
    if (c->GetType() != kSphereTerrainType) continue;
    if (Sd_SphereTerrain* terrain = dynamic_cast<Sd_SphereTerrain*>(c)) terrain->SetExaggeration(exaggeration);
  }
  PlaceCable();
}

void Sd_CableSphParent::SetCableRadius(float radius) {
  m_cableRadius = radius;
  PlaceCable();
}

void Sd_CableSphParent::SetHeightOffset(int offset) {
  m_heightOffset = offset;
  PlaceCable();
}

void Sd_CableSphParent::SetGlobeStyle(int style) {
  m_globeStyle = style;
  BuildGlobe();
}

void Sd_CableSphParent::SetReserved(int value) {
  m_reserved = value;
  Sv_Debug::Message(SV_LEVEL_DEBUG, "Not implemented yet!");
}

void Sd_CableSphParent::SetCableColour(float r, float g, float b) {
  m_cableColour[0] = r;
  m_cableColour[1] = g;
  m_cableColour[2] = b;
}

void Sd_CableSphParent::GetCableColour(float* r, float* g, float* b) const {
  if (r) *r = m_cableColour[0];
  if (g) *g = m_cableColour[1];
  if (b) *b = m_cableColour[2];
}

void Sd_CableSphParent::DrapeOnSphereDTM() {
  for (Sd_Node* c = m_children; c; c = c->GetNext()) {
    if (c->GetType() != kSphereTerrainType) continue;
    Sv_Debug::Message(SV_LEVEL_DEBUG, "Found SphereDTM!\n");
    Sd_SphereTerrain* terrain = dynamic_cast<Sd_SphereTerrain*>(c);
    if (terrain && m_points) {
      for (int i = 0; i < m_points->Count(); ++i) {
        double* v = (*m_points)[i].source;
        const double h = terrain->GetElevation(v[1], v[0]);
        v[2] = std::isfinite(h) ? h : 0.0;
      }
      PlaceCable();
    }
    return;
  }
}

void Sd_CableSphParent::PrintPosition(const CablePoint* point) const {
  if (!point) return;
  printf("    Latitude  : %lf", point->source[0]);
  printf("   Longitude  : %lf", point->source[1]);
  printf("      Height  : %lf", point->source[2]);
}

void Sd_CableSphParent::LoadCable(const char*) {
  Sv_Debug::Message(SV_LEVEL_ERROR, "LoadCable is temporary disabled!\n");
}

// --- the cable on the globe ---

int Sd_CableSphParent::SetPoints(const double* latLonHeight, int count) {
  CablePointList* list = nullptr;
  if (latLonHeight && count > 0) {
    list = new (std::nothrow) CablePointList(count);
    if (!list || list->Count() != count) {
      delete list;
      return -1;
    }
    for (int i = 0; i < count; ++i) {
      for (int k = 0; k < 3; ++k) (*list)[i].source[k] = latLonHeight[3 * i + k];
    }
  }
  delete m_points;
  m_points = list;
  PlaceCable();
  return 0;
}

void Sd_CableSphParent::UpdateRadiusScale() {
  m_heightScale = m_exaggeration / kEarthDiameter;
  m_baseRadius = m_heightOffset * static_cast<double>(m_exaggeration) / kEarthDiameter + 0.5;
}

void Sd_CableSphParent::ToSphereCoordinates() {
  UpdateRadiusScale();
  if (!m_points) return;
  for (int i = 0; i < m_points->Count(); ++i) {
    CablePoint& p = (*m_points)[i];
    OnSphere(p.source[2] * m_heightScale + m_baseRadius, p.source[0], p.source[1], p.scene);
  }
}

int Sd_CableSphParent::BuildPipe() {
  if (!m_points) return -1;
  return Sd_VectorPipe::BuildPipe(m_points, m_cableRadius, m_cableSegments);
}

void Sd_CableSphParent::PlaceCable() {
  ToSphereCoordinates();
  if (m_points) BuildPipe();
}

void Sd_CableSphParent::BuildGlobe() {
  double radius = 0.5;
  if (m_globeStyle == 0) radius = 0.47;
  if (m_globeStyle == 3) radius = 0.48;
  for (int i = 0; i < kRows; ++i) {
    const double towardsPole = std::fabs((i - 8) / 8.0);
    for (int j = 0; j < kColumns; ++j) {
      unsigned char* c = m_globeColours[i][j];
      if (m_globeStyle == 0) {
        c[0] = c[1] = c[2] = 0;
        c[3] = 255;
      } else if (m_globeStyle == 2) {
        c[0] = c[1] = 0;
        c[2] = static_cast<unsigned char>(255 - static_cast<int>(towardsPole * 0.4 * 255));
        c[3] = 160;
      } else if (m_globeStyle == 3) {
        c[0] = c[1] = c[2] = static_cast<unsigned char>(220 - static_cast<int>(towardsPole * 0.5 * 255));
        c[3] = 255;
      }
      double v[3];
      OnSphere(radius, 10.0 * i - 80.0, 10.0 * j, v);
      for (int k = 0; k < 3; ++k) m_globe[i][j][k] = static_cast<float>(v[k]);
    }
  }
}
