#include "Sd_ObjectClasses.h"

#include "Sd_ActPoint3D.h"
#include "Sd_Borehole.h"
#include "Sd_Cube.h"
#include "Sd_GeoImage.h"
#include "Sd_Grid2D.h"
#include "Sd_IOSupport.h"
#include "Sd_Label.h"
#include "Sd_Lines2D.h"
#include "Sd_Lines3D.h"
#include "Sd_Plane.h"
#include "Sd_Point3D.h"
#include "Sd_Quadratic.h"
#include "Sd_SolidModel.h"
#include "Sd_VImage.h"
#include "TDR_Tags.h"

int Sd_RegisterObjectClasses() {
  int result = 0;
  if (Sd_IOSupport::Register<Sd_Label>(TDR_TAG_SD_LABEL) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_Lines2D>(TDR_TAG_SD_LINES2D) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_Lines3D>(TDR_TAG_SD_LINES3D) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_Point3D>(TDR_TAG_SD_POINT3D) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_ActPoint3D>(TDR_TAG_SD_ACTPOINT3D) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_Plane>(TDR_TAG_SD_PLANE) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_Cube>(TDR_TAG_SD_CUBE) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_Quadratic>(TDR_TAG_SD_QUADRATIC) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_SolidModel>(TDR_TAG_SD_SOLIDMODEL) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_Grid2D>(TDR_TAG_SD_GRID2D) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_Borehole>(TDR_TAG_SD_BOREHOLE) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_VImage>(TDR_TAG_SD_VIMAGE) != 0) result = -1;
  if (Sd_IOSupport::Register<Sd_GeoImage>(TDR_TAG_SD_GEOIMAGE) != 0) result = -1;
  return result;
}
