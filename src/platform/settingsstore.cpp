#include "platform/settingsstore.h"

#include <QSettings>

namespace platform {

namespace {

QSettings store(const QString &application)
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, application);
}

QString keyOf(const QString &section, const QString &key)
{
    return section + QLatin1Char('/') + key;
}

} // namespace

QString readSetting(const QString &application, const QString &section, const QString &key,
    const QString &defaultValue)
{
    return store(application).value(keyOf(section, key), defaultValue).toString();
}

void writeSetting(
    const QString &application, const QString &section, const QString &key, const QString &value)
{
    store(application).setValue(keyOf(section, key), value);
}

QHash<QString, QString> readSettingsGroup(
    const QString &application, const QString &section, const QString &group)
{
    QSettings settings = store(application);
    settings.beginGroup(keyOf(section, group));
    QHash<QString, QString> values;
    for (const QString &key : settings.allKeys())
        values.insert(key, settings.value(key).toString());
    return values;
}

void removeSetting(const QString &application, const QString &section, const QString &key)
{
    store(application).remove(keyOf(section, key));
}

bool canReadSettings(const QString &application)
{
    return store(application).status() != QSettings::AccessError;
}

} // namespace platform
