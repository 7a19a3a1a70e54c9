#include "Sd_DTMClasses.h"

#include <new>

#include "Sd_BasicDTM.h"
#include "Sd_IOSupport.h"
#include "Sd_SonarDTM.h"
#include "TDR_Tags.h"

namespace {

template <class T>
Sd_Node* Make() {
  return new (std::nothrow) T();
}

}  // namespace

int Sd_RegisterTerrainClasses() {
  int result = 0;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_BASICDTM, Make<Sd_BasicDTM>) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_SONARDTM, Make<Sd_SonarDTM>) != 0) result = -1;
  return result;
}
