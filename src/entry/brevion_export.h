#pragma once

// What libbrevion.so exports: NxConfig, ConfigureNetwork and the C interface. The library is
// built with hidden visibility, so nothing else leaves it.

#if defined(BREVION_BUILDING_LIBRARY)
#define BREVION_EXPORT __attribute__((visibility("default")))
#else
#define BREVION_EXPORT
#endif
