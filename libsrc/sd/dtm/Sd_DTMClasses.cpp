#include "Sd_DTMClasses.h"

#include "Sd_BasicDTM.h"
#include "Sd_ContourDTM.h"
#include "Sd_IOSupport.h"
#include "Sd_RealTimeDTM.h"
#include "Sd_SonarDTM.h"
#include "Sd_SphereDTM.h"
#include "Sd_SurfacePlot.h"
#include "Sd_SurfaceSeries.h"
#include "Sd_TextureDTM.h"
#include "Sd_VRDTM.h"
#include "TDR_Tags.h"

int Sd_RegisterTerrainClasses() {
  return Sd_IOSupport::RegisterClasses<Sd_BasicDTM, Sd_SonarDTM, Sd_RealTimeDTM, Sd_SphereDTM, Sd_SurfaceSeries,
                                       Sd_ContourDTM, Sd_TextureDTM, Sd_VRDTM, Sd_SurfacePlot, Sd_SpectrumDTM>(
      {TDR_TAG_SD_BASICDTM, TDR_TAG_SD_SONARDTM, TDR_TAG_SD_REALTIMEDTM, TDR_TAG_SD_SPHEREDTM, TDR_TAG_SD_SURFACESERIES,
       TDR_TAG_SD_CONTOURDTM, TDR_TAG_SD_TEXTUREDTM, TDR_TAG_SD_VRDTM, TDR_TAG_SD_SURFACEPLOT, TDR_TAG_SD_SPECTRUMDTM});
}
