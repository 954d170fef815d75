#pragma once

namespace brevion {

// The component's version: major, minor, revision.
inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 3;
inline constexpr int kVersionRevision = 0;

} // namespace brevion
