// The main window's options file (window geometry, last directory, stereo at
// start-up) and the Preferences dialog that changes the stereo choice. Until
// they are read and written here the window starts with its defaults.

#include <cstdlib>

#include "orvanta.h"
#include "Sv_Stdlib.h"

char* orvanta::GetOptionsFileName() { return Sv_UtlStrDup("pc_orvantaOptions"); }

void orvanta::SaveConfigurationFile() {}

void orvanta::LoadConfigurationFile() {}

void orvanta::FilePreferencesSL() {}
