#pragma once

#if defined(BREVION_BUILDING_LIBRARY)
#define BREVION_EXPORT __attribute__((visibility("default")))
#else
#define BREVION_EXPORT
#endif
