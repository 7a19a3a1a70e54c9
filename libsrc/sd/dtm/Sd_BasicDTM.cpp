// Uniform terrain model: records.
#include "Sd_BasicDTM.h"

#include "TDR_Manager.h"
#include "TDR_Payload.h"
#include "TDR_Tags.h"

namespace {


// The message of a SCALAR tag missing before the elevations or the colours.
constexpr const char* kNoScalarMessage =
    "ERROR:  Reading Tag from TDR file for loading object  -  expected TDR_TAG_SCALAR!";

}  // namespace

Sd_BasicDTM::Sd_BasicDTM()
    : Sd_GridDTM({TDR_TAG_SD_BASICDTM_ATB, "ERROR:  Damaged uniform DTM settings record; defaults kept", true, false}) {
  SetType(kTypeId);
}

Sd_BasicDTM::~Sd_BasicDTM() {}

const char* Sd_BasicDTM::className() const { return "Uniform DTM"; }

int Sd_BasicDTM::Hook2(int, int, int, int, unsigned char*) { return 0; }

// --- records ---

int Sd_BasicDTM::LoadObject(TDR_Manager* manager) {
  if (!manager) return -1;
  // Whatever the object held goes; a failed load leaves it without grids.
  FreeData();
  if (manager->GetTagVersion() == 0) {
    TDR_PayloadReader in(manager);
    float format = 0.0f;
    if (!in.Float32(&format)) {
      FreeData();
      return -1;
    }
  }
  return LoadGridRecords(manager, kNoScalarMessage, kNoScalarMessage,
                         "ERROR:  A uniform DTM needs at least 2 x 2 nodes");
}

int Sd_BasicDTM::SaveObject(TDR_Manager* manager, int withCommonTags, int) {
  if (!manager || !ElevationRows() || !ColourRows()) return -1;
  if (manager->WriteTag(TDR_TAG_SD_BASICDTM, 1, 0, 0, 1) != 0 || manager->EndTag() != 0) return -1;
  return SaveGridRecords(manager, withCommonTags);
}

int Sd_BasicDTM::WriteSample(TDR_Manager* manager) { return WriteGridSample<Sd_BasicDTM>(manager, 6, 7); }
