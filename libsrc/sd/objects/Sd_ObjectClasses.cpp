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
  return Sd_IOSupport::RegisterClasses<Sd_Label, Sd_Lines2D, Sd_Lines3D, Sd_Point3D, Sd_ActPoint3D, Sd_Plane, Sd_Cube,
                                       Sd_Quadratic, Sd_SolidModel, Sd_Grid2D, Sd_Borehole, Sd_VImage, Sd_GeoImage>(
      {TDR_TAG_SD_LABEL, TDR_TAG_SD_LINES2D, TDR_TAG_SD_LINES3D, TDR_TAG_SD_POINT3D, TDR_TAG_SD_ACTPOINT3D,
       TDR_TAG_SD_PLANE, TDR_TAG_SD_CUBE, TDR_TAG_SD_QUADRATIC, TDR_TAG_SD_SOLIDMODEL, TDR_TAG_SD_GRID2D,
       TDR_TAG_SD_BOREHOLE, TDR_TAG_SD_VIMAGE, TDR_TAG_SD_GEOIMAGE});
}
