#include "Sd_SurveyClasses.h"

#include "Sd_HTFSounding.h"
#include "Sd_IOSupport.h"
#include "Sd_Seismic.h"
#include "Sd_Sounding.h"
#include "Sd_Volume.h"
#include "TDR_Tags.h"

int Sd_RegisterSurveyClasses() {
  int result = 0;
  if (Sd_IOSupport::Register<Sd_Sounding>(TDR_TAG_SD_SOUNDING) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_HTFSounding>(TDR_TAG_SD_HTFSOUNDING) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_Volume>(TDR_TAG_SD_VOLUME) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_Seismic>(TDR_TAG_SD_SEISMIC) != 0) result = -1;
  return result;
}
