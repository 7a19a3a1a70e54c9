#ifndef SD_ALLCLASSES_H
#define SD_ALLCLASSES_H

// Registers every object class of the build with the object factory: the
// groups, the general objects, the vehicle nodes, the terrain models and
// the survey data classes, each
// library through its own registration call. The viewer, the tests, the
// fuzzer and the benchmarks call it once before reading any file; calling
// it again changes nothing. Returns 0, or -1 when a library's call failed.
int Sd_RegisterAllClasses();

#endif
