// A drill hole: its points read from the borehole text, and its drawing as
// lines and as a tube.
#include "Sd_DrillHole.h"

#include <GL/gl.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>

#include "Sv_Colour.h"
#include "Sv_Debug.h"

// --- text lines ---

Sd_TextLines::Sd_TextLines(const char* text, size_t size)
    : m_text(text), m_size(text ? size : 0), m_pos(0), m_line(0), m_total(0) {
  for (size_t p = 0; p < m_size;) {
    const void* nl = memchr(m_text + p, '\n', m_size - p);
    ++m_total;
    if (!nl) break;
    p = static_cast<size_t>(static_cast<const char*>(nl) - m_text) + 1;
  }
}

bool Sd_TextLines::Next(char line[kLineSize]) {
  if (m_pos >= m_size) return false;
  const char* start = m_text + m_pos;
  const void* nl = memchr(start, '\n', m_size - m_pos);
  size_t length = nl ? static_cast<size_t>(static_cast<const char*>(nl) - start) : m_size - m_pos;
  m_pos += length + (nl ? 1 : 0);
  ++m_line;
  if (length > 0 && start[length - 1] == '\r') --length;
  if (length > static_cast<size_t>(kLineSize - 1)) length = kLineSize - 1;
  memcpy(line, start, length);
  line[length] = '\0';
  return true;
}

bool Sd_TextLines::FirstWordIs(const char* line, const char* word) {
  char first[kLineSize];
  return sscanf(line, "%255s", first) == 1 && strcmp(first, word) == 0;
}

bool Sd_TextLines::FirstWordsAre(const char* line, const char* first, const char* second) {
  char a[kLineSize], b[kLineSize];
  return sscanf(line, "%255s%255s", a, b) == 2 && strcmp(a, first) == 0 && strcmp(b, second) == 0;
}

// --- the hole ---

Sd_DrillHole::Sd_DrillHole()
    : m_pointCount(0),
      m_bounds{0, 0, 0, 0, 0, 0},
      m_lowestClass(0),
      m_highestClass(0),
      m_sceneLowestClass(0),
      m_sceneHighestClass(0),
      m_colours(nullptr),
      m_sides(0),
      m_radius(0.0f) {}

namespace {

// A coordinate the node's float box can hold.
bool Usable(double v) { return std::isfinite(v) && std::fabs(v) <= FLT_MAX; }

constexpr double kPi = 3.14159265358979323846;

}  // namespace

int Sd_DrillHole::CheckPointCount(long long count, long long linesLeft) {
  if (count <= 0) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "ERROR:  No number of points specified for drill hole!");
    return -1;
  }
  // Each point takes a line: a count the rest of the text cannot hold is
  // refused before anything is allocated.
  if (count > linesLeft) {
    Sv_Debug::Message(SV_LEVEL_ERROR, "ERROR:  Reached premature EOF!");
    return -1;
  }
  return 0;
}

int Sd_DrillHole::ReadPoints(Sd_TextLines* text) {
  m_points.clear();
  m_classes.clear();
  if (CheckPointCount(m_pointCount, text ? text->CountLeft() : 0) != 0) return -1;
  std::vector<Point> points;
  std::vector<int> classes;
  points.reserve(static_cast<size_t>(m_pointCount));
  classes.reserve(static_cast<size_t>(m_pointCount));
  char line[Sd_TextLines::kLineSize];
  for (int i = 0; i < m_pointCount; ++i) {
    Point p = {0, 0, 0};
    long long c = 0;
    if (!text->Next(line)) {
      Sv_Debug::Message(SV_LEVEL_ERROR, "ERROR:  Reached premature EOF!");
      return -1;
    }
    if (sscanf(line, "%lf%lf%lf%lli", &p.x, &p.y, &p.z, &c) != 4 || !Usable(p.x) || !Usable(p.y) || !Usable(p.z) ||
        c < INT_MIN || c > INT_MAX) {
      Sv_Debug::Message(SV_LEVEL_ERROR, "ERROR:  A drill hole point is not x, y, z and class", line);
      return -1;
    }
    const int pointClass = static_cast<int>(c);
    if (i == 0) {
      m_bounds[0] = m_bounds[1] = p.x;
      m_bounds[2] = m_bounds[3] = p.y;
      m_bounds[4] = m_bounds[5] = p.z;
      m_lowestClass = m_highestClass = pointClass;
    } else {
      m_bounds[0] = std::fmin(m_bounds[0], p.x);
      m_bounds[1] = std::fmax(m_bounds[1], p.x);
      m_bounds[2] = std::fmin(m_bounds[2], p.y);
      m_bounds[3] = std::fmax(m_bounds[3], p.y);
      m_bounds[4] = std::fmin(m_bounds[4], p.z);
      m_bounds[5] = std::fmax(m_bounds[5], p.z);
      if (pointClass < m_lowestClass) m_lowestClass = pointClass;
      if (pointClass > m_highestClass) m_highestClass = pointClass;
    }
    points.push_back(p);
    classes.push_back(pointClass);
  }
  m_points.swap(points);
  m_classes.swap(classes);
  return 0;
}

int Sd_DrillHole::ColourEntry(int pointClass) const {
  const long long range = static_cast<long long>(m_sceneHighestClass) - m_sceneLowestClass;
  if (range <= 0) return 0;
  const long long e = 255 * ((static_cast<long long>(pointClass) - m_sceneLowestClass) / range);
  return e < 0 ? 0 : (e > 255 ? 255 : static_cast<int>(e));
}

void Sd_DrillHole::Colour(int pointClass) const {
  if (!m_colours) return;
  const unsigned c = m_colours[ColourEntry(pointClass)];
  glColor4ub(static_cast<GLubyte>(ColourRed(c)), static_cast<GLubyte>(ColourGreen(c)),
             static_cast<GLubyte>(ColourBlue(c)), static_cast<GLubyte>(ColourAlpha(c)));
}

void Sd_DrillHole::DrawLines(const double origin[3]) const {
  glBegin(GL_LINE_STRIP);
  for (size_t i = 0; i < m_points.size(); ++i) {
    Colour(m_classes[i]);
    glVertex3d(m_points[i].x - origin[0], m_points[i].y - origin[1], m_points[i].z - origin[2]);
  }
  glEnd();
}

void Sd_DrillHole::DrawTube(const double origin[3]) const {
  if (m_points.size() >= 2 && m_sides >= 3) DrawRings(origin);
  // A tube narrower than a pixel leaves gaps where its faces miss pixel
  // centres; its centre line fills them with the pixels the line drawing
  // shows. Where the tube is wider, its faces lie in front of the line.
  DrawLines(origin);
}

void Sd_DrillHole::DrawRings(const double origin[3]) const {
  const int s = m_sides;
  // Ring offsets, the same around every point.
  std::vector<double> dx(static_cast<size_t>(s)), dy(static_cast<size_t>(s));
  for (int k = 0; k < s; ++k) {
    const double a = 2.0 * kPi * k / s;
    dx[static_cast<size_t>(k)] = m_radius * std::sin(a);
    dy[static_cast<size_t>(k)] = m_radius * std::cos(a);
  }
  auto vertex = [&](const Point& p, int k) {
    glVertex3d(p.x - origin[0] + dx[static_cast<size_t>(k)], p.y - origin[1] + dy[static_cast<size_t>(k)],
               p.z - origin[2]);
  };
  for (size_t i = 1; i < m_points.size(); ++i) {
    const Point& previous = m_points[i - 1];
    const Point& current = m_points[i];
    Colour(m_classes[i]);
    glBegin(GL_QUAD_STRIP);
    for (int k = 0; k <= s; ++k) {
      vertex(previous, k % s);
      vertex(current, k % s);
    }
    glEnd();
  }
}

void Sd_DrillHole::Print(FILE* out) const {
  if (!out) return;
  for (size_t i = 0; i < m_points.size(); ++i) {
    fprintf(out, "%lf  %lf  %lf\n", m_points[i].x, m_points[i].y, m_points[i].z);
    fprintf(out, "%i\n\n", m_classes[i]);
  }
}
