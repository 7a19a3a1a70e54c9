#ifndef TDR_TAGS_H
#define TDR_TAGS_H

// Tag ids of tagged-data-record files and their names.
//
// TDR_TAG_LIST is the one tag-name table of the system: every tag id that a
// record of any data file uses, with its name. TDR_Manager::TagName and
// TDR_Manager::ReadTag look ids up in it; an id that is not listed reads as
// TDR_TAG_ERROR. Attribute (settings) tags are named after their object tag
// with "_ATB" appended.
//
// Each entry is X(name, id) and defines the constant TDR_TAG_<name>.
#define TDR_TAG_LIST(X)              \
  X(ERROR, 1)                        \
  X(SCALAR, 1000)                    \
  X(BORE_DATA, 1020)                 \
  X(SD_HIERARCHY, 9900)              \
  X(SD_NODE, 9910)                   \
  X(SD_PARENT, 9950)                 \
  X(SD_ALIGNPARENT, 9955)            \
  X(SD_ALIGNPARENT_ATB, 9956)        \
  X(SD_CABLEPARENT, 9960)            \
  X(SD_CABLEPARENT_ATB, 9961)        \
  X(SD_SHIPPARENT, 9965)             \
  X(SD_SHIPPARENT_ATB, 9966)         \
  X(SD_LAYCABLEPARENT, 9970)         \
  X(SD_ROVPARENT, 9975)              \
  X(SD_ROVPARENT_ATB, 9976)          \
  X(SD_CABLESPHPARENT, 9980)         \
  X(SD_CABLESPHPARENT_ATB, 9981)     \
  X(SD_BASICDTM, 10000)              \
  X(SD_BASICDTM_ATB, 10002)          \
  X(SD_SONARDTM, 10005)              \
  X(SD_SONARDTM_ATB, 10007)          \
  X(SD_SPECTRUMDTM, 10010)           \
  X(SD_SPECTRUMDTM_ATB, 10012)       \
  X(SD_SPHEREDTM, 10015)             \
  X(SD_SPHEREDTM_ATB, 10017)         \
  X(SD_COMPRESSDTM, 10020)           \
  X(SD_CABLEROUTE, 10025)            \
  X(SD_CONTOURDTM, 10030)            \
  X(SD_CONTOURDTM_ATB, 10031)        \
  X(SD_SURFACEPLOT, 10035)           \
  X(SD_SURFACEPLOT_ATB, 10036)       \
  X(SD_SURFACESERIES, 10040)         \
  X(SD_SURFACESERIES_ATB, 10041)     \
  X(SD_VRDTM, 10045)                 \
  X(SD_VRDTM_ATB, 10046)             \
  X(SD_TEXTUREDTM, 10050)            \
  X(SD_TEXTUREDTM_ATB, 10051)        \
  X(SD_BOREHOLE, 10070)              \
  X(SD_BOREHOLE_ATB, 10071)          \
  X(SD_GRID2D, 10100)                \
  X(SD_GRID2D_ATB, 10102)            \
  X(SD_LABELEDGRID, 10105)           \
  X(SD_LABEL, 10110)                 \
  X(SD_LABEL_ATB, 10112)             \
  X(SD_VOLUME, 10200)                \
  X(SD_VOLUME_ATB, 10202)            \
  X(SD_VOLUMESERIE, 10210)           \
  X(SD_SEISMIC, 10300)               \
  X(SD_SEISMIC_ATB, 10302)           \
  X(SD_SOUNDING, 10400)              \
  X(SD_SOUNDING_ATB, 10402)          \
  X(SD_SOUNDING_EDITS, 10403)        \
  X(SD_GEOEDITOR, 10410)             \
  X(SD_PLANE, 10500)                 \
  X(SD_PLANE_ATB, 10502)             \
  X(SD_CUBE, 10505)                  \
  X(SD_CUBE_ATB, 10507)              \
  X(SD_SOLIDMODEL, 10510)            \
  X(SD_SOLIDMODEL_ATB, 10511)        \
  X(SD_LINES2D, 10515)               \
  X(SD_LINES2D_ATB, 10516)           \
  X(SD_POINT3D, 10520)               \
  X(SD_POINT3D_ATB, 10521)           \
  X(SD_ACTPOINT3D, 10522)            \
  X(SD_LINES3D, 10525)               \
  X(SD_LINES3D_ATB, 10526)           \
  X(SD_GEOIMAGE, 10530)              \
  X(SD_GEOIMAGE_ATB, 10531)          \
  X(SD_QUADRATIC, 10535)             \
  X(SD_QUADRATIC_ATB, 10536)         \
  X(SD_GRID3D, 10540)                \
  X(SD_HTFSOUNDING, 10545)           \
  X(SD_HTFSOUNDING_ATB, 10546)       \
  X(SD_HTFSOUNDING_EDITS, 10547)     \
  X(SD_REALTIMEDTM, 10550)           \
  X(SD_VIMAGE, 10555)                \
  X(SD_VIMAGE_ATB, 10556)            \
  X(SD_ROV, 10557)                   \
  X(GEOREF, 15000)                   \
  X(BK_SCENE, 20002)                 \
  X(BK_MOVIE, 20006)                 \
  X(BK_CMAP, 20010)                  \
  X(BK_CMAPTABLE, 20012)             \
  X(EOF, 999999999)

#define TDR_TAG_DEFINE_CONSTANT(name, id) constexpr int TDR_TAG_##name = id;
TDR_TAG_LIST(TDR_TAG_DEFINE_CONSTANT)
#undef TDR_TAG_DEFINE_CONSTANT

// Longest tag name plus its terminator; TDR_Manager::TagName writes at most
// this many characters.
constexpr int TDR_TAG_NAME_SIZE = 50;

#endif
