#ifndef SD_GRAPHCLASSES_H
#define SD_GRAPHCLASSES_H

// Hands the constructors and sample writers of the group classes (the plain
// parent and the alignment node) to the object factory. Call once at start,
// before any file is read (Sd_RegisterAllClasses does); calling it again
// changes nothing. Returns 0, or -1 when the factory refused a class.
int Sd_RegisterGraphClasses();

#endif
