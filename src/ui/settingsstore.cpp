#include "ui/settingsstore.h"

#include <QSettings>

#include <memory>

namespace brevion {
namespace {

std::unique_ptr<QSettings> openStore()
{
    const QByteArray file = qgetenv("BREVION_SETTINGS_FILE");
    if (!file.isEmpty())
        return std::make_unique<QSettings>(QString::fromLocal8Bit(file), QSettings::IniFormat);
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("ZEVBridge"), QStringLiteral("ZEVBridge"));
}

} // namespace

QString ReadSetting(const QString& key, const QString& defaultValue)
{
    auto store = openStore();
    store->beginGroup(QStringLiteral("Settings"));
    return store->value(key, defaultValue).toString();
}

void WriteSetting(const QString& key, const QString& value)
{
    auto store = openStore();
    store->beginGroup(QStringLiteral("Settings"));
    store->setValue(key, value);
    store->sync();
}

} // namespace brevion
