#ifndef SD_OBJECTCLASSES_H
#define SD_OBJECTCLASSES_H

// Hands the constructors and sample writers of the general scene
// object classes (points, images, grids, lines, labels, solids, boreholes) to the object factory.
// Call once at start, before any file is read (Sd_RegisterAllClasses does);
// calling it again changes nothing. Returns 0, or -1 when the factory
// refused a class.
int Sd_RegisterObjectClasses();

#endif
