// Uniform terrain model: records, detail settings and picking.
#include "Sd_BasicDTM.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "DepthPicker.h"
#include "Sv_Debug.h"
#include "Sv_Matrix4.h"
#include "Sv_Types.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

constexpr int kTypeId = 11;
constexpr double kNoHeight = 1e12;

// Reads the next tag header and checks that it opens a SCALAR record. Any
// other tag is left for the caller (it may be the next object).
bool ExpectScalar(TDR_Manager* manager) {
  const int tag = manager->ReadTag(nullptr);
  if (tag == TDR_TAG_SCALAR) return true;
  Sv_Debug::Message(SV_LEVEL_DEBUG,
                    "ERROR:  Reading Tag from TDR file for loading object  -  expected TDR_TAG_SCALAR!");
  if (tag != TDR_TAG_ERROR) manager->UnreadTagHeader();
  return false;
}

}  // namespace

Sd_BasicDTM::Sd_BasicDTM() : m_drawMode(1), m_alpha(255), m_pickPos{-1.0f, 0.0f, 0.0f}, m_stepState(0), m_pushCount(0) {
  SetType(kTypeId);
  SetRedrawPending(0);
  SetDrawn(1);
}

Sd_BasicDTM::~Sd_BasicDTM() {}

const char* Sd_BasicDTM::className() const { return "Uniform DTM"; }

int Sd_BasicDTM::Hook2(int, int, int, int, unsigned char*) { return 0; }

// --- records ---

int Sd_BasicDTM::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  // Whatever the object held goes; a failed load leaves it without grids.
  FreeData();
  auto fail = [this]() {
    FreeData();
    return -1;
  };
  if (manager->GetTagVersion() == 0) {
    TDR_PayloadReader in(manager);
    float format = 0.0f;
    if (!in.Float32(&format)) return fail();
  }
  if (!ExpectScalar(manager) || LoadElevations(manager) != 0) return fail();
  if (!ExpectScalar(manager) || LoadColors(manager) != 0) return fail();
  if (!HasDrawableGrids()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  A uniform DTM needs at least 2 x 2 nodes", manager->GetFileName());
    return fail();
  }
  if (ReadCommonTags(manager) != 0) return fail();
  return 0;
}

int Sd_BasicDTM::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager || !m_elevation || !m_colors) return -1;
  if (manager->WriteTag(TDR_TAG_SD_BASICDTM, 1, 0, 0, 1) != 0 || manager->EndTag() != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SCALAR, 2, 0, 0, 1) != 0 || SaveElevations(manager) != 0 ||
      manager->EndTag() != 0) {
    return -1;
  }
  if (SaveColors(manager) != 0) return -1;
  if (withCommonTags) return WriteCommonTags(manager);
  return 0;
}

int Sd_BasicDTM::ReadCommonTags(TDR_Manager* manager) {
  if (!manager) return -1;
  if (Sd_Node::ReadCommonTags(manager) != 0) return -1;
  for (;;) {
    const int tag = manager->ReadTag(nullptr);
    if (tag != TDR_TAG_SD_BASICDTM_ATB) {
      manager->UnreadTagHeader();
      return 0;
    }
    ReadSettings(manager);
  }
}

void Sd_BasicDTM::ReadSettings(TDR_Manager* manager) {
  TDR_PayloadReader in(manager);
  const int version = manager->GetTagVersion();
  if (version == 0) {
    float format = 0.0f;
    in.Float32(&format);
  }
  short mode = 0;
  int words[4] = {0, 0, 0, 0};
  in.Read(&mode, 2, 1);
  in.Int32s(words, 4);
  if (!in.Ok()) {
    // The grids are whole; only the settings are lost.
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged uniform DTM settings record; defaults kept",
                      manager->GetFileName());
    return;
  }
  m_drawMode = mode;
  m_alpha = std::clamp(words[0], 0, 255);
  m_lodStep = words[1] < 1 ? 1 : words[1];
  if (version >= 2) m_autoLod = words[2];
}

int Sd_BasicDTM::WriteCommonTags(TDR_Manager* manager) {
  if (!manager) return -1;
  if (Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_BASICDTM_ATB, 2, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Write(&m_drawMode, 2, 1);
  out.Int32(m_alpha);
  out.Int32(m_lodStep);
  out.Int32(m_autoLod);
  out.Int32(0);
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  return 0;
}

// --- detail settings ---

void Sd_BasicDTM::SaveSettings() {
  int* saved = static_cast<int*>(malloc(2 * sizeof(int)));
  if (!saved) return;
  saved[0] = m_lodStep;
  saved[1] = m_autoLod;
  SetDataBuffer(reinterpret_cast<unsigned char*>(saved));
}

void Sd_BasicDTM::RestoreSettings() {
  const unsigned char* saved = GetDataBuffer();
  if (!saved) return;
  int values[2];
  memcpy(values, saved, sizeof(values));
  m_lodStep = values[0] < 1 ? 1 : values[0];
  m_autoLod = values[1];
}

int Sd_BasicDTM::ResetSettings() {
  m_lodStep = 1;
  m_autoLod = 0;
  return 1;
}

void Sd_BasicDTM::SetAlpha(int alpha) {
  m_alpha = std::clamp(alpha, 0, 255);
  if (m_alpha == 255 || !m_colors) return;
  const unsigned a = static_cast<unsigned>(m_alpha) << 24;
  for (int r = 0; r < m_rows; ++r) {
    unsigned* row = m_colors[r];
    for (int c = 0; c < m_cols; ++c) row[c] = (row[c] & 0x00FFFFFFu) | a;
  }
}

// --- picking and queries ---

bool Sd_BasicDTM::HeightInRange(double height) const {
  const double lo = m_bounds[4];
  const double hi = m_bounds[5];
  // The top code converts to zmax only up to rounding.
  const double tolerance = 1e-9 * std::max({1.0, std::fabs(lo), std::fabs(hi)});
  return height >= lo - tolerance && height <= hi + tolerance;
}

bool Sd_BasicDTM::Blend(int row, int col, double fy, double fx, double* height, unsigned* colour) const {
  if (!HeightInRange(CodeToHeight(m_elevation[row][col]))) return false;
  const double w00 = (1.0 - fy) * (1.0 - fx);
  const double w10 = fy * (1.0 - fx);
  const double w01 = (1.0 - fy) * fx;
  const double w11 = fy * fx;
  const unsigned short* r0 = m_elevation[row];
  const unsigned short* r1 = m_elevation[row + 1];
  const double code = w00 * r0[col] + w10 * r1[col] + w01 * r0[col + 1] + w11 * r1[col + 1];
  *height = CodeToHeight(code);
  const unsigned* c0 = m_colors[row];
  const unsigned* c1 = m_colors[row + 1];
  unsigned channel[3];
  for (int k = 0; k < 3; ++k) {
    const int shift = 8 * k;
    const double v = w00 * ((c0[col] >> shift) & 0xFFu) + w10 * ((c1[col] >> shift) & 0xFFu) +
                     w01 * ((c0[col + 1] >> shift) & 0xFFu) + w11 * ((c1[col + 1] >> shift) & 0xFFu);
    channel[k] = v <= 0.0 ? 0u : (v >= 255.0 ? 255u : static_cast<unsigned>(v));
  }
  *colour = PackColour(channel[0], channel[1], channel[2], 255);
  return true;
}

void Sd_BasicDTM::GridPosition(double x, double y, double* ry, double* cx) const {
  // Single precision, as the grid's own coordinates are.
  const float dx = m_bounds[1] - m_bounds[0];
  const float dy = m_bounds[3] - m_bounds[2];
  *cx = dx != 0.0f ? static_cast<float>((x - m_bounds[0]) / dx) * static_cast<float>(m_cols - 1) : 0.0f;
  *ry = dy != 0.0f ? static_cast<float>((y - m_bounds[2]) / dy) * static_cast<float>(m_rows - 1) : 0.0f;
}

int Sd_BasicDTM::QueryPoint(SDN_PickIn* request, SDN_PickOut* out) {
  if (!request || !request->picker || !HasDrawableGrids()) return 0;
  glPushMatrix();
  EnterGridSpace(false);
  Sv_Matrix4 modelView;
  modelView.LoadFromGL();
  float g[3] = {-1e10f, -1e10f, -1e10f};
  int hit = 0;
  if (request->picker->SetModelMatrix(modelView) == 0 &&
      request->picker->Pick(static_cast<short>(request->x), static_cast<short>(request->y), &g[0], &g[1], &g[2]) ==
          0) {
    const double fgx = std::floor(g[0]);
    const double fgy = std::floor(g[1]);
    hit = fgx >= 0.0 && fgx <= m_cols - 2 && fgy >= 0.0 && fgy <= m_rows - 2;
  }
  if (!hit) {
    m_pickPos[0] = -1.0f;
  } else {
    m_pickPos[0] = g[0];
    m_pickPos[1] = g[1];
    m_pickPos[2] = g[2];
    const double dx = static_cast<double>(m_bounds[1]) - m_bounds[0];
    const double dy = static_cast<double>(m_bounds[3]) - m_bounds[2];
    // Bounds without extent put every column (row) at their minimum.
    const double x = std::fabs(dx) > 1e-9 ? g[0] / (m_cols - 1.0) * dx + m_bounds[0] : m_bounds[0];
    const double y = std::fabs(dy) > 1e-9 ? g[1] / (m_rows - 1.0) * dy + m_bounds[2] : m_bounds[2];
    const int row = static_cast<int>(g[1]);
    const int col = static_cast<int>(g[0]);
    double height = 0.0;
    unsigned colour = 0;
    if (!Blend(row, col, g[1] - std::floor(g[1]), g[0] - std::floor(g[0]), &height, &colour)) {
      hit = 0;
    } else {
      GetSharedPick()->colour = colour;
      if (out && request->mode == 0) {
        out->x = x;
        out->y = y;
        out->z = height;
        out->colour = colour;
        out->node = this;
        out->found = 1;
      }
    }
  }
  glPopMatrix();
  return hit;
}

int Sd_BasicDTM::ValueAt(double x, double y, int user) {
  if (!HasDrawableGrids()) return 0;
  if (!(x >= m_bounds[0] && x <= m_bounds[1] && y >= m_bounds[2] && y <= m_bounds[3])) return 0;
  double ry, cx;
  GridPosition(x, y, &ry, &cx);
  const double row = std::floor(ry);
  const double col = std::floor(cx);
  if (!(row >= 0.0 && row <= m_rows - 2 && col >= 0.0 && col <= m_cols - 2)) return 1;
  double height = 0.0;
  unsigned colour = 0;
  if (!Blend(static_cast<int>(row), static_cast<int>(col), ry - row, cx - col, &height, &colour)) return 0;
  GetSharedPick()->colour = colour;
  SetQueryPoint(x, y, height);
  CallQueryCallback(x, y, height, user);
  return 1;
}

double Sd_BasicDTM::GeoPickPoint(double x, double y, unsigned* colour) {
  if (!HasDrawableGrids()) return kNoHeight;
  if (!(x >= m_bounds[0] && x <= m_bounds[1] && y >= m_bounds[2] && y <= m_bounds[3])) return kNoHeight;
  double ry, cx;
  GridPosition(x, y, &ry, &cx);
  double row = std::floor(ry);
  double col = std::floor(cx);
  double fy = ry - row;
  double fx = cx - col;
  // On the top (right) edge the cell below (left) answers, at its far side,
  // so the edge node's own height comes back.
  if (row >= m_rows - 1) {
    row = m_rows - 2;
    fy = 1.0;
  }
  if (col >= m_cols - 1) {
    col = m_cols - 2;
    fx = 1.0;
  }
  if (!(row >= 0.0 && col >= 0.0)) return kNoHeight;
  double height = 0.0;
  unsigned c = 0;
  if (!Blend(static_cast<int>(row), static_cast<int>(col), fy, fx, &height, &c)) return kNoHeight;
  if (colour) *colour = c;
  return height;
}
