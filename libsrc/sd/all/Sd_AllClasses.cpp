#include "Sd_AllClasses.h"

#include "Sd_DTMClasses.h"
#include "Sd_GraphClasses.h"
#include "Sd_ObjectClasses.h"
#include "Sd_SurveyClasses.h"
#include "Sd_VehicleClasses.h"

int Sd_RegisterAllClasses() {
  int result = 0;
  if (Sd_RegisterGraphClasses() != 0) result = -1;
  if (Sd_RegisterObjectClasses() != 0) result = -1;
  if (Sd_RegisterVehicleClasses() != 0) result = -1;
  if (Sd_RegisterTerrainClasses() != 0) result = -1;
  if (Sd_RegisterSurveyClasses() != 0) result = -1;
  return result;
}
