#ifndef SV_TYPES_H
#define SV_TYPES_H

// Scalar types of the base library.
typedef int SVint;
typedef unsigned int SVuint;
typedef float SVfloat;
typedef double SVdouble;

// Pixels per inch at the camera's default of 37.64706 pixels per centimetre.
static const double SV_PIXELS_PER_INCH = 2.54 * 37.64706;

// Message levels of Sv_Debug.
enum {
  SV_LEVEL_ERROR = -99,
  SV_LEVEL_WARNING = -3,
  SV_LEVEL_INFO = -2,
  SV_LEVEL_DEBUG = -1
};

#endif
