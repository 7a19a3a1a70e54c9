#ifndef SD_SIMPLESOLID_H
#define SD_SIMPLESOLID_H

#include "Sd_Node.h"

class Sv_Lighting;
class TDR_PayloadReader;
class TDR_PayloadWriter;

// What the small solids (plane, cube, quadric) share: a colour with alpha,
// an object record and a settings (attribute) record, and one drawing
// frame that draws the shape translucent in that colour in the node's own
// box: push, transform, bounding box, colour, blending on, the shape,
// blending off, pop. Lit solids switch lighting and colour material on
// through the scene's light set (Sd_Node::GetLighting) around the frame;
// without a light set they draw nothing and say so at debug level, on
// every draw.
//
// Records: the object record (its own tag) holds a float32 format version
// when its tag version is 0, then the class's object fields; the settings
// record (its own tag) follows the common tags and holds the version the
// same way, then the class's settings fields. Both are written with tag
// version 1.
class Sd_SimpleSolid : public Sd_Node {
 public:
  ~Sd_SimpleSolid() override;

  // Does nothing: a solid holds no data buffer.
  void FreeData() override;
  // Reads the object record (the factory has read its header), then the
  // common tags and settings records that follow, in any order. Non-zero,
  // leaving the solid as it was, for an object record that is cut short
  // or that the class refuses.
  int LoadObject(TDR_Manager* manager) override;
  // The object record, then (when asked) the common tags and the settings
  // record. 0 or -1.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int flag) override;
  // The common tags, then the settings record.
  int WriteCommonTags(TDR_Manager* manager) override;

  // The frame above; a lit solid without a light set draws nothing.
  void Render() override;
  // Draws whole in one call (Sd_Node::StepRenderWhole).
  int StepRender() override;

  // R, G, B, A.
  const unsigned char* GetColourBytes() const { return m_colour; }
  // The alpha byte of the colour (the top byte of the packed colour).
  int GetAlpha() const { return m_colour[3]; }
  // Values outside 0 ... 255 are clamped.
  void SetAlpha(int alpha);

 protected:
  // How a solid is lit: not at all, around the whole frame, or around the
  // frame but with lighting off while the bounding box is drawn.
  enum Lighting { kUnlit, kLit, kLitShapeOnly };

  Sd_SimpleSolid(int type, int objectTag, int settingsTag, Lighting lighting);

  // Takes the class's settings records; a damaged or refused one leaves
  // the settings as they were (with a debug message).
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;

  // The fields of the object record after its version (none by default).
  // formatVersion is the float32 version of a tag of version 0, null
  // otherwise. Read into temporaries and keep them only when the reader is
  // still good and the values are acceptable: false refuses the record.
  virtual bool ReadObjectFields(TDR_PayloadReader& in, const float* formatVersion);
  virtual void WriteObjectFields(TDR_PayloadWriter& out) const;
  // The fields of the settings record after its version, on the same terms.
  virtual bool ReadSettingsFields(TDR_PayloadReader& in, const float* formatVersion) = 0;
  virtual void WriteSettingsFields(TDR_PayloadWriter& out) const = 0;
  // Draws the shape in the unit box, with the colour and blending set.
  virtual void DrawShape() = 0;

  // Takes red, green and blue of a packed colour (red in the low byte), and
  // its alpha unless keepAlpha.
  void StoreColour(unsigned packed, bool keepAlpha);
  // Colour as one 4-byte unit (R, G, B, A), the way every solid stores it.
  static bool ReadColour(TDR_PayloadReader& in, unsigned char colour[4]);
  static void WriteColour(TDR_PayloadWriter& out, const unsigned char colour[4]);

  unsigned char m_colour[4];

 private:
  // The float32 format version of a tag of version 0 (read into *version,
  // returning version), or null for any other tag version.
  static const float* ReadFormatVersion(TDR_PayloadReader& in, float* version);

  int m_objectTag;
  int m_settingsTag;
  Lighting m_lighting;
};

#endif
