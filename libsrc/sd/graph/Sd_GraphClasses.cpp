#include "Sd_GraphClasses.h"

#include "Sd_AlignmentNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Parent.h"
#include "TDR_Tags.h"

int Sd_RegisterGraphClasses() {
  return Sd_IOSupport::RegisterClasses<Sd_Parent, Sd_AlignmentNode>({TDR_TAG_SD_PARENT, TDR_TAG_SD_ALIGNPARENT});
}
