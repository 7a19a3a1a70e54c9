// The cable node: its records, the tube build and the tube's drawing.
#include "Sd_CableParent.h"

#include <GL/gl.h>

#include <cmath>
#include <new>

#include "Sd_VectorPipe.h"
#include "Sv_Debug.h"
#include "Sv_Lighting.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

// Bytes of one stored point: three float64.
const int kPointBytes = 24;

// v mapped from lo ... hi onto 0 ... scale; an axis without range maps to
// the middle of the box.
double MapIntoBox(double v, float lo, float hi, float scale) {
  const double range = static_cast<double>(hi) - lo;
  if (!(range > 0.0) || !std::isfinite(range)) return 0.5 * scale;
  return (v - lo) * scale / range;
}

}  // namespace

Sd_CableParent::Sd_CableParent()
    : m_points(nullptr), m_showPipe(1), m_lift(0.02f), m_segments(9), m_radius(0.02f), m_lightMissingReported(0) {
  SetType(kTypeId);
  SetGroup(1);
  SetKeepsOwnBounds(true);
}

Sd_CableParent::~Sd_CableParent() { delete m_points; }

void Sd_CableParent::FreeData() {}

const char* Sd_CableParent::className() const { return "Cable Parent"; }

// --- records ---

int Sd_CableParent::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  return WriteGroupRecord(manager, TDR_TAG_SD_CABLEPARENT, withCommonTags);
}

int Sd_CableParent::WriteCommonTags(TDR_Manager* manager) {
  if (Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_CABLEPARENT_ATB, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  const int count = m_points ? m_points->Count() : 0;
  out.Int32(m_showPipe);
  out.Float32(m_lift);
  out.Int32(m_segments);
  out.Float32(m_radius);
  out.Int32(count);
  if (count > 0) {
    out.Int32(count);
    for (int i = 0; i < count; ++i) out.Float64s((*m_points)[i].source, 3);
  }
  return out.Ok() && manager->EndTag() == 0 ? 0 : -1;
}

int Sd_CableParent::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag != TDR_TAG_SD_CABLEPARENT_ATB) return 0;
  TDR_PayloadReader in(manager);
  float version = 0.0f;
  const float* format = nullptr;
  if (in.TagVersion() == 0) {
    in.Float32(&version);
    format = &version;
  }
  CablePointList* points = nullptr;
  if (!in.Ok() || !ReadSettings(in, format, &points)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged or refused cable settings record; settings kept",
                      manager->GetFileName());
    return 1;
  }
  delete m_points;
  m_points = points;
  return 1;
}

bool Sd_CableParent::ReadSettings(TDR_PayloadReader& in, const float* formatVersion, CablePointList** points) {
  *points = nullptr;
  int show = 0, segments = 0, count = 0;
  float lift = 0.0f, radius = 0.0f;
  in.Int32(&show);
  in.Float32(&lift);
  in.Int32(&segments);
  in.Float32(&radius);
  in.Int32(&count);
  if (!in.Ok() || !std::isfinite(lift) || !std::isfinite(radius)) return false;
  if (segments < Sd_VectorPipe::kMinSegments || segments > Sd_VectorPipe::kMaxSegments) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Cable segment count out of range", "Sd_CableParent");
    return false;
  }
  // Records of format 1.0 and below hold no points.
  const bool listFollows = count > 0 && (!formatVersion || *formatVersion > 1.0f);
  if (listFollows) {
    // The count is stored twice; both must agree and the points must fit.
    int again = 0;
    if (!in.Int32(&again) || again != count || count > in.Left() / kPointBytes) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Cable point counts disagree or exceed the record", "Sd_CableParent");
      return false;
    }
    CablePointList* list = new (std::nothrow) CablePointList(count);
    if (!list || list->Count() != count) {
      delete list;
      return false;
    }
    bool finite = true;
    for (int i = 0; i < count && in.Ok(); ++i) {
      double* v = (*list)[i].source;
      in.Float64s(v, 3);
      finite = finite && std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
    }
    if (!in.Ok() || !finite) {
      delete list;
      return false;
    }
    *points = list;
  }
  m_showPipe = show;
  m_lift = lift;
  m_segments = segments;
  m_radius = radius;
  return true;
}

int Sd_CableParent::WriteSample(TDR_Manager* manager) {
  Sd_CableParent cable;
  cable.SetName("Sample Cable");
  cable.SetBounds(0, 0.0f, 1000.0f);
  cable.SetBounds(1, 0.0f, 500.0f);
  cable.SetBounds(2, -50.0f, 0.0f);
  cable.SetPipeSegments(6);
  cable.m_radius = 0.03f;
  cable.m_lift = 0.01f;
  const double xyz[] = {0, 0, -50, 400, 100, -40, 700, 300, -20, 1000, 500, 0};
  if (cable.SetPoints(xyz, 4) != 0) return -1;
  return cable.SaveObject(manager, 1, 0);
}

// --- points and the tube ---

int Sd_CableParent::SetPoints(const double* xyz, int count) {
  if (!xyz || count <= 0) {
    delete m_points;
    m_points = nullptr;
    return 0;
  }
  CablePointList* list = new (std::nothrow) CablePointList(count);
  if (!list || list->Count() != count) {
    delete list;
    return -1;
  }
  for (int i = 0; i < count; ++i) {
    double* v = (*list)[i].source;
    v[0] = xyz[3 * i + 1];
    v[1] = xyz[3 * i];
    v[2] = xyz[3 * i + 2];
  }
  delete m_points;
  m_points = list;
  return 0;
}

int Sd_CableParent::BuildPipe() {
  if (!m_points) return -1;
  for (int i = 0; i < m_points->Count(); ++i) {
    CablePoint& p = (*m_points)[i];
    p.scene[0] = MapIntoBox(p.source[1], m_bounds[0], m_bounds[1], m_scale[0]);
    p.scene[1] = MapIntoBox(p.source[0], m_bounds[2], m_bounds[3], m_scale[1]);
    p.scene[2] = MapIntoBox(p.source[2], m_bounds[4], m_bounds[5], m_scale[2]);
  }
  if (Sd_VectorPipe::BuildPipe(m_points, m_radius, m_segments) != 0) return -1;
  const int vertices = m_points->GetSegments();
  for (int i = 0; i < m_points->Count(); ++i) {
    float* ring = (*m_points)[i].ring;
    for (int k = 0; k < vertices; ++k) ring[3 * k + 2] += m_lift;
  }
  return 0;
}

void Sd_CableParent::PostLoadOperations(int) {
  Sv_Debug::Message(SV_LEVEL_DEBUG, "\n Sd_CableParent::PostLoadOperations called!\n");
  BuildPipe();
}

void Sd_CableParent::FitToScene(Sd_Node*, int flag) {
  FitGroup(flag, false);
  BuildPipe();
}

void Sd_CableParent::SetPipeRadius(float radius) {
  m_radius = radius;
  BuildPipe();
}

void Sd_CableParent::SetPipeLift(float lift) {
  m_lift = lift;
  BuildPipe();
}

int Sd_CableParent::SetPipeSegments(int segments) {
  if (segments < Sd_VectorPipe::kMinSegments || segments > Sd_VectorPipe::kMaxSegments) return -1;
  m_segments = segments;
  BuildPipe();
  return 0;
}

void Sd_CableParent::LoadCable(const char*) {
  Sv_Debug::Message(SV_LEVEL_ERROR, "LoadCable is temporary disabled!\n");
}

// --- drawing ---

int Sd_CableParent::StepRender() { return StepRenderGroup(false, true); }

void Sd_CableParent::DrawOwn() {
  if (!m_showPipe || !m_points || !m_points->HasRings()) return;
  Sv_Lighting* lights = GetLighting();
  if (!lights) {
    if (!m_lightMissingReported) {
      Sv_Debug::Message(SV_LEVEL_ERROR, "ERROR:  Required light manager for render not defined!");
      m_lightMissingReported = 1;
    }
    return;
  }
  glPushMatrix();
  glTranslatef(-0.5f * m_scale[0], -0.5f * m_scale[1], -0.5f * m_scale[2]);
  lights->SetLighting(1);
  lights->SetColorMaterial(1);
  glColor3f(0.75f, 0.75f, 0.75f);
  Sd_VectorPipe::DrawPipe(m_points);
  glPopMatrix();
  lights->SetColorMaterial(0);
  lights->SetLighting(0);
}
