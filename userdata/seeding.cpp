// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// A new user's "user.ini".
#include "seeding.h"

#include "datadirectory.h"
#include "settingsfile.h"
#include "settingskeys.h"

#include <QFileInfo>

namespace {

// In the order they are written.
SettingsValues userDefaults()
{
    return {
        {QLatin1String(Keys::Login), Defaults::Login},
        {QLatin1String(Keys::Username), QLatin1String(Defaults::Username)},
        {QLatin1String(Keys::Password), QLatin1String(Defaults::Password)},
        {QLatin1String(Keys::ShowStream), Defaults::ShowStream},
        {QLatin1String(Keys::Lang), QLatin1String(Defaults::Lang)},
        {QLatin1String(Keys::ShowDeviceType), Defaults::ShowDeviceType},
    };
}

} // namespace

void seedUserSettings(const QString &dataDirectory, const QDeadlineTimer &deadline)
{
    const QString path = pathIn(dataDirectory, Names::UserSettings);
    if (QFileInfo::exists(path))
        return;
    // A failed write leaves the file missing, and the next launch seeds it;
    // one the application wrote meanwhile is the user's.
    writeSettingsFile(
        path, [](const SettingsFileState &file) { return file.exists() ? SettingsValues() : userDefaults(); },
        deadline);
}
