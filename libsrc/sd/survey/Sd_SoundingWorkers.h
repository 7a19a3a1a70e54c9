#ifndef SD_SOUNDINGWORKERS_H
#define SD_SOUNDINGWORKERS_H

// The sounding passes run on the base library's worker threads.
#include "Sv_Workers.h"

namespace sd_sounding {
using namespace sv_workers;
}  // namespace sd_sounding

#endif
