// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// Reading and writing settings files without ever losing one.
#include "settingsfile.h"

#include "inifile.h"
#include "lockfile.h"
#include "platform.h"
#include "settingskeys.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QSettings>
#include <QTemporaryFile>
#include <QThread>
#include <QVariantMap>

#include <algorithm>
#include <new>

namespace {

constexpr char ScratchMark[] = ".scratch.";

// Polls a file another program holds open without sharing: such holds last
// milliseconds to a few seconds.
constexpr unsigned long HeldFileRetryMs = 50;

constexpr char Utf8Mark[] = "\xEF\xBB\xBF";

// Far below Qt's 30 s stale time: how long a write may keep the
// application's settings lock before it replaces the file.
constexpr qint64 MaxSettingsLockHoldMs = 10000;

// Each costs Qt's reader a search to the end of the file: a few hundred of
// them, which no program writes (Qt reports each as a format error), would
// cost a launch seconds to hours. Such a file counts as unreadable.
constexpr int MaxUnclosedHeaders = 256;

// Text Qt 5 can read as INI. PowerShell 5's Out-File and Notepad's
// "Unicode" write UTF-16, in which Qt 5 finds no keys and reports no error;
// UTF-32 and binary files hold NUL bytes, which no INI text does.
bool isIniText(const QByteArray &bytes)
{
    return !bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF") && !bytes.contains('\0');
}

// Runs `read`, a reading through QSettings that says whether it went
// through, and gives its answer. Qt turns a "@Variant(...)" value into the
// type it names as it parses the value's section, and a damaged one can
// claim a list of billions of items: Qt then asks for more memory than
// exists and throws std::bad_alloc. Such a file reads as one Qt cannot
// read, never as the end of the launcher.
template<typename Read> bool readsThrough(Read read)
{
    try {
        return read();
    } catch (const std::bad_alloc &) {
        return false;
    }
}

// The six characters QTemporaryFile puts in place of "XXXXXX".
bool isRandomPart(const QString &text)
{
    return text.size() == 6
        && std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128 && c.isLetterOrNumber(); });
}

} // namespace

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

namespace {

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

enum class FileText { Missing, Read, Unreadable };

// The text of the settings file at `path` (empty: none), as far as it may be
// read: see openSettingsFile for what is missing and what unreadable.
FileText readText(const QString &path, QByteArray *text)
{
    qint64 size = 0;
    const Platform::FileState state = path.isEmpty() ? Platform::FileState::Missing : Platform::fileState(path, &size);
    if (state == Platform::FileState::Missing)
        return FileText::Missing;
    if (state == Platform::FileState::Unknown || size > MaxSettingsFileSize || !readAll(path, text) || !isIniText(*text)
        || Ini::unclosedHeaders(*text) > MaxUnclosedHeaders)
        return FileText::Unreadable;
    return FileText::Read;
}

// Qt 5 reads a file that opens with a UTF-8 mark as UTF-8, and also takes
// the mark for a malformed line before the first section, which fails any
// read of the whole file. Such a file is read as Qt reads its values: as
// UTF-8, without the mark, which comes back when the file is written.
QByteArray unmarked(const QByteArray &text)
{
    return text.startsWith(Utf8Mark) ? text.mid(int(sizeof Utf8Mark) - 1) : text;
}

void readAsMarked(QSettings &settings, const QByteArray &text)
{
    if (text.startsWith(Utf8Mark))
        settings.setIniCodec("UTF-8");
}

// How a reading of a file's text goes. The launcher's own reads a UTF-8
// marked file as UTF-8 without the mark, as Qt reads its values. The
// application's QSettings reads the text as it stands, and parses sections
// lazily, so what it sees of a key depends on what it read before: a fresh
// value() parses only the one section it picks for the key, a full parse
// (allKeys()) every section, the top level first, and a read of any top-level
// key parses the top level first.
enum class Reading { Launcher, Fresh, TopLevelFirst, Full };

// Reads `text` from a copy beside `path` that QSettings has never opened:
// for a file it has, it answers from memory whenever size and time match,
// whatever the disk holds. `read` gets the settings; false when no copy
// could be made or read.
template<typename Read> bool readCopy(const QString &path, const QByteArray &text, Reading reading, Read read)
{
    const ScratchFile copy(path, reading == Reading::Launcher ? unmarked(text) : text);
    if (!copy.isValid())
        return false;
    return readsThrough([&] {
        QSettings settings(copy.name(), QSettings::IniFormat);
        if (reading == Reading::Launcher)
            readAsMarked(settings, text);
        if (settings.status() == QSettings::AccessError)
            return false;
        if (reading == Reading::TopLevelFirst)
            settings.value(QStringLiteral("quillora-launcher-top-level"));
        read(settings);
        return true;
    });
}

// The settings in `text` as a full parse reads them, into `contents`, and
// how well Qt could read them into `status`.
bool readingOf(const QString &path, const QByteArray &text, Reading reading, QVariantMap *contents,
               QSettings::Status *status)
{
    return readCopy(path, text, reading, [&](QSettings &settings) {
        *contents = contentsOf(settings);
        *status = settings.status();
    });
}

// What each of the application's `readings` of `text` sees of `key`.
bool applicationValues(const QString &path, const QByteArray &text, const QString &key, QVariantList *values,
                       std::initializer_list<Reading> readings
                       = {Reading::Fresh, Reading::TopLevelFirst, Reading::Full})
{
    for (const Reading reading : readings) {
        const auto readKey = [&](QSettings &settings) {
            if (reading == Reading::Full)
                settings.allKeys();
            values->append(settings.value(key));
        };
        if (!readCopy(path, text, reading, readKey))
            return false;
    }
    return true;
}

// Lets QSettings write `values` alone as INI text, in the codec of a file
// holding `current`, and says how it reads them back (`meant`). It works on
// a scratch file, as its own writer can report success for a file the disk
// did not take whole.
bool render(const QString &path, const QByteArray &current, const SettingsValues &values, QByteArray *text,
            QVariantMap *meant)
{
    {
        const ScratchFile scratch(path, QByteArray());
        if (!scratch.isValid())
            return false;
        QSettings settings(scratch.name(), QSettings::IniFormat);
        readAsMarked(settings, current);
        for (const auto &value : values)
            settings.setValue(value.first, value.second);
        settings.sync();
        if (settings.status() != QSettings::NoError || !readAll(scratch.name(), text))
            return false;
    }
    QSettings::Status status;
    const auto holds = [meant](const QPair<QString, QVariant> &value) {
        const QVariant read = meant->value(value.first);
        const bool isList = value.second.type() == QVariant::List || value.second.type() == QVariant::StringList;
        return read.isValid()
            && (isList ? read.toStringList() == value.second.toStringList()
                       : read.toString() == value.second.toString());
    };
    return readingOf(path, current.startsWith(Utf8Mark) ? Utf8Mark + *text : *text, Reading::Launcher, meant, &status)
        && status == QSettings::NoError && std::all_of(values.begin(), values.end(), holds);
}

// Made read-only by its user (no owner write, the read-only attribute).
bool isMarkedReadOnly(const QString &path)
{
    return !(QFileInfo(path).permissions() & QFileDevice::WriteOwner);
}

// Keys as this system's QSettings tells them apart.
QVariantMap byName(const QVariantMap &contents)
{
    if (Platform::iniCaseSensitivity() == Qt::CaseSensitive)
        return contents;
    QVariantMap folded;
    for (auto entry = contents.begin(); entry != contents.end(); ++entry)
        folded.insert(entry.key().toLower(), entry.value());
    return folded;
}

// A new file: QSettings' own text of `values`, mark and all.
bool newText(const QString &path, const SettingsValues &values, QByteArray *text)
{
    QVariantMap meant;
    return render(path, QByteArray(), values, text, &meant);
}

// Whether the lazy readings the application may make of `text` see each of
// `meant`'s keys hold its value (a full parse is compared apart).
bool isSeenLazily(const QString &path, const QByteArray &text, const QVariantMap &meant)
{
    for (auto value = meant.begin(); value != meant.end(); ++value) {
        QVariantList seen;
        if (!applicationValues(path, text, value.key(), &seen, {Reading::Fresh, Reading::TopLevelFirst})
            || !std::all_of(seen.begin(), seen.end(), [&](const QVariant &v) { return v == value.value(); }))
            return false;
    }
    return true;
}

bool replaceOnce(const QString &path, const QByteArray &text)
{
    const bool existed = QFileInfo::exists(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // commit() neither checks the last flush of its buffer nor the sync to
    // disk; a full or failing disk shows up in exactly those, so both are
    // checked here. The new file is the old one's in all but its text.
    if (!writeAll(file, text) || (existed && !Platform::keepAttributesOf(path, file)) || !Platform::syncToDisk(file)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// A program that holds the file (a virus scanner, on Windows) keeps it from
// being read or replaced for a moment. Waits a little and says whether to
// try again: only while such a hold is what failed, and until `deadline`.
bool waitedForHolder(const QString &path, const QDeadlineTimer &deadline)
{
    if (deadline.hasExpired() || !Platform::isHeldByAnotherProgram(path))
        return false;
    QThread::msleep(HeldFileRetryMs);
    return true;
}

bool replace(const QString &path, const QByteArray &text, const QDeadlineTimer &deadline)
{
    while (!replaceOnce(path, text)) {
        if (!waitedForHolder(path, deadline))
            return false;
    }
    return true;
}

} // namespace

bool editedSettingsText(const QString &path, const QByteArray &current, const SettingsValues &values, QByteArray *text)
{
    QByteArray rendered;
    QVariantMap meant;
    QVariantMap before;
    QVariantMap after;
    QSettings::Status statusBefore;
    QSettings::Status statusAfter;
    if (!isIniText(current) || !render(path, current, values, &rendered, &meant)
        || !readingOf(path, current, Reading::Full, &before, &statusBefore))
        return false;
    const Qt::CaseSensitivity sensitivity = Platform::iniCaseSensitivity();
    *text = Ini::withValuesSet(current, rendered, sensitivity);
    if (!readingOf(path, *text, Reading::Full, &after, &statusAfter))
        return false;
    before = byName(before);
    const QVariantMap set = byName(meant);
    for (auto value = set.begin(); value != set.end(); ++value)
        before.insert(value.key(), value.value());
    return (statusAfter == QSettings::NoError || statusBefore != QSettings::NoError) && byName(after) == before
        && Ini::keepsOtherLines(current, *text, meant.keys(), sensitivity) && isSeenLazily(path, *text, meant);
}

bool isPresent(const QVariant &value)
{
    return value.isValid() && !(value.type() == QVariant::String && value.toString().isEmpty());
}

namespace {

// The launcher's keys in the settings file at `path` into `opened`, which
// is then Open; false when Qt cannot read them. Each is read once: every
// value() may parse a section of its own, and the one that throws is not
// met again later.
bool readLaunchersKeys(const QString &path, OpenedSettings *opened)
{
    return readsThrough([&] {
        const QSettings settings(path, QSettings::IniFormat);
        if (settings.status() == QSettings::AccessError)
            return false;
        const auto value = [&settings](const char *key) { return settings.value(QLatin1String(key)); };
        opened->versions = {value(Keys::CurrentVersion), value(Keys::PreviousVersion)};
        opened->code = value(Keys::SoftwareCode);
        opened->state = OpenedSettings::Open;
        return true;
    });
}

} // namespace

OpenedSettings openSettingsFile(const QString &path, const QDeadlineTimer &deadline)
{
    OpenedSettings opened;
    for (;;) {
        QByteArray text;
        const FileText state = readText(path, &text);
        // Missing, unless it was seen before (it is then still unreadable).
        if (state == FileText::Missing)
            return opened;
        opened.state = OpenedSettings::Unreadable;
        if (state == FileText::Read && readLaunchersKeys(path, &opened))
            return opened;
        if (!waitedForHolder(path, deadline))
            return opened;
    }
}

bool Versions::isEmpty() const
{
    return !isPresent(current) && !isPresent(previous);
}

QString Versions::toRun() const
{
    for (const QVariant &version : {current, previous}) {
        if (isPresent(version))
            return version.type() == QVariant::String ? version.toString() : QString();
    }
    return QLatin1String(Names::DefaultVersion);
}

bool SettingsFileState::holds(const char *key) const
{
    if (!m_exists)
        return false;
    QVariantList seen;
    // A file no copy of could be read holds what it may: nothing is written.
    return !applicationValues(m_path, m_text, QLatin1String(key), &seen)
        || std::any_of(seen.begin(), seen.end(), isPresent);
}

SettingsWrite writeSettingsFile(const QString &path, const SettingsDecision &decide, const QDeadlineTimer &deadline)
{
    const Platform::PrivateCreation privateCreation;
    // The application's QSettings holds this lock around each save of the
    // file. What is written is decided on the file as read while it is
    // held: a save that landed before stands, and none lands before the
    // replace.
    const QString lockPath = path + QStringLiteral(".lock");
    QLockFile applicationsLock(lockPath);
    if (!takeLock(applicationsLock, lockPath, deadline))
        return SettingsWrite::Failed;
    QElapsedTimer held;
    held.start();
    QByteArray current;
    QByteArray text;
    const FileText state = readText(path, &current);
    if (state == FileText::Unreadable)
        return SettingsWrite::Failed;
    const SettingsValues values = decide(SettingsFileState(path, state == FileText::Read, current));
    if (values.isEmpty())
        return SettingsWrite::Unneeded;
    // Made read-only by its user: kept as it is, even where this process
    // could write it (root can).
    const bool made = state == FileText::Missing
        ? newText(path, values, &text)
        : !isMarkedReadOnly(path) && editedSettingsText(path, current, values, &text);
    // Past Qt's stale time the application's QSettings would take the lock
    // from this live launcher, and its save could land before the replace:
    // a file that takes this long to edit (megabytes) is left as it is.
    if (!made || held.elapsed() > MaxSettingsLockHoldMs)
        return SettingsWrite::Failed;
    return replace(path, text, deadline) ? SettingsWrite::Written : SettingsWrite::Failed;
}

void removeScratchLeftovers(const QString &dataDirectory)
{
    const QDir directory(dataDirectory);
    for (const QString &name : directory.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (isScratchLeftover(name))
            QFile::remove(directory.filePath(name));
    }
}
