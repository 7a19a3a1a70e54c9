#include "TDR_GeoRef.h"

#include <cmath>

#include "Sv_Debug.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

const char kWhere[] = "TDR_GeoRef::Read";

}  // namespace

TDR_GeoRef::TDR_GeoRef()
    : m_geoUnitType(0),
      m_tagVersion(1),
      m_formatVersion(2.0f),
      m_referenceType(0),
      m_subUnitType(0),
      m_xBounds{0.0, 0.0},
      m_yBounds{0.0, 0.0},
      m_zBounds{0.0, 0.0},
      m_cellDeltas{0.0, 0.0},
      m_minXY{0.0, 0.0},
      m_rotation(0.0),
      m_colorResolution(0.0f) {}

void TDR_GeoRef::SetXBounds(double min, double max) {
  m_xBounds[0] = min;
  m_xBounds[1] = max;
}

void TDR_GeoRef::SetYBounds(double min, double max) {
  m_yBounds[0] = min;
  m_yBounds[1] = max;
}

void TDR_GeoRef::SetZBounds(double min, double max) {
  m_zBounds[0] = min;
  m_zBounds[1] = max;
}

void TDR_GeoRef::SetBounds(const float bounds[6]) {
  SetXBounds(bounds[0], bounds[1]);
  SetYBounds(bounds[2], bounds[3]);
  SetZBounds(bounds[4], bounds[5]);
}

void TDR_GeoRef::SetCellDeltas(double dx, double dy) {
  m_cellDeltas[0] = dx;
  m_cellDeltas[1] = dy;
}

void TDR_GeoRef::SetMinXY(double x, double y) {
  m_minXY[0] = x;
  m_minXY[1] = y;
}

int TDR_GeoRef::WriteBoundsRecord(TDR_Manager* manager, const float bounds[6]) {
  if (manager->WriteTag(TDR_TAG_GEOREF, 1, 0, 0, 1) != 0) return -1;
  TDR_GeoRef geo;
  geo.SetBounds(bounds);
  if (geo.Write(manager) != 0) return -1;
  return manager->EndTag() == 0 ? 0 : -1;
}

int TDR_GeoRef::Read(TDR_Manager* manager) {
  if (!manager || !manager->GetFilePtr()) return -1;
  TDR_PayloadReader in(manager);
  const short tagVersion = manager->GetTagVersion();

  TDR_GeoRef g;  // filled completely, then copied: a failed read changes nothing
  bool old = false;
  if (tagVersion == 0) {
    float format = 0.0f;
    if (!in.Float32(&format)) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Georeference record is too short", kWhere);
      return -1;
    }
    old = !(format >= 2.0f);
  }
  if (in.Left() < (old ? kOldPayloadSize : kPayloadSize)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Georeference record is too short", kWhere);
    return -1;
  }
  in.Int32(&g.m_referenceType);
  in.Int32(&g.m_geoUnitType);
  if (old) {
    // Format 1.x: two type codes and the six bounds in single precision.
    float b[6] = {0, 0, 0, 0, 0, 0};
    in.Float32s(b, 6);
    g.SetXBounds(b[0], b[1]);
    g.SetYBounds(b[2], b[3]);
    g.SetZBounds(b[4], b[5]);
    g.SetMinXY(b[0], b[2]);
  } else {
    in.Int32(&g.m_subUnitType);
    double* fields[] = {&g.m_xBounds[0], &g.m_xBounds[1],    &g.m_yBounds[0],    &g.m_yBounds[1],
                        &g.m_zBounds[0], &g.m_zBounds[1],    &g.m_cellDeltas[0], &g.m_cellDeltas[1],
                        &g.m_minXY[0],   &g.m_minXY[1],      &g.m_rotation};
    for (double* f : fields) in.Float64(f);
    in.Float32(&g.m_colorResolution);
  }
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Reading georeference record", kWhere);
    return -1;
  }
  const double values[] = {g.m_xBounds[0],    g.m_xBounds[1],    g.m_yBounds[0], g.m_yBounds[1],
                           g.m_zBounds[0],    g.m_zBounds[1],    g.m_cellDeltas[0], g.m_cellDeltas[1],
                           g.m_minXY[0],      g.m_minXY[1],      g.m_rotation,   g.m_colorResolution};
  for (double v : values) {
    if (!std::isfinite(v)) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Georeference record holds a value that is not a number", kWhere);
      return -1;
    }
  }
  g.m_tagVersion = tagVersion;
  g.m_formatVersion = 2.0f;
  *this = g;
  return 0;
}

int TDR_GeoRef::Write(TDR_Manager* manager) {
  if (!manager || !manager->GetFilePtr()) return -1;
  TDR_PayloadWriter out(manager);
  if (manager->GetTagVersion() == 0) out.Float32(2.0f);
  out.Int32(m_referenceType);
  out.Int32(m_geoUnitType);
  out.Int32(m_subUnitType);
  const double fields[] = {m_xBounds[0],    m_xBounds[1],    m_yBounds[0], m_yBounds[1],
                           m_zBounds[0],    m_zBounds[1],    m_cellDeltas[0], m_cellDeltas[1],
                           m_minXY[0],      m_minXY[1],      m_rotation};
  out.Float64s(fields, 11);
  out.Float32(m_colorResolution);
  return out.Ok() ? 0 : -1;
}
