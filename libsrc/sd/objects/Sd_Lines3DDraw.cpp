// 3-D lines: what a drawing emits (pure), and the whole and progressive
// drawing in OpenGL.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Sd_Lines3D.h"
#include "Sv_Debug.h"
#include "Sv_HersheyFont.h"
#include "Sv_Matrix4.h"
#include "Sv_Types.h"

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

// A line split by its labels: part p runs from the vertex after label
// p - 1 (vertex 0 for the first part) to label p's vertex (the last
// vertex for the last part).
int PartStart(const Sd_Lines3D::Line& line, int p) { return p == 0 ? 0 : line.labelPositions[p - 1] + 1; }
int PartEnd(const Sd_Lines3D::Line& line, int p) {
  return p == line.LabelCount() ? line.segments : std::min(line.labelPositions[p], line.segments);
}

}  // namespace

void Sd_Lines3D::DrawLabelledLine(const Line& line, int step, Sd_LinesSink& sink) {
  sink.BeginLine(line);
  for (int p = 0; p <= line.LabelCount(); ++p) {
    const int start = PartStart(line, p), end = PartEnd(line, p);
    if (start <= end) {
      sink.BeginStrip();
      for (int v = start; v < end; v += step) sink.Vertex(v);
      sink.Vertex(end);
      sink.End();
    }
    if (p < line.LabelCount() && line.labelPositions[p] < line.segments) sink.Label(p);
  }
}

void Sd_Lines3D::DrawPolygonLine(const Line& line, int step, bool fill, Sd_LinesSink& sink) {
  sink.BeginLine(line);
  if (line.triangleValid && fill) {
    sink.BeginTriangles();
    for (int t = 0; t < line.triangleCount; t += step) {
      for (int k = 0; k < 3; ++k) sink.Vertex(line.triangles[3 * static_cast<size_t>(t) + k]);
    }
    sink.End();
    return;
  }
  sink.BeginStrip();
  for (int p = 0; p <= line.LabelCount(); ++p) {
    for (int v = PartStart(line, p); v < PartEnd(line, p); v += step) sink.Vertex(v);
  }
  if (line.segments > 1 && step >= line.segments) sink.Vertex(line.segments / 2);
  sink.End();
}

bool Sd_Lines3D::ThinsLines(int step, int segments, int lines) {
  return lines > 0 && step > 1 && step > segments / lines;
}

size_t Sd_Lines3D::EmitLines(const std::deque<Line>& lines, size_t first, size_t maxLines, const EmitPlan& plan,
                             Sd_LinesSink& sink) {
  const int step = plan.step < 1 ? 1 : plan.step;
  // Every line's vertices are a block of their own: at a coarse step a line
  // takes a few of them, and waiting for each line's block in turn would
  // cost more than drawing it. The blocks of the lines ahead are fetched
  // early (their first and last vertices, the ones every step takes).
  constexpr size_t kAhead = 8;
  size_t i = first;
  for (size_t handled = 0; i < lines.size() && handled < maxLines;) {
    if (step > 1 && i + kAhead < lines.size()) {
      const Line& ahead = lines[i + kAhead];
      __builtin_prefetch(ahead.Vertex(0));
      __builtin_prefetch(ahead.Vertex(ahead.segments));
    }
    if (plan.polygon) {
      DrawPolygonLine(lines[i], step, plan.fill, sink);
    } else {
      DrawLabelledLine(lines[i], step, sink);
    }
    ++i;
    ++handled;
    if (!plan.thin) continue;
    // After a drawn line, the lines that fit into the step's budget are
    // passed over.
    for (long long budget = step; i < lines.size() && handled < maxLines && lines[i].segments < budget; ++i, ++handled) {
      budget -= lines[i].segments;
    }
  }
  return i;
}

// Draws the emitted lines with OpenGL in the object's normalised space.
// Strips and triangles of one colour are gathered into a vertex array and
// drawn with one call (a call per line would cost more than the lines
// themselves when the detail step leaves a few vertices a line); a change
// of colour, a label or the end of the drawing draws what was gathered.
class Sd_Lines3DGLSink : public Sd_LinesSink {
 public:
  explicit Sd_Lines3DGLSink(const Sd_Lines3D& lines) : m_o(lines) {
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glEnableClientState(GL_VERTEX_ARRAY);
  }
  ~Sd_Lines3DGLSink() override {
    Flush();
    glPopClientAttrib();
  }
  Sd_Lines3DGLSink(const Sd_Lines3DGLSink&) = delete;
  Sd_Lines3DGLSink& operator=(const Sd_Lines3DGLSink&) = delete;

  void BeginLine(const Sd_Lines3D::Line& line) override {
    m_line = &line;
    const bool own = line.ownColour || m_o.m_colourMode == 1 || m_o.m_colourMode == 2;
    const unsigned char colour[4] = {own ? line.colour[0] : m_o.m_colour[0], own ? line.colour[1] : m_o.m_colour[1],
                                     own ? line.colour[2] : m_o.m_colour[2], static_cast<unsigned char>(own ? 255 : m_o.m_colour[3])};
    if (m_colourSet && memcmp(colour, m_colour, sizeof(colour)) == 0) return;
    Flush();
    memcpy(m_colour, colour, sizeof(colour));
    m_colourSet = true;
    glColor4ubv(m_colour);
  }
  void BeginStrip() override {
    if (m_triangles || m_xyz.size() >= kBatchFloats) Flush();
    m_first.push_back(static_cast<GLint>(m_xyz.size() / 3));
  }
  void BeginTriangles() override {
    if (!m_triangles || m_xyz.size() >= kBatchFloats) Flush();
    m_triangles = true;
  }
  void End() override {
    if (!m_triangles) m_count.push_back(static_cast<GLsizei>(m_xyz.size() / 3) - m_first.back());
  }
  void Vertex(int index) override {
    float p[3];
    Normalise(m_line->Vertex(index), p);
    m_xyz.insert(m_xyz.end(), p, p + 3);
  }
  // The text runs from the label's vertex towards the next one, across
  // the middle of the line, in data units times the label scale.
  void Label(int l) override {
    Flush();
    const int position = m_line->labelPositions[l];
    const double* a = m_line->Vertex(position);
    const double* b = m_line->Vertex(position + 1);
    float p[3];
    Normalise(a, p);
    const double scale = m_o.m_labelScale;
    glPushMatrix();
    glTranslated(p[0], p[1], p[2]);
    glScaled(scale, scale, scale);
    glScaled(m_o.m_inverseExtents[0], m_o.m_inverseExtents[1], 1.0);
    glRotated(std::atan2(b[1] - a[1], b[0] - a[0]) * kDegreesPerRadian, 0.0, 0.0, 1.0);
    glTranslated(0.0, -1.0, 0.0);
    m_o.LabelFont()->DrawString(m_line->labelTexts[l].c_str(), 0.0f, 0.0f, 0.0f, 0, 0, 0);
    glPopMatrix();
  }

 private:
  // Vertices gathered before they are drawn, at most (three floats each).
  static constexpr size_t kBatchFloats = 3 * 65536;

  void Normalise(const double* v, float out[3]) const {
    out[0] = static_cast<float>((v[0] - m_o.m_dataCentres[0]) * m_o.m_inverseExtents[0]);
    out[1] = static_cast<float>((v[1] - m_o.m_dataCentres[1]) * m_o.m_inverseExtents[1]);
    out[2] = static_cast<float>((v[2] - m_o.m_dataCentres[2]) * m_o.m_inverseExtents[2] + m_o.m_zOffset);
  }
  void Flush() {
    if (!m_xyz.empty()) {
      glVertexPointer(3, GL_FLOAT, 0, m_xyz.data());
      if (m_triangles) {
        glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(m_xyz.size() / 3));
      } else {
        glMultiDrawArrays(GL_LINE_STRIP, m_first.data(), m_count.data(), static_cast<GLsizei>(m_count.size()));
      }
    }
    m_xyz.clear();
    m_first.clear();
    m_count.clear();
    m_triangles = false;
  }

  const Sd_Lines3D& m_o;
  const Sd_Lines3D::Line* m_line = nullptr;
  std::vector<float> m_xyz;
  std::vector<GLint> m_first;
  std::vector<GLsizei> m_count;
  bool m_triangles = false;
  unsigned char m_colour[4] = {0, 0, 0, 0};
  bool m_colourSet = false;
};

bool Sd_Lines3D::Degenerate() const {
  if (m_segments <= 0) return true;
  for (double extent : m_dataExtents) {
    if (!(extent >= 1e-7)) return true;
  }
  return false;
}

// Lines in the parent's frame: raw coordinates, white or their own colours.
void Sd_Lines3D::DrawParentFrame() const {
  for (const Line& line : m_lines) {
    if (line.ownColour || m_colourMode == 2) {
      glColor3ubv(line.colour);
    } else {
      glColor3ub(255, 255, 255);
    }
    glBegin(GL_LINE_STRIP);
    for (int i = 0; i < line.VertexCount(); ++i) glVertex3dv(line.Vertex(i));
    glEnd();
  }
}

bool Sd_Lines3D::EnterObjectSpace(bool chooseStep) {
  ApplyTransform();
  DrawBoundingBox();
  const Sd_DTMView view = FrameState().CurrentView();
  float pm[16], inverse[16];
  MultMatrix4(pm, view.projection, view.modelview);
  InvertMatrix4(inverse, pm);
  static const float kUnitBox[6] = {-0.5f, 0.5f, -0.5f, 0.5f, -0.5f, 0.5f};
  if (!ComputeVisibleBox(pm, inverse, kUnitBox, m_screenBox)) return false;
  const float budget = GetDetailBudget();
  if (chooseStep && m_levelOfDetail && budget != 0.0f && m_segments > 0) {
    unsigned flags = GetDetailFlags();
    ChooseDetailLevel(&m_detailStep, nullptr, EstimateScreenSize(pm, m_screenBox), m_segments, view.viewport[2],
                      view.viewport[3], budget, &flags, 1);
    SetDetailFlags(flags);
    if (m_detailStep < 1) m_detailStep = 1;
  }
  return true;
}

void Sd_Lines3D::Render() {
  if (Degenerate()) return;
  if (GetParentFrame()) {
    DrawParentFrame();
    return;
  }
  glPushMatrix();
  if (EnterObjectSpace(true)) {
    m_effectiveFill = m_detailStep < 2 ? m_fill : 0;
    EmitPlan plan;
    plan.step = m_detailStep;
    plan.thin = ThinsLines(m_detailStep, m_segments, GetLineCount());
    plan.polygon = m_polygonMode != 0;
    plan.fill = m_effectiveFill != 0;
    glLineWidth(static_cast<float>(m_lineWidth));
    Sd_Lines3DGLSink sink(*this);
    EmitLines(m_lines, 0, SIZE_MAX, plan, sink);
    glLineWidth(1.0f);
  }
  glPopMatrix();
}

int Sd_Lines3D::StepRender() {
  if (GetRedrawPending()) {
    if (m_matrixPushed) glPopMatrix();
    m_matrixPushed = 0;
    SetDrawn(0);
    m_stepStage = 0;
    SetRedrawPending(0);
    return 0;
  }
  if (m_stepStage == 0) {
    if (Degenerate()) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "Returning because no GEO_REF Information!");
      SetDrawn(1);
      return 1;
    }
    if (GetParentFrame()) {
      DrawParentFrame();
      SetDrawn(1);
      return 1;
    }
    glPushMatrix();
    m_matrixPushed = 1;
    SetDrawn(0);
    if (!EnterObjectSpace(false)) {
      m_stepStage = 2;
      return 0;
    }
    m_effectiveFill = m_fill;
    m_stepCursor = 0;
    m_stepStage = 1;
    return 0;
  }
  if (m_stepStage == 1) {
    EmitPlan plan;
    plan.polygon = m_polygonMode != 0;
    plan.fill = m_effectiveFill != 0;
    glLineWidth(static_cast<float>(m_lineWidth));
    Sd_Lines3DGLSink sink(*this);
    m_stepCursor = EmitLines(m_lines, m_stepCursor, kLinesPerStep, plan, sink);
    glLineWidth(1.0f);
    if (m_stepCursor >= m_lines.size()) m_stepStage = 2;
    return GetDrawn();
  }
  if (m_matrixPushed) glPopMatrix();
  m_matrixPushed = 0;
  SetDrawn(1);
  m_stepStage = 0;
  return 1;
}
