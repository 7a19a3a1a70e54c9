#include "Sd_SceneClasses.h"

#include "Sd_AlignmentNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Parent.h"
#include "TDR_Tags.h"

int Sd_RegisterSceneClasses() {
  int result = 0;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_PARENT, Sd_IOSupport::Make<Sd_Parent>, Sd_Parent::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_ALIGNPARENT, Sd_IOSupport::Make<Sd_AlignmentNode>, Sd_AlignmentNode::WriteSample) !=
      0) {
    result = -1;
  }
  return result;
}
