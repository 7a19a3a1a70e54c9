#ifndef SD_DRILLHOLE_H
#define SD_DRILLHOLE_H

#include <cstddef>
#include <cstdio>
#include <vector>

// The lines of a text held in memory (a record's payload), read one at a
// time and never beyond the text's end. A line ends at '\n' or at the end
// of the text; a '\r' before the '\n' is dropped, so CRLF texts read as
// the same lines. Of a line longer than kLineSize - 1 characters only the
// first kLineSize - 1 are kept. A NUL byte ends what a line's parsers see.
class Sd_TextLines {
 public:
  static constexpr int kLineSize = 256;

  // A place in the text to come back to: where a line starts, and how many
  // lines stand before it.
  struct Mark {
    size_t pos;
    long long line;
  };

  Sd_TextLines(const char* text, size_t size);

  // Copies the next line (terminated) into line; false at the end of the text.
  bool Next(char line[kLineSize]);
  Mark Tell() const { return {m_pos, m_line}; }
  void Seek(const Mark& mark) {
    m_pos = mark.pos < m_size ? mark.pos : m_size;
    m_line = mark.line;
  }
  // Lines from the position to the end of the text.
  long long CountLeft() const { return m_total - m_line; }

  // The first one or two whitespace-delimited words of a line ("" where the
  // line has fewer).
  static bool FirstWordIs(const char* line, const char* word);
  static bool FirstWordsAre(const char* line, const char* first, const char* second);

 private:
  const char* m_text;
  size_t m_size;
  size_t m_pos;
  long long m_line;   // lines before m_pos
  long long m_total;  // lines in the text
};

// One drill hole of a borehole object: a path of 3-D points, each with an
// integer class (a rock or sample category) that picks its colour from the
// borehole's 256-entry colour map. Drawn as a coloured polyline or as a
// coloured tube of a few sides; not a scene node.
//
// Coordinates are the data's own; the drawing functions take the origin
// that the borehole's frame subtracts, so that large map coordinates keep
// their precision (the subtraction is done in double precision).
class Sd_DrillHole {
 public:
  struct Point {
    double x, y, z;
  };

  Sd_DrillHole();

  // The borehole's 256 packed colours (red in the low byte); not owned.
  void SetColourMap(const unsigned* colours) { m_colours = colours; }
  // Points announced by the hole's "elems" line.
  void SetPointCount(int count) { m_pointCount = count; }
  int GetPointCount() const { return m_pointCount; }

  // Reads the announced number of points, one a line as "x y z class",
  // and sets the bounds and class range. 0 on success; -1 (after an error
  // message) when no points were announced, when the text ends first or
  // when a line is not four numbers with finite coordinates within the
  // range of a float; the hole keeps no points then.
  int ReadPoints(Sd_TextLines* text);
  // Whether count points can be read from linesLeft lines: 0, or -1 after
  // the error message ReadPoints would send (no points announced, or more
  // than the lines hold).
  static int CheckPointCount(long long count, long long linesLeft);

  const std::vector<Point>& GetPoints() const { return m_points; }
  const std::vector<int>& GetClasses() const { return m_classes; }
  double GetMinX() const { return m_bounds[0]; }
  double GetMaxX() const { return m_bounds[1]; }
  double GetMinY() const { return m_bounds[2]; }
  double GetMaxY() const { return m_bounds[3]; }
  double GetMinZ() const { return m_bounds[4]; }
  double GetMaxZ() const { return m_bounds[5]; }
  int GetLowestClass() const { return m_lowestClass; }
  int GetHighestClass() const { return m_highestClass; }
  // The class range of the whole borehole, which the colours follow.
  void SetSceneLowestClass(int c) { m_sceneLowestClass = c; }
  void SetSceneHighestClass(int c) { m_sceneHighestClass = c; }
  void SetRadius(float radius) { m_radius = radius; }
  void SetSides(int sides) { m_sides = sides; }

  // Colour-map entry of a class: 0 for every class below the scene's
  // highest, 255 for the highest, 0 when all classes are the same.
  int ColourEntry(int pointClass) const;

  // One line strip through the points, each coloured by its class.
  void DrawLines(const double origin[3]) const;
  // A tube of the hole's sides and radius: a horizontal ring around every
  // point, and one quad strip from each ring to the next, coloured by the
  // class of the later point; then the line strip of DrawLines, so that a
  // tube thinner than a pixel still covers every pixel of the hole's line.
  // A hole of one point draws nothing.
  void DrawTube(const double origin[3]) const;

  // Each point as "%lf  %lf  %lf\n" and its class as "%i\n\n".
  void Print(FILE* out = stdout) const;

 private:
  void Colour(int pointClass) const;
  // The tube's quad strips alone (at least two points and three sides).
  void DrawRings(const double origin[3]) const;

  int m_pointCount;
  std::vector<Point> m_points;
  std::vector<int> m_classes;
  double m_bounds[6];
  int m_lowestClass, m_highestClass;
  int m_sceneLowestClass, m_sceneHighestClass;
  const unsigned* m_colours;
  int m_sides;
  float m_radius;
};

#endif
