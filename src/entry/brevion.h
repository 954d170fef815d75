/* Brevion: configuration utility for Vant TALIX bridges. C interface for host programs. */
#ifndef BREVION_H
#define BREVION_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct brevion_component brevion_component;

/* Creates the component; NULL on failure. */
__attribute__((visibility("default"))) brevion_component* brevion_create(void);
/* Opens the discovery window and returns when the user has closed the windows. 0 on success. */
__attribute__((visibility("default"))) int brevion_show(brevion_component* component);
/* Releases the component (unloads its windows). NULL is ignored. */
__attribute__((visibility("default"))) void brevion_release(brevion_component* component);
/* Optional: device UDP port, local UDP port and discovery address; 0 / NULL keep the default. */
__attribute__((visibility("default"))) void brevion_set_network(unsigned short device_port,
                                                                unsigned short local_port,
                                                                const char* discovery_address);
/* "Brevion.NxConfig" */
__attribute__((visibility("default"))) const char* brevion_progid(void);
/* "1.2.0" */
__attribute__((visibility("default"))) const char* brevion_version(void);

#ifdef __cplusplus
}
#endif

#endif
