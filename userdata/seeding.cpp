#include "seeding.h"

#include "settingsfile.h"
#include "settingskeys.h"

#include <QFileInfo>

void seedUserSettings(const QString &dataDirectory)
{
    const QString path = QStringLiteral("%1/%2").arg(dataDirectory, QLatin1String(Names::UserSettings));
    if (QFileInfo::exists(path))
        return;
    // A failed write leaves the file missing, and the next launch seeds it.
    writeSettingsFile(path, userDefaults());
}
