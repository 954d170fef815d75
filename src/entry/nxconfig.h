#pragma once

#include "brevion_export.h"
#include "version.h"

namespace brevion {

// Identity of the component, kept from its registration as an in-process server.
inline constexpr const char* kProgID = "Brevion.NxConfig";
inline constexpr const char* kClassID = "{FC51F682-F076-4DFC-ADB2-72DC71011891}";
inline constexpr const char* kInterfaceID = "{D256F26D-3E07-468B-9FA8-33E0D9ED12B6}";
inline constexpr const char* kTypeLibID = "{AA61E644-C96B-4647-B671-BA1F7EF0FFF4}";

// The component's one public class. Show opens the discovery window and returns when the user
// has closed the component's windows.
class BREVION_EXPORT NxConfig {
public:
    NxConfig();
    ~NxConfig();
    NxConfig(const NxConfig&) = delete;
    NxConfig& operator=(const NxConfig&) = delete;

    void Show();
    // Unloads the three main windows; harmless when they are not loaded, so it may run twice.
    void Class_Terminate();
};

// Points the component at a device port, local port and discovery address other than the
// real ones (tests, the demo, simulated devices).
BREVION_EXPORT void ConfigureNetwork(unsigned short devicePort, unsigned short localPort,
                                     const char* discoveryAddress);

} // namespace brevion
