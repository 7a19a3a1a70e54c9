#ifndef SD_SCENECLASSES_H
#define SD_SCENECLASSES_H

// Hands the constructors and sample writers of this library's object
// classes (groups and the general scene objects) to the object factory.
// Call once at start, before any file is read (Sd_RegisterAllClasses does);
// calling it again changes nothing. Returns 0, or -1 when the factory
// refused a class.
int Sd_RegisterSceneClasses();

#endif
