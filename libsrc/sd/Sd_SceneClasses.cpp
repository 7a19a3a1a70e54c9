#include "Sd_SceneClasses.h"

#include "Sd_ActPoint3D.h"
#include "Sd_AlignmentNode.h"
#include "Sd_Borehole.h"
#include "Sd_CableParent.h"
#include "Sd_CableSphParent.h"
#include "Sd_Cube.h"
#include "Sd_GeoImage.h"
#include "Sd_Grid2D.h"
#include "Sd_IOSupport.h"
#include "Sd_Label.h"
#include "Sd_Lines2D.h"
#include "Sd_Lines3D.h"
#include "Sd_Parent.h"
#include "Sd_Plane.h"
#include "Sd_Point3D.h"
#include "Sd_Quadratic.h"
#include "Sd_ROVParent.h"
#include "Sd_ShipParent.h"
#include "Sd_SolidModel.h"
#include "Sd_VImage.h"
#include "TDR_Tags.h"

int Sd_RegisterSceneClasses() {
  int result = 0;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_PARENT, Sd_IOSupport::Make<Sd_Parent>, Sd_Parent::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_ALIGNPARENT, Sd_IOSupport::Make<Sd_AlignmentNode>, Sd_AlignmentNode::WriteSample) !=
      0) {
    result = -1;
  }
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_LABEL, Sd_IOSupport::Make<Sd_Label>, Sd_Label::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_LINES2D, Sd_IOSupport::Make<Sd_Lines2D>, Sd_Lines2D::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_LINES3D, Sd_IOSupport::Make<Sd_Lines3D>, Sd_Lines3D::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_POINT3D, Sd_IOSupport::Make<Sd_Point3D>, Sd_Point3D::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_ACTPOINT3D, Sd_IOSupport::Make<Sd_ActPoint3D>, Sd_ActPoint3D::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_PLANE, Sd_IOSupport::Make<Sd_Plane>, Sd_Plane::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_CUBE, Sd_IOSupport::Make<Sd_Cube>, Sd_Cube::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_QUADRATIC, Sd_IOSupport::Make<Sd_Quadratic>, Sd_Quadratic::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_SOLIDMODEL, Sd_IOSupport::Make<Sd_SolidModel>, Sd_SolidModel::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_GRID2D, Sd_IOSupport::Make<Sd_Grid2D>, Sd_Grid2D::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_BOREHOLE, Sd_IOSupport::Make<Sd_Borehole>, Sd_Borehole::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_CABLEPARENT, Sd_IOSupport::Make<Sd_CableParent>, Sd_CableParent::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_ROVPARENT, Sd_IOSupport::Make<Sd_ROVParent>, Sd_ROVParent::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_SHIPPARENT, Sd_IOSupport::Make<Sd_ShipParent>, Sd_ShipParent::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_CABLESPHPARENT, Sd_IOSupport::Make<Sd_CableSphParent>, Sd_CableSphParent::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_VIMAGE, Sd_IOSupport::Make<Sd_VImage>, Sd_VImage::WriteSample) != 0) result = -1;
  if (Sd_IOSupport::RegisterClass(TDR_TAG_SD_GEOIMAGE, Sd_IOSupport::Make<Sd_GeoImage>, Sd_GeoImage::WriteSample) != 0) result = -1;
  return result;
}
