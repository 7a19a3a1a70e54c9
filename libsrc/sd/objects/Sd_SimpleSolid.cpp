// The small solids' shared frame: records and the translucent drawing frame.
#include "Sd_SimpleSolid.h"

#include <GL/gl.h>

#include <cstring>

#include "Sv_Colour.h"
#include "Sv_Debug.h"
#include "Sv_Lighting.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"

Sd_SimpleSolid::Sd_SimpleSolid(int type, int objectTag, int settingsTag, Lighting lighting)
    : m_colour{255, 255, 255, 255}, m_objectTag(objectTag), m_settingsTag(settingsTag), m_lighting(lighting) {
  SetType(type);
}

Sd_SimpleSolid::~Sd_SimpleSolid() {}

void Sd_SimpleSolid::FreeData() {}

void Sd_SimpleSolid::SetAlpha(int alpha) {
  m_colour[3] = static_cast<unsigned char>(alpha < 0 ? 0 : (alpha > 255 ? 255 : alpha));
}

void Sd_SimpleSolid::StoreColour(unsigned packed, bool keepAlpha) {
  m_colour[0] = static_cast<unsigned char>(ColourRed(packed));
  m_colour[1] = static_cast<unsigned char>(ColourGreen(packed));
  m_colour[2] = static_cast<unsigned char>(ColourBlue(packed));
  if (!keepAlpha) m_colour[3] = static_cast<unsigned char>(ColourAlpha(packed));
}

// --- records ---

const float* Sd_SimpleSolid::ReadFormatVersion(TDR_PayloadReader& in, float* version) {
  if (in.TagVersion() != 0) return nullptr;
  *version = 0.0f;
  in.Float32(version);
  return version;
}

bool Sd_SimpleSolid::ReadColour(TDR_PayloadReader& in, unsigned char colour[4]) { return in.Read(colour, 4, 1); }

void Sd_SimpleSolid::WriteColour(TDR_PayloadWriter& out, const unsigned char colour[4]) { out.Write(colour, 4, 1); }

bool Sd_SimpleSolid::ReadObjectFields(TDR_PayloadReader& in, const float*) { return in.Ok(); }

void Sd_SimpleSolid::WriteObjectFields(TDR_PayloadWriter&) const {}

int Sd_SimpleSolid::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  TDR_PayloadReader in(manager);
  float version = 0.0f;
  const float* format = ReadFormatVersion(in, &version);
  if (!in.Ok() || !ReadObjectFields(in, format)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Truncated or refused solid record", manager->GetFileName());
    return -1;
  }
  return ReadCommonTags(manager);
}

int Sd_SimpleSolid::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag != m_settingsTag) return 0;
  TDR_PayloadReader in(manager);
  float version = 0.0f;
  const float* format = ReadFormatVersion(in, &version);
  if (!in.Ok() || !ReadSettingsFields(in, format)) {
    Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Damaged or refused solid settings record; settings kept",
                      manager->GetFileName());
  }
  return 1;
}

int Sd_SimpleSolid::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager || manager->WriteTag(m_objectTag, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  WriteObjectFields(out);
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  return withCommonTags ? WriteCommonTags(manager) : 0;
}

int Sd_SimpleSolid::WriteCommonTags(TDR_Manager* manager) {
  if (Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (manager->WriteTag(m_settingsTag, 1, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  WriteSettingsFields(out);
  return out.Ok() && manager->EndTag() == 0 ? 0 : -1;
}

// --- drawing ---

void Sd_SimpleSolid::Render() {
  Sv_Lighting* lights = nullptr;
  if (m_lighting != kUnlit) {
    lights = GetLighting();
    if (!lights) {
      Sv_Debug::Message(SV_LEVEL_DEBUG, "ERROR:  Required light manager for render not defined!");
      return;
    }
    lights->SetLighting(1);
    lights->SetColorMaterial(1);
  }
  glPushMatrix();
  ApplyTransform();
  if (m_lighting == kLitShapeOnly) lights->SetLighting(0);
  DrawBoundingBox();
  if (m_lighting == kLitShapeOnly) lights->SetLighting(1);
  glColor4ubv(m_colour);
  EnableBlending(m_colour[3]);
  DrawShape();
  DisableBlending();
  glPopMatrix();
  if (lights) {
    lights->SetColorMaterial(0);
    lights->SetLighting(0);
  }
}

int Sd_SimpleSolid::StepRender() { return StepRenderWhole(); }
