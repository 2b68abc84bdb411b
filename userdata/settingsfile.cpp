#include "settingsfile.h"

#include "privatecreation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QTemporaryFile>
#include <QVariantMap>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// QSaveFile writes beside its target under the target's name plus a dot and
// six random letters; a launcher killed mid-commit leaves one behind.
bool isSaveFileTemporary(const QString &suffix)
{
    if (suffix.size() != 6)
        return false;
    for (const QChar c : suffix) {
        if (!((c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))))
            return false;
    }
    return true;
}

bool isScratchLeftover(const QString &fileName)
{
    for (const char *target : {Names::UserSettings, Names::Settings}) {
        const QString prefix = QLatin1String(target) + QLatin1Char('.');
        if (!fileName.startsWith(prefix))
            continue;
        const QString suffix = fileName.mid(prefix.size());
        return suffix.startsWith(QLatin1String("scratch.")) || isSaveFileTemporary(suffix);
    }
    return false;
}

bool readAll(const QString &path, QByteArray *bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *bytes = file.readAll();
    return file.error() == QFileDevice::NoError && bytes->size() == file.size();
}

bool writeAll(QFileDevice &file, const QByteArray &bytes)
{
    return file.write(bytes) == bytes.size() && file.flush();
}

QVariantMap contentsOf(const QSettings &settings)
{
    QVariantMap contents;
    for (const QString &key : settings.allKeys())
        contents.insert(key, settings.value(key));
    return contents;
}

// A uniquely named file beside `path`, holding `contents`, removed again when
// this goes out of scope. Not a QTemporaryFile: on Windows its handle, even
// closed, keeps QSettings from replacing the file.
class ScratchFile
{
public:
    ScratchFile(const QString &path, const QByteArray &contents)
    {
        QTemporaryFile file(path + QStringLiteral(".scratch.XXXXXX"));
        file.setAutoRemove(false);
        // Named only once written: an unnamed file that fails vanishes with its handle.
        if (file.open() && writeAll(file, contents))
            m_name = file.fileName();
    }
    ~ScratchFile()
    {
        if (!m_name.isEmpty())
            QFile::remove(m_name);
    }
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;

    bool isValid() const { return !m_name.isEmpty(); }
    QString name() const { return m_name; }

private:
    QString m_name;
};

// Lets QSettings turn the current file plus `values` into INI text. It works
// on a scratch copy, as its own writer can report success for a file the
// disk did not take whole.
bool render(const QString &path, const SettingsValues &values, QByteArray *text, QVariantMap *meant)
{
    QByteArray current;
    if (QFileInfo::exists(path) && !readAll(path, &current))
        return false;
    // Qt 5 reads a UTF-8 byte-order mark as a stray line and calls the whole
    // file malformed. The mark carries nothing, and QSettings never writes one.
    if (current.startsWith("\xEF\xBB\xBF"))
        current.remove(0, 3);
    const ScratchFile scratch(path, current);
    if (!scratch.isValid())
        return false;
    {
        QSettings settings(scratch.name(), QSettings::IniFormat);
        if (settings.status() != QSettings::NoError)
            return false;
        for (const auto &value : values)
            settings.setValue(value.first, value.second);
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return false;
        *meant = contentsOf(settings);
    }
    return readAll(scratch.name(), text);
}

// Reads `text` back from a file QSettings has never opened: for one it has,
// it answers from memory whenever size and time match, truncated or not.
bool holdsExactly(const QString &path, const QByteArray &text, const QVariantMap &meant)
{
    const ScratchFile copy(path, text);
    if (!copy.isValid())
        return false;
    const QSettings settings(copy.name(), QSettings::IniFormat);
    return settings.status() == QSettings::NoError && contentsOf(settings) == meant;
}

bool replace(const QString &path, const QByteArray &text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // commit() neither checks the last flush of its buffer nor the sync to
    // disk; a full disk shows up in exactly those, so both are checked here.
    bool written = writeAll(file, text);
#ifdef Q_OS_UNIX
    written = written && ::fsync(file.handle()) == 0;
#endif
    if (!written) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace

bool writeSettingsFile(const QString &path, const SettingsValues &values)
{
    const PrivateCreation privateCreation;
    QByteArray text;
    QVariantMap meant;
    return render(path, values, &text, &meant) && holdsExactly(path, text, meant) && replace(path, text);
}

void removeScratchLeftovers(const QString &dataDirectory)
{
    const QDir directory(dataDirectory);
    for (const QString &name : directory.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (isScratchLeftover(name))
            QFile::remove(directory.filePath(name));
    }
}
