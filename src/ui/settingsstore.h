#pragma once

#include <QString>

namespace brevion {

// The per-user settings store: application "ZEVBridge", group "Settings", INI format.
// BREVION_SETTINGS_FILE points it at another file (tests).
QString ReadSetting(const QString& key, const QString& defaultValue);
void WriteSetting(const QString& key, const QString& value);

} // namespace brevion
