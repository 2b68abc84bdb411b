#pragma once

#include <QPair>
#include <QString>
#include <QVariant>
#include <QVector>

// Every name the launcher shares with the main application: file and
// directory names, INI keys and the defaults a new user starts with. Other
// programs read these files, so a name changed here breaks them.
namespace Names {
constexpr char DataDirectory[] = "Quillora";
constexpr char UserSettings[] = "user.ini";
constexpr char Settings[] = "setting.ini";
constexpr char Logs[] = "logs";
constexpr char Executable[] = "Quillora.exe";
constexpr char DefaultVersion[] = "1.0.0";
// Held by a launcher while it writes into the data directory.
constexpr char Lock[] = "launcher.lock";
}

namespace Keys {
// "setting.ini"
constexpr char CurrentVersion[] = "version/current_version";
constexpr char PreviousVersion[] = "version/previous_version";
constexpr char SoftwareCode[] = "code/software_code";

// "user.ini"
constexpr char Login[] = "config/login";
constexpr char Username[] = "config/username";
constexpr char Password[] = "config/password";
constexpr char ShowStream[] = "config/show_stream";
constexpr char Lang[] = "config/lang";
constexpr char ShowDeviceType[] = "config/showdevicetype";
}

// The entry `name` of `directory`, "%1/%2" as every path here is formed.
inline QString pathIn(const QString &directory, const char *name)
{
    return QStringLiteral("%1/%2").arg(directory, QLatin1String(name));
}

// Key and value pairs in the order they are written.
using SettingsValues = QVector<QPair<QString, QVariant>>;

// A new user's preferences. Integers stay integers: the main application
// reads them as numbers.
inline SettingsValues userDefaults()
{
    return {
        {Keys::Login, 0},
        {Keys::Username, QStringLiteral("admin")},
        {Keys::Password, QStringLiteral("5820")},
        {Keys::ShowStream, 1},
        {Keys::Lang, QStringLiteral("zh_CN")},
        {Keys::ShowDeviceType, 0},
    };
}
