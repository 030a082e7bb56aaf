#pragma once

#include <QHash>
#include <QString>

namespace platform {

// The per-user settings store: one file per application in the user's
// configuration folder, one group per section.
QString readSetting(const QString &application, const QString &section, const QString &key,
    const QString &defaultValue);
void writeSetting(
    const QString &application, const QString &section, const QString &key, const QString &value);

// Every key of a group of a section, with its value; a key may hold "/".
QHash<QString, QString> readSettingsGroup(
    const QString &application, const QString &section, const QString &group);
void removeSetting(const QString &application, const QString &section, const QString &key);

// False when the store is there but cannot be read, for instance when its
// file is a folder; a store not written yet reads as empty.
bool canReadSettings(const QString &application);

} // namespace platform
