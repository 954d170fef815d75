#pragma once

namespace brevion {

// Seconds on a monotonic clock; only differences are meaningful.
double MonotonicSeconds();

} // namespace brevion
