// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// The software code in the data directory's "setting.ini".
#include "softwarecode.h"

#include "userdata/datadirectorylock.h"
#include "userdata/settingsfile.h"
#include "userdata/settingskeys.h"

#include <QFileInfo>
#include <QUuid>

QString makeSoftwareCode()
{
    return QUuid::createUuid().toString(QUuid::Id128).toUpper();
}

void ensureSoftwareCode(const QString &path, const QVariant &stored, const QDeadlineTimer &deadline)
{
    // Nearly every launch ends here, without waiting for any lock. Whatever
    // value the code holds (a list, too, if a comma split it), it is the
    // installation's and stays.
    if (isPresent(stored))
        return;
    const DataDirectoryLock lock(QFileInfo(path).path(), deadline);
    if (!lock.isLocked())
        return;
    // Decided on the file as read under the application's lock: another
    // launcher, or the application, may have stored a code while this one
    // waited, or the file may be gone.
    const auto decide = [](const SettingsFileState &file) {
        if (!file.exists() || file.holds(Keys::SoftwareCode))
            return SettingsValues();
        return SettingsValues {{QLatin1String(Keys::SoftwareCode), makeSoftwareCode()}};
    };
    writeSettingsFile(path, decide, deadline);
}
