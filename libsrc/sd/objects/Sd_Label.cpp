// Text labels: the font, records and settings.
#include "Sd_Label.h"

#include <cstring>

#include "Sv_Debug.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {

constexpr const char* kFontFile = "romancsfont.dat";
constexpr float kFontScale = 0.005f;

}  // namespace

Sd_Label::Sd_Label() : m_text{}, m_lineWidth(1), m_colour{255, 255, 255, 255} {
  SetType(kTypeId);
  // Every label of a scene would say the same: reported once.
  if (m_font.LoadFont(kFontFile, kFontScale) != 0) {
    Sv_Debug::MessageOnce("font romancsfont.dat", SV_LEVEL_DEBUG, "ERROR: Could not initialize font!", kFontFile);
  }
}

Sd_Label::~Sd_Label() {}

void Sd_Label::FreeData() {}

const char* Sd_Label::className() const { return "Sd_Label"; }

void Sd_Label::SetText(const char* text) {
  m_text[0] = '\0';
  if (text) strncat(m_text, text, kMaxText);
}

void Sd_Label::SetColour(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
  m_colour[0] = r;
  m_colour[1] = g;
  m_colour[2] = b;
  m_colour[3] = a;
}

// --- records ---

int Sd_Label::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  TDR_PayloadReader in(manager);
  if (in.TagVersion() == 0) in.Skip(4);  // the format version
  // The text ends right after its bytes; a longer one keeps its first
  // kMaxText characters and the rest of the payload is stepped over.
  char text[kMaxText + 1];
  if (!in.CountedText(text, sizeof(text))) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Truncated or damaged label record", manager->GetFileName());
    return -1;
  }
  memcpy(m_text, text, sizeof(m_text));
  return ReadCommonTags(manager);
}

int Sd_Label::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag != TDR_TAG_SD_LABEL_ATB) return 0;
  TDR_PayloadReader in(manager);
  if (in.TagVersion() == 0) in.Skip(4);  // the format version
  int width = 0;
  unsigned char colour[4];
  in.Int32(&width);
  in.Read(colour, 4, 1);  // R, G, B, A swapped as one unit
  if (!in.Ok()) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged label settings record; settings kept", manager->GetFileName());
    return 1;
  }
  m_lineWidth = width;
  memcpy(m_colour, colour, sizeof(m_colour));
  return 1;
}

int Sd_Label::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager || manager->WriteTag(TDR_TAG_SD_LABEL, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.CountedText(m_text);
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  return withCommonTags ? WriteCommonTags(manager) : 0;
}

int Sd_Label::WriteCommonTags(TDR_Manager* manager) {
  if (Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(TDR_TAG_SD_LABEL_ATB, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  out.Int32(m_lineWidth);
  out.Write(m_colour, 4, 1);
  return out.Ok() && manager->EndTag() == 0 ? 0 : -1;
}

int Sd_Label::WriteSample(TDR_Manager* manager) {
  Sd_Label label;
  label.SetText("Sample");
  label.SetLineWidth(2);
  label.SetColour(255, 200, 0, 255);
  label.SetBounds(0, 0.0f, 100.0f);
  label.SetBounds(1, 0.0f, 50.0f);
  label.SetBounds(2, 0.0f, 10.0f);
  return label.SaveObject(manager, 1, 0);
}
