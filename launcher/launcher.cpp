#include "launcher.h"

#include "softwarecode.h"

#include "userdata/datadirectory.h"
#include "userdata/settingskeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>

namespace {

QString chooseVersion(const QString &current, const QString &previous)
{
    if (!current.isEmpty())
        return current;
    if (!previous.isEmpty())
        return previous;
    return QLatin1String(Names::DefaultVersion);
}

} // namespace

void Launcher::run() const
{
    startVersion(versionToRun(prepareDataDirectory()));
}

QString Launcher::versionToRun(const QString &dataDirectory)
{
    // Without a data directory the path would be "/setting.ini", a file at
    // the filesystem root that is not ours to read or write.
    if (dataDirectory.isEmpty())
        return QLatin1String(Names::DefaultVersion);
    const QString path = pathIn(dataDirectory, Names::Settings);
    if (!QFileInfo(path).isFile())
        return QLatin1String(Names::DefaultVersion);
    const QSettings settings(path, QSettings::IniFormat);
    const QString version = chooseVersion(settings.value(QLatin1String(Keys::CurrentVersion), QString()).toString(),
                                          settings.value(QLatin1String(Keys::PreviousVersion), QString()).toString());
    ensureSoftwareCode(settings);
    return version;
}

void Launcher::startVersion(const QString &version)
{
    // The version is a directory name exactly as stored, blanks and all.
    const QString versionDirectory = QCoreApplication::applicationDirPath() + QLatin1Char('/') + version;
    QDir::setCurrent(versionDirectory);
    const QString target = versionDirectory + QLatin1Char('/') + QLatin1String(Names::Executable);
    if (!QFileInfo(target).isFile())
        return;
    // The full path, never the bare name: a bare name is looked up on PATH
    // (and on Windows beside the launcher first), which would start some
    // other "Quillora.exe" than the one just checked.
    QProcess::startDetached(target, QStringList(), versionDirectory);
}
