#include "seeding.h"

#include "settingsfile.h"
#include "settingskeys.h"

#include <QFileInfo>

void seedUserSettings(const QString &dataDirectory)
{
    const QString path = pathIn(dataDirectory, Names::UserSettings);
    if (QFileInfo::exists(path))
        return;
    // A failed write leaves the file missing, and the next launch seeds it.
    writeSettingsFile(path, userDefaults());
}
