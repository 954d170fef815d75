/* Brevion: configuration utility for Vant TALIX bridges. C interface for host programs. */
#ifndef BREVION_H
#define BREVION_H

#include "brevion_export.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct brevion_component brevion_component;

/* Creates the component; NULL on failure. */
BREVION_EXPORT brevion_component* brevion_create(void);
/* Opens the discovery window and returns when the user has closed the windows. 0 on success. */
BREVION_EXPORT int brevion_show(brevion_component* component);
/* Releases the component (unloads its windows). NULL is ignored. */
BREVION_EXPORT void brevion_release(brevion_component* component);
/* Optional: device UDP port, local UDP port and discovery address; 0 / NULL keep the default. */
BREVION_EXPORT void brevion_set_network(unsigned short device_port, unsigned short local_port,
                                        const char* discovery_address);
/* "Brevion.NxConfig" */
BREVION_EXPORT const char* brevion_progid(void);
/* "1.3.0" */
BREVION_EXPORT const char* brevion_version(void);

#ifdef __cplusplus
}
#endif

#endif
