#include "Sd_SurveyClasses.h"

#include "Sd_HTFSounding.h"
#include "Sd_IOSupport.h"
#include "Sd_Seismic.h"
#include "Sd_Sounding.h"
#include "Sd_Volume.h"
#include "TDR_Tags.h"

int Sd_RegisterSurveyClasses() {
  return Sd_IOSupport::RegisterClasses<Sd_Sounding, Sd_HTFSounding, Sd_Volume, Sd_Seismic>(
      {TDR_TAG_SD_SOUNDING, TDR_TAG_SD_HTFSOUNDING, TDR_TAG_SD_VOLUME, TDR_TAG_SD_SEISMIC});
}
