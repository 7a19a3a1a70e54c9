#ifndef SD_LINES2D_H
#define SD_LINES2D_H

#include "Sd_Node.h"

// Flat polylines ("Sd_Lines2D", type id 25, record SD_LINES2D 10515) drawn
// in the plane z = 0 of the node's frame.
//
// The record gives a data range and a list of points; a point whose x is
// kPenUp ends the polyline drawn so far and the next point starts a new one.
// Loading maps every other point into the unit square -0.5 ... 0.5 through
// the range (an axis whose range is empty goes to 0, the middle). The node's
// bounds become the record's range, with z -5128 ... 5128.
//
// The object is saved as a file-pointer record naming the file it was read
// from (its description): the points are not copied. The points belong to
// the object until it is deleted; FreeData leaves them.
class Sd_Lines2D : public Sd_Node {
 public:
  static constexpr int kTypeId = 25;
  // The x of a pen-up marker.
  static constexpr float kPenUp = 9999.0f;
  // The z bounds the node takes when its record is read.
  static constexpr float kZBound = 5128.0f;

  Sd_Lines2D();
  ~Sd_Lines2D() override;

  // Does nothing: the points stay until the object is deleted.
  void FreeData() override;
  // Reads the record (the factory has read its header), then the common
  // tags and settings records that follow. Non-zero, leaving the object as
  // it was, for a record that is cut short, holds more points than its
  // payload or a range that is not a number.
  int LoadObject(TDR_Manager* manager) override;
  // A file-pointer record naming the description, then (when asked) the
  // common tags and the settings record. -1 when the description is empty
  // or names the file being written (the pointer would name itself once the
  // write replaces that file), or on a failed write.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int flag) override;
  // The common tags, then the (empty) settings record.
  int WriteCommonTags(TDR_Manager* manager) override;
  // One record of points with its common tags and settings record, as the
  // package's writer stores 2-D lines (the factory's sample).
  static int WriteSample(TDR_Manager* manager);
  // The record itself: header value, count points as x, y pairs (markers
  // included), the range y min, y max, x min, x max. 0 or -1.
  static int WriteRecord(TDR_Manager* manager, int headerValue, const float* xy, int count, const float range[4]);

  // Push, transform, one line strip per run between markers, pop.
  void Render() override;
  int StepRender() override;
  const char* className() const override;

  int GetHeaderValue() const { return m_headerValue; }
  int GetPointCount() const { return m_count; }
  // count x, y pairs: normalised, or kPenUp and the y as read.
  const float* GetPoints() const { return m_points; }
  // y min, y max, x min, x max of the record.
  const float* GetRange() const { return m_range; }
  int GetLineWidth() const { return m_lineWidth; }
  void SetLineWidth(int width) { m_lineWidth = width; }
  const unsigned char* GetColour() const { return m_colour; }
  void SetColour(unsigned char r, unsigned char g, unsigned char b, unsigned char a);

 protected:
  // Takes the settings records SD_LINES2D_ATB (they carry nothing).
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;

 private:
  int m_headerValue;
  int m_count;
  int m_lineWidth;
  float* m_points;  // malloc'ed, 2 * m_count floats
  float m_range[4];
  unsigned char m_colour[4];
};

#endif
