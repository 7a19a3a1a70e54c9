#ifndef SD_LABEL_H
#define SD_LABEL_H

#include "Sd_Node.h"
#include "Sv_HersheyFont.h"

// One line of text drawn with the stroke font ("Sd_Label", type id 21,
// record SD_LABEL 10110, settings SD_LABEL_ATB 10112). The node's transform
// places, turns and sizes it; the text is centred on the origin of the
// node's frame with its baseline through the origin.
//
// Each label owns its font: "romancsfont.dat" at scale 0.005, or the
// built-in font while the process-wide switch (Sv_HersheySetBuiltIn) is on.
// A label whose font cannot be loaded is kept and draws only its bounding
// box.
class Sd_Label : public Sd_Node {
 public:
  // Longest text kept; longer texts keep their first kMaxText characters.
  static constexpr int kMaxText = 255;

  Sd_Label();
  ~Sd_Label() override;

  // Does nothing: the label holds no data buffer.
  void FreeData() override;
  // Reads the record (the factory has read its header), then the common
  // tags and settings records that follow. Non-zero, leaving the label as it
  // was, for a record without a whole text length or with a length that is
  // negative or beyond the payload.
  int LoadObject(TDR_Manager* manager) override;
  // The record (text length and text), then (when asked) the common tags
  // and the settings record. 0 or -1.
  int SaveObject(TDR_Manager* manager, int withCommonTags, int flag) override;
  // The common tags, then the settings record (line width and colour).
  int WriteCommonTags(TDR_Manager* manager) override;
  // A small label with its common tags and settings (the factory's sample).
  static int WriteSample(TDR_Manager* manager);

  // Push, transform, the bounding box, the text, pop.
  void Render() override;
  int StepRender() override;

  static constexpr int kTypeId = 21;
  const char* className() const override;

  const char* GetText() const { return m_text; }
  // Keeps the first kMaxText characters; null gives an empty text.
  void SetText(const char* text);
  int GetLineWidth() const { return m_lineWidth; }
  void SetLineWidth(int width) { m_lineWidth = width; }
  // R, G, B, A.
  const unsigned char* GetColour() const { return m_colour; }
  void SetColour(unsigned char r, unsigned char g, unsigned char b, unsigned char a);
  // The label's own font (empty when it could not be loaded).
  const Sv_HersheyFont& LabelFont() const { return m_font; }

 protected:
  // Takes the settings records SD_LABEL_ATB; a later one wins, and a damaged
  // one leaves the settings as they were.
  int ReadOwnRecord(TDR_Manager* manager, int tag) override;

 private:
  Sv_HersheyFont m_font;
  char m_text[kMaxText + 1];
  int m_lineWidth;
  unsigned char m_colour[4];
};

#endif
