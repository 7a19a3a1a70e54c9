#include "Sd_SurveyClasses.h"

#include "Sd_IOSupport.h"

int Sd_RegisterSurveyClasses() {
  // No survey class is part of this build yet: their records are stepped
  // over by the factory.
  return 0;
}
