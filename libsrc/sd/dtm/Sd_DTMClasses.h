#ifndef SD_DTMCLASSES_H
#define SD_DTMCLASSES_H

// Hands the constructors and sample writers of this library's terrain classes to the object
// factory (Sd_IOSupport), whose class table names every object tag but
// cannot reach classes of the libraries above it. Call once at start, before
// any file is read; calling it again changes nothing. Returns 0, or -1 when
// the factory refused a class.
int Sd_RegisterTerrainClasses();

#endif
