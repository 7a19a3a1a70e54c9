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
  int result = 0;
  if (Sd_IOSupport::Register<Sd_BasicDTM>(TDR_TAG_SD_BASICDTM) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_SonarDTM>(TDR_TAG_SD_SONARDTM) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_RealTimeDTM>(TDR_TAG_SD_REALTIMEDTM) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_SphereDTM>(TDR_TAG_SD_SPHEREDTM) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_SurfaceSeries>(TDR_TAG_SD_SURFACESERIES) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_ContourDTM>(TDR_TAG_SD_CONTOURDTM) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_TextureDTM>(TDR_TAG_SD_TEXTUREDTM) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_VRDTM>(TDR_TAG_SD_VRDTM) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_SurfacePlot>(TDR_TAG_SD_SURFACEPLOT) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_SpectrumDTM>(TDR_TAG_SD_SPECTRUMDTM) != 0) result = -1;
  return result;
}
