#include "Sd_VehicleClasses.h"

#include "Sd_CableParent.h"
#include "Sd_CableSphParent.h"
#include "Sd_IOSupport.h"
#include "Sd_ROVParent.h"
#include "Sd_ShipParent.h"
#include "TDR_Tags.h"

int Sd_RegisterVehicleClasses() {
  return Sd_IOSupport::RegisterClasses<Sd_CableParent, Sd_ROVParent, Sd_ShipParent, Sd_CableSphParent>(
      {TDR_TAG_SD_CABLEPARENT, TDR_TAG_SD_ROVPARENT, TDR_TAG_SD_SHIPPARENT, TDR_TAG_SD_CABLESPHPARENT});
}
