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
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_BASICDTM, Sd_IOSupport::Make<Sd_BasicDTM>, Sd_BasicDTM::WriteSample) !=
      0) {
    result = -1;
  }
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_SONARDTM, Sd_IOSupport::Make<Sd_SonarDTM>, Sd_SonarDTM::WriteSample) !=
      0) {
    result = -1;
  }
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_REALTIMEDTM, Sd_IOSupport::Make<Sd_RealTimeDTM>, Sd_RealTimeDTM::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_SPHEREDTM, Sd_IOSupport::Make<Sd_SphereDTM>, Sd_SphereDTM::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_SURFACESERIES, Sd_IOSupport::Make<Sd_SurfaceSeries>, Sd_SurfaceSeries::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_CONTOURDTM, Sd_IOSupport::Make<Sd_ContourDTM>, Sd_ContourDTM::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_TEXTUREDTM, Sd_IOSupport::Make<Sd_TextureDTM>, Sd_TextureDTM::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_VRDTM, Sd_IOSupport::Make<Sd_VRDTM>, Sd_VRDTM::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_SURFACEPLOT, Sd_IOSupport::Make<Sd_SurfacePlot>, Sd_SurfacePlot::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_SPECTRUMDTM, Sd_IOSupport::Make<Sd_SpectrumDTM>, Sd_SpectrumDTM::WriteSample) != 0) result = -1;
  return result;
}
