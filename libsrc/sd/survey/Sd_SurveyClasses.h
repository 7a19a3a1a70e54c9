#ifndef SD_SURVEYCLASSES_H
#define SD_SURVEYCLASSES_H

// Hands the constructors and sample writers of this library's survey data
// classes (soundings, volumes, seismic curtains) to the object factory.
// Call once at start, before any file is read (Sd_RegisterAllClasses does);
// calling it again changes nothing. Returns 0, or -1 when the factory
// refused a class.
int Sd_RegisterSurveyClasses();

#endif
