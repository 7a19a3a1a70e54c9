#include "Sd_SurveyClasses.h"

#include "Sd_HTFSounding.h"
#include "Sd_IOSupport.h"
#include "Sd_Seismic.h"
#include "Sd_Sounding.h"
#include "Sd_Volume.h"
#include "TDR_Tags.h"

int Sd_RegisterSurveyClasses() {
  int result = 0;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_SOUNDING, Sd_IOSupport::Make<Sd_Sounding>, Sd_Sounding::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_HTFSOUNDING, Sd_IOSupport::Make<Sd_HTFSounding>, Sd_HTFSounding::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_VOLUME, Sd_IOSupport::Make<Sd_Volume>, Sd_Volume::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_SEISMIC, Sd_IOSupport::Make<Sd_Seismic>, Sd_Seismic::WriteSample) != 0) result = -1;
  return result;
}
