// The 2-D reference grid: class file, record and drawing.
#include "Sd_Grid2D.h"

#include <GL/gl.h>

#include <cstdio>

#include "Sv_Colour.h"
#include "Sv_Debug.h"
#include "Sv_LineReader.h"
#include "Sv_Stdio.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

constexpr int kDefaultLines = 50;

// A colour channel given as a number, within 0 ... 255.
unsigned Channel(int v) { return static_cast<unsigned>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

}  // namespace

Sd_Grid2D::Sd_Grid2D()
    : m_firstLines(kDefaultLines), m_secondLines(kDefaultLines), m_colour(0xFFFFFFFFu), m_zPlacement(1) {
  SetType(kTypeId);
  ReadGridClass();
}

Sd_Grid2D::Sd_Grid2D(int firstLines, int secondLines, unsigned packedColour) : Sd_Grid2D() {
  m_firstLines = ClampLines(firstLines);
  m_secondLines = ClampLines(secondLines);
  // Red moves from the low byte to the high byte, and so on.
  m_colour = ColourRed(packedColour) << 24 | ColourGreen(packedColour) << 16 | ColourBlue(packedColour) << 8 |
             ColourAlpha(packedColour);
  m_zPlacement = 1;
}

Sd_Grid2D::~Sd_Grid2D() {}

const char* Sd_Grid2D::className() const { return "2D Grid"; }

int Sd_Grid2D::ClampLines(int count) { return count < kMinLines ? kMinLines : (count > kMaxLines ? kMaxLines : count); }

float Sd_Grid2D::PlacementZ() const { return m_zPlacement == 1 ? 0.0f : (m_zPlacement == 0 ? 0.5f : -0.5f); }

// "Grid2DClass": after the version line, the fifth line holds the two line
// counts, red, green, blue and the z placement. A missing file, a missing
// line or a line without all six numbers keeps the built-in values.
void Sd_Grid2D::ReadGridClass() {
  int version = 0;
  Sv_LineReader f;
  if (!Sv_UtlOpenConfigLines("Grid2DClass", &version, &f)) return;
  std::string line;
  bool have = true;
  for (int i = 0; i < 5 && have; ++i) have = f.ReadLine(&line, Sv_LineReader::kConfigurationLine);
  int first = 0, second = 0, red = 0, green = 0, blue = 0, placement = 0;
  if (!have || sscanf(line.c_str(), "%d%d%d%d%d%d", &first, &second, &red, &green, &blue, &placement) != 6) return;
  m_firstLines = ClampLines(first);
  m_secondLines = ClampLines(second);
  m_colour = Channel(red) << 24 | Channel(green) << 16 | Channel(blue) << 8 | 255u;
  m_zPlacement = placement;
}

// --- records ---

int Sd_Grid2D::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  TDR_PayloadReader in(manager);
  float format = 0.0f;
  if (in.TagVersion() == 0) in.Float32(&format);
  int fields[3] = {0, 0, 0};
  int placement = m_zPlacement;
  in.Int32s(fields, 3);
  // Records of format 1.0 and before keep the placement the class file gave.
  if (in.TagVersion() > 0 || format > 1.0f) in.Int32(&placement);
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Truncated 2-D grid record", manager->GetFileName());
    return -1;
  }
  m_firstLines = ClampLines(fields[0]);
  m_secondLines = ClampLines(fields[1]);
  m_colour = static_cast<unsigned>(fields[2]);
  m_zPlacement = placement;
  return ReadCommonTags(manager);
}

int Sd_Grid2D::ReadOwnRecord(TDR_Manager*, int tag) {
  // Accepted and left unread: ReadTag steps over its payload.
  return tag == TDR_TAG_SD_GRID2D_ATB ? 1 : 0;
}

int Sd_Grid2D::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager || manager->WriteTag(TDR_TAG_SD_GRID2D, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Int32(m_firstLines);
  out.Int32(m_secondLines);
  out.Int32(static_cast<int>(m_colour));
  out.Int32(m_zPlacement);
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  return withCommonTags ? WriteCommonTags(manager) : 0;
}

int Sd_Grid2D::WriteSample(TDR_Manager* manager) {
  Sd_Grid2D grid(4, 3, PackColour(0, 255, 0, 255));
  grid.m_zPlacement = 0;
  grid.SetBounds(0, 0.0f, 300.0f);
  grid.SetBounds(1, 0.0f, 200.0f);
  grid.SetBounds(2, -10.0f, 10.0f);
  return grid.SaveObject(manager, 1, 0);
}

// --- drawing ---

void Sd_Grid2D::Render() {
  glPushMatrix();
  ApplyTransform();
  DrawBoundingBox();
  // Grid index units span the unit square.
  const int first = ClampLines(m_firstLines);
  const int second = ClampLines(m_secondLines);
  glTranslatef(-0.5f, -0.5f, 0.0f);
  glScalef(1.0f / static_cast<float>(second - 1), 1.0f / static_cast<float>(first - 1), 1.0f);
  glLineWidth(2.0f);
  glColor4ub(static_cast<GLubyte>(m_colour >> 24), static_cast<GLubyte>(m_colour >> 16),
             static_cast<GLubyte>(m_colour >> 8), static_cast<GLubyte>(m_colour));
  const float z = PlacementZ();
  const float xEnd = static_cast<float>(second - 1);
  const float yEnd = static_cast<float>(first - 1);
  glBegin(GL_LINES);
  for (int i = 0; i < first; ++i) {
    glVertex3f(0.0f, static_cast<float>(i), z);
    glVertex3f(xEnd, static_cast<float>(i), z);
  }
  for (int i = 0; i < second; ++i) {
    glVertex3f(static_cast<float>(i), 0.0f, z);
    glVertex3f(static_cast<float>(i), yEnd, z);
  }
  glEnd();
  glPopMatrix();
  glLineWidth(1.0f);
}

int Sd_Grid2D::StepRender() { return StepRenderWhole(); }
