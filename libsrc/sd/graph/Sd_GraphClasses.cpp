#include "Sd_GraphClasses.h"

#include "Sd_AlignmentNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Parent.h"
#include "TDR_Tags.h"

int Sd_RegisterGraphClasses() {
  int result = 0;
  if (Sd_IOSupport::Register<Sd_Parent>(TDR_TAG_SD_PARENT) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_AlignmentNode>(TDR_TAG_SD_ALIGNPARENT) != 0) result = -1;
  return result;
}
