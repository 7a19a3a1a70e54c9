#ifndef SD_VEHICLECLASSES_H
#define SD_VEHICLECLASSES_H

// Hands the constructors and sample writers of the vehicle nodes (ship, ROV,
// cable and cable-sphere) to the object factory. Call once at start, before
// any file is read (Sd_RegisterAllClasses does); calling it again changes
// nothing. Returns 0, or -1 when the factory refused a class.
int Sd_RegisterVehicleClasses();

#endif
