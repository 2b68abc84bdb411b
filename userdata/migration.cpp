#include "migration.h"

#include "settingsfile.h"
#include "settingskeys.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace {

struct Versions
{
    QString current;
    QString previous;
};

bool readVersions(const QString &path, Versions *versions)
{
    const QSettings legacy(path, QSettings::IniFormat);
    if (legacy.status() == QSettings::AccessError)
        return false;
    versions->current = legacy.value(QLatin1String(Keys::CurrentVersion)).toString();
    versions->previous = legacy.value(QLatin1String(Keys::PreviousVersion)).toString();
    return true;
}

// A read-only file cannot be removed on Windows until the attribute is
// cleared. Where the removal fails anyway, the file gets its permissions back:
// the old release it belongs to may still need to read it.
void removeLegacyFile(const QString &path)
{
    const QFileDevice::Permissions before = QFile::permissions(path);
    QFile::setPermissions(path, QFileDevice::WriteOwner);
    if (!QFile::remove(path))
        QFile::setPermissions(path, before);
}

} // namespace

QString legacySettingsPath()
{
    return pathIn(QCoreApplication::applicationDirPath(), Names::Settings);
}

void migrateLegacySettings(const QString &dataDirectory)
{
    const QString legacyPath = legacySettingsPath();
    if (!QFileInfo(legacyPath).isFile())
        return;
    Versions versions;
    if (!readVersions(legacyPath, &versions))
        return;
    const QString newPath = pathIn(dataDirectory, Names::Settings);
    if (!QFileInfo(newPath).isFile()) {
        const SettingsValues moved = {
            {Keys::CurrentVersion, versions.current},
            {Keys::PreviousVersion, versions.previous},
            {Keys::SoftwareCode, QString()},
        };
        if (!writeSettingsFile(newPath, moved))
            return;
    }
    removeLegacyFile(legacyPath);
}
