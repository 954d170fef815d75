// A host program on the C++ interface: the class and the version constants are usable.
#include <nxconfig.h>

#include <cstdio>
#include <type_traits>

static_assert(!std::is_copy_constructible_v<brevion::NxConfig>);

int main()
{
    brevion::ConfigureNetwork(0, 0, nullptr);
    std::printf("%s %d.%d.%d\n", brevion::kProgID, brevion::kVersionMajor, brevion::kVersionMinor,
                brevion::kVersionRevision);
    return 0;
}
