// Spherical terrain model: records, tables, radii, latitude functions,
// graticule and height queries.
#include "Sd_SphereDTM.h"

#include <algorithm>
#include <cmath>

#include "Sv_Debug.h"
#include "Sv_Types.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180.0;
// Mercator rows stop at this latitude (degrees), where y is still finite.
constexpr double kMercatorLimit = 85.0;
// Single-precision pi / 2, the arcsine's limit outside -0.999 ... 0.999.
constexpr double kHalfPi = 1.5707964;
// Longitude ranges within this of 360 degrees close the ring at the seam.
constexpr double kFullCircleTolerance = 1.0;

constexpr const char* kNoScalarMessage = "Reading tag to load sphere object  -  expected TDR_TAG_SCALAR!";
constexpr const char* kSizeMessage = "ERROR:  A spherical DTM needs at least 2 x 2 nodes";
constexpr const char* kDamagedSettings = "ERROR:  Damaged spherical DTM settings record; defaults kept";

// Settings record: draw mode, alpha, stride, automatic stride, a reserved
// word, exaggeration; version 2 adds graticule, back faces, Mercator rows.
constexpr int kSettingsVersion = 2;

}  // namespace

Sd_SphereDTM::Sd_SphereDTM()
    : m_heightScale(0.0),
      m_baseRadius(0.0),
      m_mercatorRows(0),
      m_showGraticule(0),
      m_drawBackFaces(0),
      m_exaggeration(12.0f),
      m_pickPoint{0.0f, 0.0f, 0.0f},
      m_wrapsAround(0) {
  SetType(kTypeId);
  SetRedrawPending(0);
  SetDrawn(1);
  BuildGraticule();
}

Sd_SphereDTM::~Sd_SphereDTM() {}

const char* Sd_SphereDTM::className() const { return "Spherical DTM"; }

void Sd_SphereDTM::FreeData() {
  for (std::vector<float>* table : {&m_latCos, &m_lonCos, &m_latSin, &m_lonSin}) std::vector<float>().swap(*table);
  Sd_BaseDTM::FreeData();
}

// --- records ---

int Sd_SphereDTM::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  FreeData();
  if (manager->GetTagVersion() == 0) {
    TDR_PayloadReader in(manager);
    float format = 0.0f;
    if (!in.Float32(&format)) return -1;
  }
  m_drawMode = 1;
  SetScale(1.0f, 1.0f, 1.0f);
  // Any finite longitude, latitude and height range draws: a flat range
  // puts every column (row) on one meridian (parallel), an inverted one
  // runs the other way and answers no pick.
  if (LoadGridRecords(manager, kNoScalarMessage, kNoScalarMessage, kSizeMessage) != 0) return -1;
  BuildSinCosTables();
  UpdateRadiusScale();
  return 0;
}

int Sd_SphereDTM::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager || !ElevationRows() || !ColourRows()) return -1;
  if (manager->WriteTag(TDR_TAG_SD_SPHEREDTM, 1, 0, 0, 1) != 0 || manager->EndTag() != 0) return -1;
  return SaveGridRecords(manager, withCommonTags);
}

int Sd_SphereDTM::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag != TDR_TAG_SD_SPHEREDTM_ATB) return 0;
  TDR_PayloadReader in(manager);
  float version = static_cast<float>(manager->GetTagVersion());
  if (version == 0.0f) in.Float32(&version);
  short mode = 0;
  int words[4] = {0, 0, 0, 0};
  float exaggeration = 0.0f;
  int flags[3] = {m_showGraticule, m_drawBackFaces, m_mercatorRows};
  in.Read(&mode, 2, 1);
  in.Int32s(words, 4);
  in.Float32(&exaggeration);
  // The last three fields came with version 2.
  if (version == 2.0f) in.Int32s(flags, 3);
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, kDamagedSettings, manager->GetFileName());
    return 1;
  }
  m_drawMode = mode;
  m_alpha = std::clamp(words[0], 0, 255);
  m_lodStep = UsableStep(words[1]);
  m_autoLod = words[2];
  // words[3] is reserved.
  if (std::isfinite(exaggeration)) m_exaggeration = exaggeration;
  m_showGraticule = flags[0];
  m_drawBackFaces = flags[1];
  m_mercatorRows = flags[2] != 0;
  return 1;
}

int Sd_SphereDTM::WriteCommonTags(TDR_Manager* manager) {
  if (!manager || Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_SPHEREDTM_ATB, kSettingsVersion, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  WriteDrawSettings(out);
  out.Float32(m_exaggeration);
  out.Int32(m_showGraticule);
  out.Int32(m_drawBackFaces);
  out.Int32(m_mercatorRows);
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  return 0;
}

int Sd_SphereDTM::WriteSample(TDR_Manager* manager) {
  Sd_SphereDTM dtm;
  if (dtm.FillSample(5, 9) != 0) return -1;
  // A whole globe from 80 degrees south to 80 north, every 45 degrees of
  // longitude and 40 of latitude.
  dtm.SetBounds(0, -180.0f, 180.0f);
  dtm.SetBounds(1, -80.0f, 80.0f);
  dtm.SetBounds(2, -6000.0f, 4000.0f);
  dtm.m_lodStep = 2;
  dtm.m_showGraticule = 1;
  dtm.m_exaggeration = 20.0f;
  return dtm.SaveObject(manager, 1, 0);
}

// --- tables and radii ---

void Sd_SphereDTM::UpdateRadiusScale() {
  m_baseRadius = m_bounds[4] * static_cast<double>(m_exaggeration) / kEarthRadius + 0.5;
  m_heightScale = (static_cast<double>(m_bounds[5]) - m_bounds[4]) * m_exaggeration / (65535.0 * kEarthRadius);
  const double range = static_cast<double>(m_bounds[1]) - m_bounds[0];
  m_wrapsAround = std::fabs(360.0 - range) < kFullCircleTolerance ? 1 : 0;
}

void Sd_SphereDTM::SetExaggeration(float exaggeration) {
  m_exaggeration = exaggeration;
  UpdateRadiusScale();
}

double Sd_SphereDTM::RowLatitude(int r) const {
  const double ymin = m_bounds[2], ymax = m_bounds[3];
  const double t = GetRows() > 1 ? static_cast<double>(r) / (GetRows() - 1) : 0.0;
  if (!m_mercatorRows) return (ymin + t * (ymax - ymin)) * kDegree;
  const double p0 = ProjectLatitude(ymin * kDegree);
  const double y = p0 + t * (ProjectLatitude(ymax * kDegree) - p0);
  return 2.0 * (std::atan(std::exp(y)) - kPi / 4.0);
}

void Sd_SphereDTM::BuildSinCosTables() {
  const int rows = GetRows(), cols = GetCols();
  m_latCos.assign(rows, 0.0f);
  m_latSin.assign(rows, 0.0f);
  m_lonCos.assign(cols, 0.0f);
  m_lonSin.assign(cols, 0.0f);
  for (int r = 0; r < rows; ++r) {
    const double phi = RowLatitude(r);
    m_latCos[r] = static_cast<float>(std::cos(phi));
    m_latSin[r] = static_cast<float>(std::sin(phi));
  }
  const double xmin = m_bounds[0], dx = cols > 1 ? (static_cast<double>(m_bounds[1]) - xmin) / (cols - 1) : 0.0;
  for (int c = 0; c < cols; ++c) {
    const double lambda = (xmin + c * dx) * kDegree;
    m_lonCos[c] = static_cast<float>(std::cos(lambda));
    m_lonSin[c] = static_cast<float>(std::sin(lambda));
  }
}

void Sd_SphereDTM::RebuildSinCosTables() { BuildSinCosTables(); }

void Sd_SphereDTM::SetMercatorRows(int on) {
  m_mercatorRows = on != 0;
  BuildSinCosTables();
}

void Sd_SphereDTM::BuildGraticule() {
  for (int i = 0; i < kParallels; ++i) {
    const double phi = (-80.0 + 10.0 * i) * kDegree;
    for (int j = 0; j < kMeridians; ++j) {
      const double lambda = 10.0 * j * kDegree;
      float* p = m_graticule[i][j];
      p[0] = static_cast<float>(0.51 * std::cos(lambda) * std::cos(phi));
      p[1] = static_cast<float>(0.51 * std::sin(lambda) * std::cos(phi));
      p[2] = static_cast<float>(0.51 * std::sin(phi));
      // Southern parallels red, the equator white, northern ones green in
      // the first quarter of longitudes and yellow elsewhere.
      unsigned colour;
      if (i < 8) {
        colour = PackColour(255, 0, 0, 255);
      } else if (i == 8) {
        colour = PackColour(255, 255, 255, 255);
      } else if (j <= 8) {
        colour = PackColour(0, 255, 0, 255);
      } else {
        colour = PackColour(255, 255, 0, 255);
      }
      m_graticuleColors[i][j] = colour;
    }
  }
}

// --- latitude functions ---

double Sd_SphereDTM::ProjectLatitude(double latitude) const {
  if (!m_mercatorRows) return std::sin(latitude);
  const double limit = kMercatorLimit * kDegree;
  const double phi = std::clamp(latitude, -limit, limit);
  return std::log(std::tan(phi / 2.0 + kPi / 4.0));
}

double Sd_SphereDTM::UnprojectLatitude(double v, bool arcsine) const {
  if (m_mercatorRows && !arcsine) return 2.0 * (std::atan(std::exp(v)) - kPi / 4.0);
  if (v < -0.999) return -kHalfPi;
  if (v > 0.999) return kHalfPi;
  return std::asin(v);
}

double Sd_SphereDTM::FractionalRow(double latitude) const {
  const double ymin = m_bounds[2], ymax = m_bounds[3];
  const double rows = GetRows() - 1.0;
  if (m_mercatorRows) {
    const double p0 = ProjectLatitude(ymin * kDegree);
    const double span = ProjectLatitude(ymax * kDegree) - p0;
    return span != 0.0 ? (ProjectLatitude(latitude * kDegree) - p0) * rows / span : 0.0;
  }
  return ymax != ymin ? (latitude - ymin) * rows / (ymax - ymin) : 0.0;
}

double Sd_SphereDTM::FractionalColumn(double longitude) const {
  const double xmin = m_bounds[0], xmax = m_bounds[1];
  return xmax != xmin ? (longitude - xmin) * (GetCols() - 1.0) / (xmax - xmin) : 0.0;
}

int Sd_SphereDTM::LatitudeToRow(double latitude) const {
  const double row = std::floor(FractionalRow(latitude));
  if (!(row > 0.0)) return 0;
  return row >= GetRows() ? GetRows() : static_cast<int>(row);
}

double Sd_SphereDTM::WrapLongitude(double longitude) const {
  const double xmin = m_bounds[0], xmax = m_bounds[1];
  if (longitude < xmin && longitude + 360.0 <= xmax) return longitude + 360.0;
  if (longitude > xmax && longitude - 360.0 >= xmin) return longitude - 360.0;
  return longitude;
}

// --- heights ---

bool Sd_SphereDTM::CellFilled(int row, int col) const {
  unsigned short* const* h = ElevationRows();
  return h[row][col] != 0 && h[row][col + 1] != 0 && h[row + 1][col] != 0 && h[row + 1][col + 1] != 0;
}

bool Sd_SphereDTM::HeightAt(float longitude, float latitude, double* height, unsigned* colour) const {
  if (!HasDrawableGrids()) return false;
  const double lon = static_cast<float>(WrapLongitude(longitude));
  const double lat = latitude;
  if (!(lon >= m_bounds[0] && lon <= m_bounds[1] && lat >= m_bounds[2] && lat <= m_bounds[3])) return false;
  const double fr = FractionalRow(lat);
  const double fc = FractionalColumn(lon);
  if (!(fr >= 0.0 && fc >= 0.0)) return false;
  const int r = static_cast<int>(fr);
  const int c = static_cast<int>(fc);
  // The last row and column have no cell of their own.
  if (r + 1 >= GetRows() || c + 1 >= GetCols()) return false;
  unsigned packed = 0;
  if (!Blend(r, c, fr - r, fc - c, height, &packed)) return false;
  if (colour) *colour = packed;
  return true;
}

double Sd_SphereDTM::GetElevation(double longitude, double latitude) {
  double height = 0.0;
  if (!HeightAt(static_cast<float>(longitude), static_cast<float>(latitude), &height, nullptr)) return 0.0;
  return static_cast<float>(height);
}

int Sd_SphereDTM::ValueAt(double longitude, double latitude, int user) {
  double height = 0.0;
  unsigned colour = 0;
  if (!HeightAt(static_cast<float>(longitude), static_cast<float>(latitude), &height, &colour)) return 0;
  height = static_cast<float>(height);
  GetSharedPick()->colour = colour;
  SetQueryPoint(longitude, latitude, height);
  CallQueryCallback(longitude, latitude, height, user);
  return 1;
}

// --- alpha ---

void Sd_SphereDTM::SetAlpha(int alpha) {
  m_alpha = std::clamp(alpha, 0, 255);
  unsigned int* const* colours = ColourRows();
  if (!colours || m_alpha == 255) return;
  // The last row and column keep their alpha.
  for (int r = 0; r + 1 < GetRows(); ++r) {
    for (int c = 0; c + 1 < GetCols(); ++c) colours[r][c] = ColourWithAlpha(colours[r][c], m_alpha);
  }
}
