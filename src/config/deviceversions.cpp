#include "config/deviceversions.h"

namespace brevion {

DeviceVersions& SharedVersions()
{
    static DeviceVersions versions;
    return versions;
}

} // namespace brevion
