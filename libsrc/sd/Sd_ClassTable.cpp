// The one table of the object factory: every object tag of the file format,
// the class it stands for and the constructor this build has for it.
//
// A class joins by replacing the null constructor of its tag with
// Make<ClassName> (and including its header here). Tags whose class is not
// part of the build keep a null constructor: the factory skips their records.
// A class of a library above this one (the terrain models of sddtm) cannot
// be named here: its entry stays null in the table and its library fills it
// through RegisterClass when the program calls that library's registration
// function at start.
#include <new>

#include "Sd_AlignmentNode.h"
#include "Sd_IOSupport.h"
#include "Sd_Parent.h"
#include "TDR_Tags.h"

namespace {

template <class T>
Sd_Node* Make() {
  return new (std::nothrow) T();
}

// Not const: RegisterClass fills the constructors of classes from the
// libraries above this one.
Sd_IOSupport::ClassEntry kClasses[] = {
    {TDR_TAG_SD_PARENT, "Sd_Parent", 2, Make<Sd_Parent>},
    {TDR_TAG_SD_ALIGNPARENT, "Sd_AlignmentNode", 3, Make<Sd_AlignmentNode>},
    {TDR_TAG_SD_CABLEPARENT, "Sd_CableParent", 4, nullptr},
    {TDR_TAG_SD_SHIPPARENT, "Sd_ShipParent", 5, nullptr},
    {TDR_TAG_SD_ROVPARENT, "Sd_ROVParent", 6, nullptr},
    {TDR_TAG_SD_CABLESPHPARENT, "Sd_CableSphParent", 7, nullptr},
    {TDR_TAG_SD_BASICDTM, "Sd_BasicDTM", 11, nullptr},  // registered by Sd_RegisterTerrainClasses (sddtm)
    {TDR_TAG_SD_SONARDTM, "Sd_SonarDTM", 12, nullptr},
    {TDR_TAG_SD_SPECTRUMDTM, "Sd_SpectrumDTM", 13, nullptr},
    {TDR_TAG_SD_SPHEREDTM, "Sd_SphereDTM", 14, nullptr},
    {TDR_TAG_SD_CONTOURDTM, "Sd_ContourDTM", 26, nullptr},
    {TDR_TAG_SD_SURFACEPLOT, "Sd_SurfacePlot", 30, nullptr},
    {TDR_TAG_SD_SURFACESERIES, "Sd_SurfaceSeries", 28, nullptr},
    {TDR_TAG_SD_VRDTM, "Sd_VRDTM", 29, nullptr},
    {TDR_TAG_SD_TEXTUREDTM, "Sd_TextureDTM", 31, nullptr},
    {TDR_TAG_SD_BOREHOLE, "Sd_Borehole", 33, nullptr},
    {TDR_TAG_SD_GRID2D, "Sd_Grid2D", 10, nullptr},
    {TDR_TAG_SD_LABEL, "Sd_Label", 21, nullptr},
    {TDR_TAG_SD_VOLUME, "Sd_Volume", 15, nullptr},
    {TDR_TAG_SD_SEISMIC, "Sd_Seismic", 20, nullptr},
    {TDR_TAG_SD_SOUNDING, "Sd_Sounding", 19, nullptr},
    {TDR_TAG_SD_PLANE, "Sd_Plane", 1000, nullptr},
    {TDR_TAG_SD_CUBE, "Sd_Cube", 1001, nullptr},
    {TDR_TAG_SD_SOLIDMODEL, "Sd_SolidModel", 24, nullptr},
    {TDR_TAG_SD_LINES2D, "Sd_Lines2D", 25, nullptr},
    {TDR_TAG_SD_POINT3D, "Sd_Point3D", 34, nullptr},
    {TDR_TAG_SD_ACTPOINT3D, "Sd_ActPoint3D", 34, nullptr},
    {TDR_TAG_SD_LINES3D, "Sd_Lines3D", 35, nullptr},
    {TDR_TAG_SD_GEOIMAGE, "Sd_GeoImage", 36, nullptr},
    {TDR_TAG_SD_QUADRATIC, "Sd_Quadratic", 1002, nullptr},
    {TDR_TAG_SD_HTFSOUNDING, "Sd_HTFSounding", 38, nullptr},
    {TDR_TAG_SD_REALTIMEDTM, "Sd_RealTimeDTM", 40, nullptr},
    {TDR_TAG_SD_VIMAGE, "Sd_VImage", 41, nullptr},
};

}  // namespace

const Sd_IOSupport::ClassEntry* Sd_IOSupport::ClassTable(int* count) {
  if (count) *count = static_cast<int>(sizeof(kClasses) / sizeof(kClasses[0]));
  return kClasses;
}

int Sd_IOSupport::RegisterClass(int tag, Factory create) {
  if (!create) return -1;
  int count = 0;
  ClassTable(&count);
  for (int i = 0; i < count; ++i) {
    if (kClasses[i].tag != tag) continue;
    if (kClasses[i].create && kClasses[i].create != create) return -1;
    kClasses[i].create = create;
    return 0;
  }
  return -1;
}
