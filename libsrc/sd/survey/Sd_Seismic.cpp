// Seismic curtain: records, settings, the image-to-track geometry and the
// track tree.
#include "Sd_Seismic.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Sv_Debug.h"
#include "Sv_ImageIO.h"
#include "Sv_Stdio.h"
#include "Sv_TexturedSurface.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

constexpr const char* kLoadError = "Error loading seismic object.\n";
constexpr const char* kNoImage = "Error loading seismic object. Its image record is missing: a %s record follows the curtain.";
constexpr const char* kSaveError = "Error saving seismic object.\n";
constexpr const char* kWidthMessage = "ERROR: Sd_Seismic::LoadObject - length does not match image width";

// 1 / range, or 1 for an empty range (a curtain of one point, or of equal
// heights, stays finite).
double InverseRange(double lo, double hi) { return hi > lo ? 1.0 / (hi - lo) : 1.0; }

}  // namespace

Sd_Seismic::Sd_Seismic()
    : m_loaded(0),
      m_zBottom(0.0),
      m_zTop(0.0),
      m_trackCount(0),
      m_lodStep(10),
      m_textureMode(2),
      m_alphaTest(1),
      m_autoLod(1),
      m_minStep(1),
      m_first(-1),
      m_last(-1),
      m_visible{},
      m_textureDetail(0),
      m_innerCount(0),
      m_leafCount(0),
      m_tileRows(0),
      m_tileCols(0),
      m_lowS(1.0f),
      m_lowT(1.0f),
      m_centre{},
      m_inverse{1.0, 1.0, 1.0},
      m_origin{},
      m_stepState(0),
      m_pushCount(0),
      m_stepIncrement(1),
      m_tileRow(0),
      m_tileColumn(0),
      m_columnCursor(0) {
  SetType(kTypeId);
  ReadConfiguration();
}

Sd_Seismic::~Sd_Seismic() { FreeData(); }

const char* Sd_Seismic::className() const { return "Sd_Seismic"; }

void Sd_Seismic::ReadConfiguration() { Sv_UtlReadConfigInt("VCurtainClass", 3, &m_textureMode); }

void Sd_Seismic::FreeData() {
  // The texture goes before the image it shows.
  m_texture.reset();
  m_image.reset();
  m_track.clear();
  m_colBounds.clear();
  m_rowZ.clear();
  m_sMax.clear();
  m_tMax.clear();
  m_tree.clear();
  m_trackCount = m_innerCount = m_leafCount = m_tileRows = m_tileCols = 0;
  m_first = m_last = -1;
  m_origin[0] = m_origin[1] = 0.0;
  m_loaded = 0;
  Sd_Node::FreeData();
}

// --- records ---

int Sd_Seismic::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  FreeData();
  if (ReadTrackRecord(manager) != 0) return -1;
  for (double v : m_track) {
    if (!std::isfinite(v)) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR: Sd_Seismic::LoadObject - track point not finite",
                        manager->GetFileName());
      FreeData();
      return -1;
    }
  }
  if (!std::isfinite(m_zBottom) || !std::isfinite(m_zTop)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR: Sd_Seismic::LoadObject - heights not finite", manager->GetFileName());
    FreeData();
    return -1;
  }
  m_image.reset(new Sv_ImageIO());
  if (m_image->LoadFromTDR(manager) != 0) {
    // The reader stopped at a record that is no image, or the image failed.
    const int found = manager->GetTag();
    char name[TDR_TAG_NAME_SIZE] = "";
    if (found != TDR_TAG_SCALAR && found != TDR_TAG_ERROR && TDR_Manager::TagName(found, name) == found) {
      Sv_Debug::Error(kNoImage, name);
    } else {
      Sv_Debug::Error("%s", kLoadError);
    }
    FreeData();
    return -1;
  }
  m_loaded = 1;
  if (m_trackCount != m_image->GetWidth()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, kWidthMessage);
    // The object's trailing records go with it.
    Sd_Node::ReadCommonTags(manager);
    FreeData();
    return -1;
  }
  if (Assemble() != 0) {
    Sv_Debug::Error("%s", kLoadError);
    FreeData();
    return -1;
  }
  if (ReadCommonTags(manager) != 0) {
    FreeData();
    return -1;
  }
  return 0;
}

int Sd_Seismic::ReadTrackRecord(TDR_Manager* manager) {
  // A recorded length of 0: the header was closed at once and the fields
  // follow it, so they are taken into the payload as they are read.
  const bool afterHeader = manager->GetTagLength() == 0;
  const long long head = (manager->GetTagVersion() == 0 ? 4 : 0) + 8 + 8 + 4;
  const char* const damaged = "ERROR: Sd_Seismic::LoadObject - damaged curtain record";
  const auto refuse = [&](const char* text) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, text, manager->GetFileName());
    if (afterHeader) manager->KeepRecordedLength();
    FreeData();
    return -1;
  };
  if (afterHeader && manager->ExtendPayload(head) != 0) {
    return refuse(damaged);
  }
  TDR_PayloadReader in(manager);
  in.SkipFormatNumber();
  int count = -1;
  in.Float64(&m_zBottom);
  in.Float64(&m_zTop);
  in.Int32(&count);
  if (afterHeader && in.Ok() && count >= 0 && manager->ExtendPayload(static_cast<long long>(count) * 16) != 0) {
    in.Fail();
  }
  // Each point is two f64: the count must fit the payload before anything
  // is allocated.
  if (!in.Ok() || count < 0 || static_cast<long long>(count) * 16 > in.Left()) {
    return refuse(damaged);
  }
  m_track.resize(static_cast<size_t>(count) * 2);
  if (count > 0 && !in.Float64s(m_track.data(), count * 2)) return refuse(damaged);
  m_trackCount = count;
  // Fields taken from after the header are the curtain's only when a
  // record follows them: the image record, or another one when the image
  // is missing (LoadObject says so). Otherwise they were no fields.
  if (afterHeader && manager->PeekTag() == TDR_TAG_ERROR) {
    return refuse("ERROR: Sd_Seismic::LoadObject - the curtain record holds no fields, and none follow it");
  }
  return 0;
}

int Sd_Seismic::SetCurtain(const double* xy, int count, double zBottom, double zTop,
                           std::unique_ptr<Sv_ImageIO> image) {
  FreeData();
  if (!image || !xy || count < 0 || count != image->GetWidth() || !std::isfinite(zBottom) || !std::isfinite(zTop))
    return -1;
  m_track.assign(xy, xy + static_cast<size_t>(count) * 2);
  for (double v : m_track) {
    if (!std::isfinite(v)) {
      FreeData();
      return -1;
    }
  }
  m_trackCount = count;
  m_zBottom = zBottom;
  m_zTop = zTop;
  m_image = std::move(image);
  m_loaded = 1;
  if (Assemble() != 0) {
    FreeData();
    return -1;
  }
  return 0;
}

int Sd_Seismic::Assemble() {
  m_texture.reset(new Sv_TexturedSurface());
  if (m_texture->SetImage(m_image.get()) != 0) return -1;
  m_tileRows = m_texture->GetNumTilesY();
  m_tileCols = m_texture->GetNumTilesX();
  if (m_textureMode == 2 && m_tileRows * m_tileCols > 16) m_textureMode = 0;
  BuildGeometry();
  if (m_trackCount > 0) {
    m_origin[0] = m_track[0];
    m_origin[1] = m_track[1];
    for (int i = 0; i < m_trackCount; ++i) {
      m_track[2 * i] -= m_origin[0];
      m_track[2 * i + 1] -= m_origin[1];
    }
  }
  BuildTrackTree();
  return 0;
}

int Sd_Seismic::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag != TDR_TAG_SD_SEISMIC_ATB) return 0;
  TDR_PayloadReader in(manager);
  const int version = manager->GetTagVersion();
  float format = 2.0f;
  if (version == 0) in.Float32(&format);
  int step = 0, mode = 0, alpha = m_alphaTest, autoLod = m_autoLod;
  in.Int32(&step);
  in.Int32(&mode);
  // The alpha test and automatic detail came with the second format.
  if (version >= 2 || (version == 0 && format >= 2.0f)) {
    in.Int32(&alpha);
    in.Int32(&autoLod);
  }
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR: Damaged curtain settings record; defaults kept",
                      manager->GetFileName());
    return 1;
  }
  m_lodStep = UsableStep(step);
  m_textureMode = mode;
  m_alphaTest = alpha;
  m_autoLod = autoLod;
  return 1;
}

int Sd_Seismic::WriteCommonTags(TDR_Manager* manager) {
  if (!manager || Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_SEISMIC_ATB, 2, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Int32(m_lodStep);
  out.Int32(m_textureMode);
  out.Int32(m_alphaTest);
  out.Int32(m_autoLod);
  return out.Ok() && manager->EndTag() == 0 ? 0 : -1;
}

int Sd_Seismic::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager) return -1;
  if (!m_image || !m_image->GetData()) {
    Sv_Debug::Error("%s", kSaveError);
    return -1;
  }
  if (manager->WriteTag(TDR_TAG_SD_SEISMIC, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Float64(m_zBottom);
  out.Float64(m_zTop);
  out.Int32(m_trackCount);
  for (int i = 0; i < m_trackCount; ++i) {
    double x = 0.0, y = 0.0;
    GetTrackPoint(i, &x, &y);
    out.Float64(x);
    out.Float64(y);
  }
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  if (m_image->SaveToTDR(manager) != 0) {
    Sv_Debug::Error("%s", kSaveError);
    return -1;
  }
  return withCommonTags ? WriteCommonTags(manager) : 0;
}

int Sd_Seismic::WriteSample(TDR_Manager* manager) {
  // Five track points along a bend and a 5 x 2 grey image.
  static const double kTrack[10] = {500000.0, 6000000.0, 500010.0, 6000002.0, 500020.0,
                                    6000006.0, 500028.0, 6000012.0, 500034.0, 6000020.0};
  static const unsigned char kGrey[10] = {0, 40, 80, 120, 160, 200, 240, 20, 60, 100};
  std::unique_ptr<Sv_ImageIO> image(new Sv_ImageIO());
  if (image->SetData(5, 2, kGrey, 5) != 0) return -1;
  Sd_Seismic curtain;
  curtain.m_lodStep = 2;
  curtain.m_textureMode = 1;
  curtain.m_autoLod = 0;
  if (curtain.SetCurtain(kTrack, 5, -120.0, -20.0, std::move(image)) != 0) return -1;
  return curtain.SaveObject(manager, 1, 0);
}

// --- settings ---

void Sd_Seismic::SaveSettings() { KeepDetailSettings(m_lodStep, m_autoLod, m_textureMode); }

void Sd_Seismic::RestoreSettings() { KeptDetailSettings(&m_lodStep, &m_autoLod, &m_textureMode); }

int Sd_Seismic::ResetSettings() {
  m_lodStep = 1;
  m_textureMode = 1;
  m_autoLod = 0;
  return 1;
}

// --- geometry ---

void Sd_Seismic::GetTrackPoint(int i, double* x, double* y) const {
  if (i < 0 || i >= m_trackCount) {
    *x = *y = 0.0;
    return;
  }
  *x = m_track[2 * i] + m_origin[0];
  *y = m_track[2 * i + 1] + m_origin[1];
}

int Sd_Seismic::GetColumnBound(int c) const {
  return c >= 0 && c < static_cast<int>(m_colBounds.size()) ? m_colBounds[c] : 0;
}

float Sd_Seismic::GetRowHeight(int r) const {
  return r >= 0 && r < static_cast<int>(m_rowZ.size()) ? m_rowZ[r] : 0.0f;
}

const Sd_Seismic::TreeNode* Sd_Seismic::GetTreeNode(int i) const {
  return i >= 0 && i < static_cast<int>(m_tree.size()) ? &m_tree[i] : nullptr;
}

void Sd_Seismic::BuildGeometry() {
  double lo[2] = {1e20, 1e20}, hi[2] = {-1e20, -1e20};
  for (int i = 0; i < m_trackCount; ++i) {
    double p[2];
    GetTrackPoint(i, &p[0], &p[1]);
    for (int a = 0; a < 2; ++a) {
      lo[a] = std::min(lo[a], p[a]);
      hi[a] = std::max(hi[a], p[a]);
    }
  }
  if (m_trackCount == 0) lo[0] = lo[1] = hi[0] = hi[1] = 0.0;
  SetBounds(0, static_cast<float>(lo[0]), static_cast<float>(hi[0]));
  SetBounds(1, static_cast<float>(lo[1]), static_cast<float>(hi[1]));
  SetBounds(2, static_cast<float>(m_zBottom), static_cast<float>(m_zTop));
  m_centre[0] = -0.5 * (lo[0] + hi[0]);
  m_centre[1] = -0.5 * (lo[1] + hi[1]);
  m_centre[2] = -0.5 * (m_zBottom + m_zTop);
  m_inverse[0] = InverseRange(lo[0], hi[0]);
  m_inverse[1] = InverseRange(lo[1], hi[1]);
  m_inverse[2] = InverseRange(m_zBottom, m_zTop);

  m_colBounds.assign(static_cast<size_t>(m_tileCols) + 1, 0);
  m_rowZ.assign(static_cast<size_t>(m_tileRows) + 1, 0.0f);
  m_sMax.assign(static_cast<size_t>(m_tileCols), 0.0f);
  m_tMax.assign(static_cast<size_t>(m_tileRows), 0.0f);
  if (!m_texture || m_tileCols < 1 || m_tileRows < 1) return;
  m_lowS = m_texture->GetFirstSMax();
  m_lowT = m_texture->GetFirstTMax();
  for (int c = 0; c < m_tileCols; ++c) m_sMax[c] = m_texture->GetSMax(c);
  for (int r = 0; r < m_tileRows; ++r) m_tMax[r] = m_texture->GetTMax(r);
  // Fractions of the image that tile column 0 and tile row 0 take, from the
  // texture's upright-less vertex grid.
  const float w = m_texture->GetVertex(0, 1)[0] - m_texture->GetVertex(0, 0)[0];
  const float h = m_texture->GetVertex(1, 0)[1] - m_texture->GetVertex(0, 0)[1];
  const int lastPoint = std::max(m_trackCount - 1, 0);
  for (int c = 0; c < m_tileCols; ++c) {
    const int b = static_cast<int>(static_cast<double>(c) * lastPoint * w);
    m_colBounds[c] = std::clamp(b, 0, lastPoint);
  }
  m_colBounds[m_tileCols] = lastPoint;
  for (int r = 0; r < m_tileRows; ++r) {
    m_rowZ[r] = static_cast<float>(m_zBottom + r * (m_zTop - m_zBottom) * h);
  }
  m_rowZ[m_tileRows] = static_cast<float>(m_zTop);
}

void Sd_Seismic::BuildTrackTree() {
  m_tree.clear();
  m_innerCount = m_leafCount = 0;
  if (m_trackCount < 1) return;
  m_leafCount = (m_trackCount + kLeafPoints - 1) / kLeafPoints;
  int levels = 0;  // floor(log2(leaves))
  while ((2 << levels) <= m_leafCount) ++levels;
  m_innerCount = (2 << levels) - 1;
  const TreeNode empty = {INT_MAX, -1, 1e15f, 1e15f, -1e15f, -1e15f};
  m_tree.assign(static_cast<size_t>(m_innerCount) + m_leafCount, empty);
  for (int k = 0; k < m_leafCount; ++k) {
    TreeNode& leaf = m_tree[m_innerCount + k];
    leaf.first = k * kLeafPoints;
    leaf.end = std::min((k + 1) * kLeafPoints, m_trackCount);
    for (int i = leaf.first; i < leaf.end; ++i) {
      const double x = m_track[2 * i], y = m_track[2 * i + 1];
      leaf.xmin = std::min(leaf.xmin, x);
      leaf.xmax = std::max(leaf.xmax, x);
      leaf.ymin = std::min(leaf.ymin, y);
      leaf.ymax = std::max(leaf.ymax, y);
    }
  }
  for (int i = static_cast<int>(m_tree.size()) - 1; i >= 1; --i) {
    const TreeNode& child = m_tree[i];
    TreeNode& parent = m_tree[(i - 1) / 2];
    parent.first = std::min(parent.first, child.first);
    parent.end = std::max(parent.end, child.end);
    parent.xmin = std::min(parent.xmin, child.xmin);
    parent.ymin = std::min(parent.ymin, child.ymin);
    parent.xmax = std::max(parent.xmax, child.xmax);
    parent.ymax = std::max(parent.ymax, child.ymax);
  }
}

void Sd_Seismic::MakeMask() {
  if (!m_image || !m_image->GetData()) return;
  const int channels = m_image->GetChannels();
  if (m_image->GetBytesPerChannel() != 1 || (channels != 4 && channels != 2)) {
    Sv_Debug::Info("Creating masks only supported for RGBA and grey-alpha images.");
    return;
  }
  for (int r = 0; r < m_image->GetHeight(); ++r) {
    unsigned char* p = m_image->GetRow(r);
    for (int c = 0; c < m_image->GetWidth(); ++c, p += channels) {
      const bool black = channels == 4 ? (p[0] == 0 && p[1] == 0 && p[2] == 0) : p[0] == 0;
      if (black) p[channels - 1] = 0;
    }
  }
  if (m_texture) m_texture->SetImage(m_image.get());
}

// --- windowing ---

bool Sd_Seismic::NodeVisible(int node) const {
  const TreeNode* n = GetTreeNode(node);
  if (!n) return false;
  return !(m_visible[0] > n->xmax || m_visible[1] < n->xmin || m_visible[2] > n->ymax || m_visible[3] < n->ymin);
}

int Sd_Seismic::FindEdgeLeaf(int node, bool leftmost) const {
  if (node < 0 || node >= static_cast<int>(m_tree.size()) || !NodeVisible(node)) return -1;
  if (node >= m_innerCount) return node;
  const int a = 2 * node + (leftmost ? 1 : 2);
  const int b = 2 * node + (leftmost ? 2 : 1);
  const int found = FindEdgeLeaf(a, leftmost);
  return found >= 0 ? found : FindEdgeLeaf(b, leftmost);
}

void Sd_Seismic::SetVisibleBox(const float box[6]) { std::copy(box, box + 6, m_visible); }

bool Sd_Seismic::UpdateVisibleRange() {
  const int left = FindEdgeLeaf(0, true);
  const int right = FindEdgeLeaf(0, false);
  m_first = left >= 0 ? m_tree[left].first : -1;
  m_last = right >= 0 ? m_tree[right].end : -1;
  return m_first >= 0 && m_last >= 0 && m_first < m_last;
}
