#pragma once

namespace brevion {

class DeviceLink;

// The one device link of the windows, made on first use and gone with the application. It binds
// the local port (Network()) while a conversation of any window runs, and lets it go after.
DeviceLink& WindowLink();

} // namespace brevion
