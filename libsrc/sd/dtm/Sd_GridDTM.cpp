// Grid terrain models: the records after the object's own, the settings
// record, the settings record and alpha.
#include "Sd_GridDTM.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "Sv_Debug.h"
#include "Sv_Types.h"
#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

Sd_GridDTM::Sd_GridDTM(const GridRules& rules)
    : m_rules(rules) {
  SetRedrawPending(0);
  SetDrawn(1);
}

Sd_GridDTM::~Sd_GridDTM() {}

// --- records ---

int Sd_GridDTM::ReadOwnRecord(TDR_Manager* manager, int tag) {
  if (tag == 0 || tag != m_rules.settingsTag) return 0;
  ReadSettingsRecord(manager);
  return 1;
}

void Sd_GridDTM::ReadSettingsRecord(TDR_Manager* manager) {
  TDR_PayloadReader in(manager);
  const int version = manager->GetTagVersion();
  if (version == 0) {
    float format = 0.0f;
    in.Float32(&format);
  }
  short mode = 0;
  int words[4] = {0, 0, 0, 0};
  in.Read(&mode, 2, 1);
  in.Int32s(words, 4);
  if (!in.Ok()) {
    // The grids are whole; only the settings are lost.
    Sv_Debug::Message(SV_LEVEL_DEBUG, m_rules.damagedSettings, manager->GetFileName());
    return;
  }
  m_drawMode = mode;
  m_alpha = std::clamp(words[0], 0, 255);
  m_lodStep = UsableStep(words[1]);
  if (version >= 2) m_autoLod = words[2];
}

int Sd_GridDTM::WriteCommonTags(TDR_Manager* manager) {
  if (!manager) return -1;
  if (Sd_Node::WriteCommonTags(manager) != 0) return -1;
  if (m_rules.settingsTag == 0) return 0;
  if (manager->WriteTag(m_rules.settingsTag, 2, 0, 0, 1) != 0) return -1;
  TDR_PayloadWriter out(manager);
  WriteDrawSettings(out);
  if (!out.Ok() || manager->EndTag() != 0) return -1;
  return 0;
}

// --- alpha ---

void Sd_GridDTM::SetAlpha(int alpha) {
  m_alpha = std::clamp(alpha, 0, 255);
  unsigned int* const* colours = ColourRows();
  if (!colours || (m_alpha == 255 && !m_rules.writeOpaqueAlpha)) return;
  const unsigned a = static_cast<unsigned>(m_alpha);
  const int cols = GetCols();
  for (int r = 0; r < GetRows(); ++r) {
    unsigned* row = colours[r];
    for (int c = 0; c < cols; ++c) row[c] = ColourWithAlpha(row[c], a);
  }
}
