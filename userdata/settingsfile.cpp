// SPDX-License-Identifier: MIT
// Reading and writing settings files without ever losing one.
#include "settingsfile.h"

#include "platform.h"
#include "settingskeys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QTemporaryFile>
#include <QThread>
#include <QVariantMap>

#include <algorithm>

namespace {

constexpr char ScratchMark[] = ".scratch.";

// Polls a file another program holds open without sharing: such holds last
// milliseconds to a few seconds.
constexpr unsigned long HeldFileRetryMs = 50;

// The six characters QTemporaryFile puts in place of "XXXXXX".
bool isRandomPart(const QString &text)
{
    return text.size() == 6
        && std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128 && c.isLetterOrNumber(); });
}

// "<file>.scratch.XXXXXX", and what QSettings makes beside such a file while
// it writes it: its lock "<file>.scratch.XXXXXX.lock" (and that lock's
// ".rmlock") and its own temporary "<file>.scratch.XXXXXX.XXXXXX". Anything
// else is not the launcher's, however similar its name.
bool isScratchLeftover(const QString &fileName)
{
    for (const char *target : {Names::UserSettings, Names::Settings}) {
        const QString prefix = QLatin1String(target) + QLatin1String(ScratchMark);
        if (!fileName.startsWith(prefix))
            continue;
        const QString rest = fileName.mid(prefix.size());
        const QString suffix = rest.mid(6);
        return isRandomPart(rest.left(6))
            && (suffix.isEmpty() || suffix == QLatin1String(".lock") || suffix == QLatin1String(".lock.rmlock")
                || (suffix.startsWith(QLatin1Char('.')) && isRandomPart(suffix.mid(1))));
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
        QTemporaryFile file(path + QLatin1String(ScratchMark) + QStringLiteral("XXXXXX"));
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
    const QFileInfo info(path);
    if (info.exists() && (info.size() > MaxSettingsFileSize || !readAll(path, &current)))
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
    // disk; a full or failing disk shows up in exactly those, so both are
    // checked here.
    if (!writeAll(file, text) || !Platform::syncToDisk(file)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace

OpenedSettings openSettingsFile(const QString &path, const QDeadlineTimer &deadline)
{
    OpenedSettings opened;
    const QFileInfo info(path);
    if (!info.isFile())
        return opened;
    opened.state = OpenedSettings::Unreadable;
    if (info.size() > MaxSettingsFileSize)
        return opened;
    for (;;) {
        auto settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
        if (settings->status() != QSettings::AccessError) {
            opened.state = OpenedSettings::Open;
            opened.settings = std::move(settings);
            return opened;
        }
        if (deadline.hasExpired() || !Platform::isHeldByAnotherProgram(path))
            return opened;
        QThread::msleep(HeldFileRetryMs);
    }
}

Versions Versions::from(const QSettings &settings)
{
    return {settings.value(QLatin1String(Keys::CurrentVersion), QString()).toString(),
            settings.value(QLatin1String(Keys::PreviousVersion), QString()).toString()};
}

QString Versions::toRun() const
{
    if (!current.isEmpty())
        return current;
    if (!previous.isEmpty())
        return previous;
    return QLatin1String(Names::DefaultVersion);
}

bool writeSettingsFile(const QString &path, const SettingsValues &values)
{
    const Platform::PrivateCreation privateCreation;
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
