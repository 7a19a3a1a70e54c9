#include "Sd_AllClasses.h"

#include "Sd_DTMClasses.h"
#include "Sd_SceneClasses.h"
#include "Sd_SurveyClasses.h"

int Sd_RegisterAllClasses() {
  int result = 0;
  if (Sd_RegisterSceneClasses() != 0) result = -1;
  if (Sd_RegisterTerrainClasses() != 0) result = -1;
  if (Sd_RegisterSurveyClasses() != 0) result = -1;
  return result;
}
