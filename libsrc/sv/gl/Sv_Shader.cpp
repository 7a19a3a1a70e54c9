#include "Sv_Shader.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "Sv_Debug.h"
#include "Sv_Types.h"
#include "TDR_Colormap.h"

namespace {

float Clamp(float v, float lo, float hi, float fallback) {
  if (!std::isfinite(v)) return fallback;
  return v < lo ? lo : (v > hi ? hi : v);
}

constexpr float kHalfPi = 1.5707963f;
// Flat ground never counts as darker than this, so the light ratio stays finite.
constexpr float kLeastFlatLight = 1e-3f;

}  // namespace

Sv_Shader::Sv_Shader(int rows, int samplesPerRow)
    : m_rows(rows > 0 && samplesPerRow > 0 ? rows : 0),
      m_samples(rows > 0 && samplesPerRow > 0 ? samplesPerRow : 0),
      m_colormap(static_cast<unsigned int*>(malloc(256 * sizeof(unsigned int)))),
      m_heightFn(nullptr),
      m_heightData(nullptr),
      m_altFn(nullptr),
      m_altData(nullptr),
      m_colorFn(nullptr),
      m_colorData(nullptr),
      m_altMode(0),
      m_heightRange{0.0, 1.0},
      m_altRange{0.0, 1.0},
      m_azimuth(0.0f),
      m_strength(0.0f),
      m_ambient(0.0f),
      m_relief(0.0f),
      m_elevation(0.0f),
      m_highlight(0.0f),
      m_sun{0.0f, 0.0f, 1.0f},
      m_flatLight(1.0f),
      m_nextRow(-1),
      m_started(false),
      m_buffers{nullptr, nullptr, nullptr},
      m_below(nullptr),
      m_at(nullptr),
      m_above(nullptr) {
  TDR_UtlBuiltInColormap(m_colormap);
  if (m_samples > 0) {
    for (unsigned short*& b : m_buffers) {
      b = static_cast<unsigned short*>(calloc(static_cast<size_t>(m_samples), sizeof(unsigned short)));
    }
    if (!m_buffers[0] || !m_buffers[1] || !m_buffers[2] || !m_colormap) {
      // Out of memory: a shader that shades nothing.
      m_rows = 0;
      m_samples = 0;
    }
  }
  SetSun(kDefaultAzimuth, kDefaultStrength, kDefaultAmbient, kDefaultRelief, kDefaultElevation,
         kDefaultHighlight);
}

Sv_Shader::~Sv_Shader() {
  for (unsigned short* b : m_buffers) free(b);
  free(m_colormap);
}

int Sv_Shader::LoadColormap(const char* file) {
  if (!file || !*file) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Opening colormap file - ", "no colour-map file named");
    return -1;
  }
  if (!m_colormap) return -1;
  // The reader reports its own failures (a missing file once per process)
  // and leaves the table unchanged: the built-in ramp stands in.
  return TDR_UtlReadColormapOnce(file, m_colormap) ? 0 : -1;
}

void Sv_Shader::SetHeightCallback(HeightRowSource fn, void* data) {
  m_heightFn = fn;
  m_heightData = data;
}

void Sv_Shader::SetHeightRange(double zmin, double zmax) {
  m_heightRange[0] = zmin;
  m_heightRange[1] = zmax;
}

void Sv_Shader::SetAltHeightCallback(HeightRowSource fn, void* data) {
  m_altFn = fn;
  m_altData = data;
}

void Sv_Shader::SetAltHeightRange(double min, double max) {
  m_altRange[0] = min;
  m_altRange[1] = max;
}

void Sv_Shader::SetAltHeightMode(int on) { m_altMode = on ? 1 : 0; }

void Sv_Shader::SetColorSourceCallback(ColorRowSource fn, void* data) {
  m_colorFn = fn;
  m_colorData = data;
}

void Sv_Shader::SetSun(float azimuth, float strength, float ambient, float relief, float elevation,
                       float highlight) {
  m_azimuth = std::isfinite(azimuth) ? azimuth : kDefaultAzimuth;
  m_strength = Clamp(strength, 0.0f, 1.0f, kDefaultStrength);
  m_ambient = Clamp(ambient, 0.0f, 1.0f, kDefaultAmbient);
  m_relief = Clamp(relief, 0.0f, 1e6f, kDefaultRelief);
  m_elevation = Clamp(elevation, 0.0f, kHalfPi, kDefaultElevation);
  m_highlight = Clamp(highlight, 0.0f, 1.0f, kDefaultHighlight);

  const double ce = std::cos(double(m_elevation));
  m_sun[0] = static_cast<float>(std::sin(double(m_azimuth)) * ce);
  m_sun[1] = static_cast<float>(std::cos(double(m_azimuth)) * ce);
  m_sun[2] = static_cast<float>(std::sin(double(m_elevation)));
  m_flatLight = m_ambient + (1.0f - m_ambient) * (m_sun[2] > 0.0f ? m_sun[2] : 0.0f);
  if (m_flatLight < kLeastFlatLight) m_flatLight = kLeastFlatLight;

  m_started = false;
  m_nextRow = m_rows > 0 ? (GetRowStep() > 0 ? 0 : m_rows - 1) : -1;
}

int Sv_Shader::GetRowStep() const { return m_azimuth < 0.0f ? -1 : 1; }

int Sv_Shader::GetNextRow() const { return m_nextRow; }

float Sv_Shader::LightFactor(float gx, float gy, float* highlight) const {
  const float norm = std::sqrt(gx * gx + gy * gy + 1.0f);
  const float d = (-gx * m_sun[0] - gy * m_sun[1] + m_sun[2]) / norm;
  const float light = m_ambient + (1.0f - m_ambient) * (d > 0.0f ? d : 0.0f);
  if (highlight) {
    const float room = 1.0f - m_flatLight;
    *highlight = (light > m_flatLight && room > 1e-6f) ? m_strength * m_highlight * (light - m_flatLight) / room : 0.0f;
  }
  return 1.0f + m_strength * (light / m_flatLight - 1.0f);
}

unsigned int Sv_Shader::ApplyLight(unsigned int colour, float factor, float highlight) {
  unsigned int out = colour & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    float c = static_cast<float>((colour >> shift) & 0xFFu) * factor;
    if (!(c > 0.0f)) c = 0.0f;
    if (c > 255.0f) c = 255.0f;
    c += (255.0f - c) * highlight;
    unsigned int v = static_cast<unsigned int>(c + 0.5f);
    if (v > 255u) v = 255u;
    out |= v << shift;
  }
  return out;
}

unsigned short* Sv_Shader::FetchRow(int row, unsigned short* into) {
  if (row < 0 || row >= m_rows) return nullptr;
  const unsigned short* src = m_heightFn(row, m_heightData);
  if (src) {
    memcpy(into, src, static_cast<size_t>(m_samples) * sizeof(unsigned short));
  } else {
    memset(into, 0, static_cast<size_t>(m_samples) * sizeof(unsigned short));
  }
  return into;
}

void Sv_Shader::StartSweep() {
  m_started = true;
  const int r = m_nextRow;
  // The row itself first, then its neighbours in sweep order.
  m_at = FetchRow(r, m_buffers[0]);
  if (GetRowStep() > 0) {
    m_above = FetchRow(r + 1, m_buffers[2]);
    m_below = FetchRow(r - 1, m_buffers[1]);
  } else {
    m_below = FetchRow(r - 1, m_buffers[1]);
    m_above = FetchRow(r + 1, m_buffers[2]);
  }
}

int Sv_Shader::ShadeRow(unsigned int* destination) {
  if (!destination || !m_heightFn || m_nextRow < 0 || m_nextRow >= m_rows) return -1;
  if (!m_started) StartSweep();
  ShadeInto(destination);

  // Advance: the row copies move one place; one new row is fetched.
  const int r = m_nextRow;
  const int step = GetRowStep();
  const int next = r + step;
  if (next < 0 || next >= m_rows) {
    m_nextRow = -1;
    return 0;
  }
  m_nextRow = next;
  // Buffers are handed round by role; a role without a row keeps a buffer.
  unsigned short* bufBelow = m_buffers[1];
  unsigned short* bufAt = m_buffers[0];
  unsigned short* bufAbove = m_buffers[2];
  if (step > 0) {
    m_buffers[1] = bufAt;
    m_buffers[0] = bufAbove;
    m_buffers[2] = bufBelow;
    m_below = m_at;
    m_at = m_above;
    m_above = FetchRow(next + 1, m_buffers[2]);
  } else {
    m_buffers[2] = bufAt;
    m_buffers[0] = bufBelow;
    m_buffers[1] = bufAbove;
    m_above = m_at;
    m_at = m_below;
    m_below = FetchRow(next - 1, m_buffers[1]);
  }
  return 0;
}

void Sv_Shader::ShadeInto(unsigned int* destination) {
  const int r = m_nextRow;
  const int n = m_samples;
  // Cells are square; the grid's longer side spans one unit and the full
  // code range spans the relief.
  int span = (m_rows > n ? m_rows : n) - 1;
  if (span < 1) span = 1;
  const bool flat = !(m_heightRange[1] > m_heightRange[0]);
  const float heightScale = flat ? 0.0f : m_relief / 65535.0f * static_cast<float>(span);

  const unsigned int* colours = m_colorFn ? m_colorFn(r, m_colorData) : nullptr;
  const unsigned short* index = m_at;
  if (!colours && m_altMode && m_altFn) {
    const unsigned short* alt = m_altFn(r, m_altData);
    if (alt) index = alt;
  }

  for (int c = 0; c < n; ++c) {
    const unsigned int base = colours ? colours[c] : m_colormap[index[c] >> 8];
    const unsigned short h = m_at[c];
    if (h == 0 || heightScale == 0.0f) {
      destination[c] = base;
      continue;
    }
    // Neighbours without a value (code 0) or beyond the grid's edge are left
    // out of the differences, so gaps do not show as cliffs.
    float hl = h, hr = h, hd = h, hu = h;
    int dl = 0, dr = 0, dd = 0, du = 0;
    if (c > 0 && m_at[c - 1]) { hl = m_at[c - 1]; dl = 1; }
    if (c + 1 < n && m_at[c + 1]) { hr = m_at[c + 1]; dr = 1; }
    if (m_below && m_below[c]) { hd = m_below[c]; dd = 1; }
    if (m_above && m_above[c]) { hu = m_above[c]; du = 1; }
    const float gx = (dl + dr) ? (hr - hl) * heightScale / static_cast<float>(dl + dr) : 0.0f;
    const float gy = (dd + du) ? (hu - hd) * heightScale / static_cast<float>(dd + du) : 0.0f;
    float highlight = 0.0f;
    const float factor = LightFactor(gx, gy, &highlight);
    destination[c] = ApplyLight(base, factor, highlight);
  }
}
