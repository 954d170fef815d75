#include "ui/clock.h"

#include <chrono>

namespace brevion {

double MonotonicSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace brevion
