// The class table of the object factory: every object tag of the file
// format, the class it stands for, and what the factory does for it.
//
// The rows below are the format: tag, class name, settings tag and the
// factory's rules for the tag. They hold neither constructors nor type ids:
// this library cannot name the classes of the libraries above it, so every
// library of object classes fills its rows through Register from its one
// registration call (constructor, sample writer and the class's kTypeId),
// and the program calls Sd_RegisterAllClasses once at start. A class that
// is not part of the build keeps a null constructor: the factory steps over
// its records.
#include <algorithm>
#include <map>
#include <vector>

#include "Sd_IOSupport.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"

namespace {

constexpr int kByClass = 0;  // the type id comes with the class's registration
constexpr int kKeep = 1;      // keeps the name its record gives
constexpr int kInherit = 1;   // takes the parent's parent-frame flag
constexpr int kDebug = -1;    // message levels of failed loads
constexpr int kWarning = -3;

using Entry = Sd_IOSupport::ClassEntry;

const Entry kFormat[] = {
    // tag, class, type id, settings tag, keep name, inherit frame, announcement, fail level, text, detail
    {TDR_TAG_SD_PARENT, "Sd_Parent", kByClass, 0, kKeep, 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr},
    {TDR_TAG_SD_ALIGNPARENT, "Sd_AlignmentNode", kByClass, TDR_TAG_SD_ALIGNPARENT_ATB, kKeep, 0, nullptr, 0, nullptr,
     nullptr, nullptr, nullptr},
    {TDR_TAG_SD_CABLEPARENT, "Sd_CableParent", kByClass, TDR_TAG_SD_CABLEPARENT_ATB, kKeep, 0, nullptr, 0, nullptr,
     nullptr, nullptr, nullptr},
    {TDR_TAG_SD_SHIPPARENT, "Sd_ShipParent", kByClass, TDR_TAG_SD_SHIPPARENT_ATB, kKeep, 0, nullptr, 0, nullptr, nullptr,
     nullptr, nullptr},
    {TDR_TAG_SD_ROVPARENT, "Sd_ROVParent", kByClass, TDR_TAG_SD_ROVPARENT_ATB, kKeep, 0, nullptr, 0, nullptr, nullptr,
     nullptr, nullptr},
    {TDR_TAG_SD_CABLESPHPARENT, "Sd_CableSphParent", kByClass, TDR_TAG_SD_CABLESPHPARENT_ATB, kKeep, 0, nullptr, 0,
     nullptr, nullptr, nullptr, nullptr},
    {TDR_TAG_SD_BASICDTM, "Sd_BasicDTM", kByClass, TDR_TAG_SD_BASICDTM_ATB, 0, 0, nullptr, kWarning,
     "Could not load data", "possible data format problem", nullptr, nullptr},
    {TDR_TAG_SD_SONARDTM, "Sd_SonarDTM", kByClass, TDR_TAG_SD_SONARDTM_ATB, 0, kInherit, nullptr, kWarning,
     "Could not load data file", "possible data format problem.", nullptr, nullptr},
    {TDR_TAG_SD_SPECTRUMDTM, "Sd_SpectrumDTM", kByClass, TDR_TAG_SD_SPECTRUMDTM_ATB, 0, 0, nullptr, 0, nullptr, nullptr,
     nullptr, nullptr},
    {TDR_TAG_SD_SPHEREDTM, "Sd_SphereDTM", kByClass, TDR_TAG_SD_SPHEREDTM_ATB, 0, 0, nullptr, 0, nullptr, nullptr,
     nullptr, nullptr},
    {TDR_TAG_SD_CONTOURDTM, "Sd_ContourDTM", kByClass, TDR_TAG_SD_CONTOURDTM_ATB, 0, 0, nullptr, 0, nullptr, nullptr,
     nullptr, nullptr},
    {TDR_TAG_SD_SURFACEPLOT, "Sd_SurfacePlot", kByClass, TDR_TAG_SD_SURFACEPLOT_ATB, 0, 0, nullptr, 0, nullptr, nullptr,
     nullptr, nullptr},
    {TDR_TAG_SD_SURFACESERIES, "Sd_SurfaceSeries", kByClass, TDR_TAG_SD_SURFACESERIES_ATB, 0, 0, nullptr, 0, nullptr,
     nullptr, nullptr, nullptr},
    {TDR_TAG_SD_VRDTM, "Sd_VRDTM", kByClass, TDR_TAG_SD_VRDTM_ATB, 0, 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr},
    {TDR_TAG_SD_TEXTUREDTM, "Sd_TextureDTM", kByClass, TDR_TAG_SD_TEXTUREDTM_ATB, 0, 0, nullptr, 0, nullptr, nullptr,
     nullptr, nullptr},
    {TDR_TAG_SD_BOREHOLE, "Sd_Borehole", kByClass, TDR_TAG_SD_BOREHOLE_ATB, 0, 0, nullptr, 0, nullptr, nullptr, nullptr,
     nullptr},
    {TDR_TAG_SD_GRID2D, "Sd_Grid2D", kByClass, TDR_TAG_SD_GRID2D_ATB, 0, 0, nullptr, 0, nullptr, nullptr, nullptr,
     nullptr},
    {TDR_TAG_SD_LABEL, "Sd_Label", kByClass, TDR_TAG_SD_LABEL_ATB, 0, 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr},
    {TDR_TAG_SD_VOLUME, "Sd_Volume", kByClass, TDR_TAG_SD_VOLUME_ATB, 0, 0, nullptr, 0, nullptr, nullptr, nullptr,
     nullptr},
    {TDR_TAG_SD_SEISMIC, "Sd_Seismic", kByClass, TDR_TAG_SD_SEISMIC_ATB, 0, 0, nullptr, 0, nullptr, nullptr, nullptr,
     nullptr},
    {TDR_TAG_SD_SOUNDING, "Sd_Sounding", kByClass, TDR_TAG_SD_SOUNDING_ATB, 0, 0, nullptr, kDebug,
     "          ****** OLD SOUNDING CLASS *******", nullptr, nullptr, nullptr},
    {TDR_TAG_SD_PLANE, "Sd_Plane", kByClass, TDR_TAG_SD_PLANE_ATB, 0, 0, nullptr, 0, nullptr, nullptr, nullptr,
     nullptr},
    {TDR_TAG_SD_CUBE, "Sd_Cube", kByClass, TDR_TAG_SD_CUBE_ATB, 0, 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr},
    {TDR_TAG_SD_SOLIDMODEL, "Sd_SolidModel", kByClass, TDR_TAG_SD_SOLIDMODEL_ATB, 0, 0, nullptr, 0, nullptr, nullptr,
     nullptr, nullptr},
    {TDR_TAG_SD_LINES2D, "Sd_Lines2D", kByClass, TDR_TAG_SD_LINES2D_ATB, 0, 0, nullptr, 0, nullptr, nullptr, nullptr,
     nullptr},
    {TDR_TAG_SD_POINT3D, "Sd_Point3D", kByClass, TDR_TAG_SD_POINT3D_ATB, 0, 0, nullptr, 0, nullptr, nullptr, nullptr,
     nullptr},
    {TDR_TAG_SD_ACTPOINT3D, "Sd_ActPoint3D", kByClass, TDR_TAG_SD_POINT3D_ATB, 0, 0, nullptr, 0, nullptr, nullptr, nullptr,
     nullptr},
    {TDR_TAG_SD_LINES3D, "Sd_Lines3D", kByClass, TDR_TAG_SD_LINES3D_ATB, 0, kInherit, nullptr, 0, nullptr, nullptr,
     nullptr, nullptr},
    {TDR_TAG_SD_GEOIMAGE, "Sd_GeoImage", kByClass, TDR_TAG_SD_GEOIMAGE_ATB, 0, 0, "Reading a GeoImage Object!", 0,
     nullptr, nullptr, nullptr, nullptr},
    {TDR_TAG_SD_QUADRATIC, "Sd_Quadratic", kByClass, TDR_TAG_SD_QUADRATIC_ATB, 0, 0, nullptr, 0, nullptr, nullptr,
     nullptr, nullptr},
    // A failed load of this class is dropped without a message.
    {TDR_TAG_SD_HTFSOUNDING, "Sd_HTFSounding", kByClass, TDR_TAG_SD_HTFSOUNDING_ATB, 0, 0, nullptr, 0, nullptr, nullptr,
     nullptr, nullptr},
    {TDR_TAG_SD_REALTIMEDTM, "Sd_RealTimeDTM", kByClass, 0, 0, 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr},
    {TDR_TAG_SD_VIMAGE, "Sd_VImage", kByClass, TDR_TAG_SD_VIMAGE_ATB, 0, 0, "Reading a VImage Object!", 0, nullptr,
     nullptr, nullptr, nullptr},
};

// The table of this process: the format's rows, then added classes, in
// ascending tag order.
std::vector<Entry>& Table() {
  static std::vector<Entry> table(std::begin(kFormat), std::end(kFormat));
  return table;
}

// Test classes set through SetTestClass.
std::map<int, Sd_IOSupport::Factory>& TestClasses() {
  static std::map<int, Sd_IOSupport::Factory> classes;
  return classes;
}

Entry* Find(int tag) {
  for (Entry& e : Table()) {
    if (e.tag == tag) return &e;
  }
  return nullptr;
}

}  // namespace

const Sd_IOSupport::ClassEntry* Sd_IOSupport::ClassTable(int* count) {
  if (count) *count = static_cast<int>(Table().size());
  return Table().data();
}

const Sd_IOSupport::ClassEntry* Sd_IOSupport::FindClass(int tag) { return Find(tag); }

Sd_IOSupport::Factory Sd_IOSupport::GetFactory(int tag) {
  const Entry* entry = Find(tag);
  if (!entry) return nullptr;
  const auto test = TestClasses().find(tag);
  if (test != TestClasses().end()) return test->second;
  return entry->create;
}

int Sd_IOSupport::RegisterClass(int tag, Factory create, SampleWriter writeSample, int typeId) {
  Entry* entry = Find(tag);
  if (!entry || !create) return -1;
  if (entry->create && entry->create != create) return -1;
  entry->create = create;
  if (writeSample) entry->writeSample = writeSample;
  if (typeId) entry->typeId = typeId;
  return 0;
}

int Sd_IOSupport::AddClass(const ClassEntry& entry) {
  if (Find(entry.tag)) return RegisterClass(entry.tag, entry.create, entry.writeSample, entry.typeId);
  char name[TDR_TAG_NAME_SIZE];
  if (!entry.create || !entry.className || TDR_Manager::TagName(entry.tag, name) != entry.tag) return -1;
  std::vector<Entry>& table = Table();
  const auto at = std::find_if(table.begin(), table.end(), [&](const Entry& e) { return e.tag > entry.tag; });
  table.insert(at, entry);
  return 0;
}

int Sd_IOSupport::SetTestClass(int tag, Factory create) {
  if (!Find(tag)) return -1;
  if (create) {
    TestClasses()[tag] = create;
  } else {
    TestClasses().erase(tag);
  }
  return 0;
}

void Sd_IOSupport::ClearTestClasses() { TestClasses().clear(); }
