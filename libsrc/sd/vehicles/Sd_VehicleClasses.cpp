#include "Sd_VehicleClasses.h"

#include "Sd_CableParent.h"
#include "Sd_CableSphParent.h"
#include "Sd_IOSupport.h"
#include "Sd_ROVParent.h"
#include "Sd_ShipParent.h"
#include "TDR_Tags.h"

int Sd_RegisterVehicleClasses() {
  int result = 0;
  if (Sd_IOSupport::Register<Sd_CableParent>(TDR_TAG_SD_CABLEPARENT) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_ROVParent>(TDR_TAG_SD_ROVPARENT) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_ShipParent>(TDR_TAG_SD_SHIPPARENT) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_CableSphParent>(TDR_TAG_SD_CABLESPHPARENT) != 0) result = -1;
  return result;
}
