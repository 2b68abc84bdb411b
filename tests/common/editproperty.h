// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

#include "userdata/settingsfile.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <algorithm>

// What an accepted edit of a settings file must hold, checked with QSettings
// alone, apart from the launcher's own check (the fuzz target and the
// differential test): QSettings reads the result as it read the input plus
// the values set, in a full parse and in a fresh value() per key, and every
// line that names none of the keys is kept byte for byte. Each reading is
// of a file QSettings has never seen, in `directory`.
class EditProperty
{
public:
    explicit EditProperty(const QString &directory)
        : m_directory(directory)
    {
    }

    // Empty when `edited` holds; else what is wrong.
    QString violation(const QByteArray &text, const QByteArray &edited, const SettingsValues &values)
    {
        QVariantMap expected = fullParse(text);
        QList<QByteArray> names {"code", "version"};
        for (const auto &value : values) {
            expected.insert(value.first, value.second);
            names.append(value.first.section(QLatin1Char('/'), 1).toLatin1());
            bool seen = false;
            read(edited, [&](QSettings &settings) { seen = holds(settings.value(value.first), value.second); });
            if (!seen)
                return QStringLiteral("a fresh value() misses %1").arg(value.first);
        }
        const QVariantMap after = fullParse(edited);
        if (after.keys() != expected.keys())
            return QStringLiteral("a key came or went");
        for (auto entry = after.begin(); entry != after.end(); ++entry) {
            const bool set = std::any_of(values.begin(), values.end(), [&](const QPair<QString, QVariant> &v) {
                return v.first == entry.key() && holds(entry.value(), v.second);
            });
            if (!set && entry.value() != expected.value(entry.key()))
                return QStringLiteral("%1 changed").arg(entry.key());
        }
        const QByteArray mark = "\xEF\xBB\xBF";
        if (text.startsWith(mark) != edited.startsWith(mark) || untouched(text, names) != untouched(edited, names))
            return QStringLiteral("a line the edit does not own changed");
        return QString();
    }

private:
    template<typename Read> void read(const QByteArray &text, Read reading)
    {
        const QString path = QDir(m_directory).filePath(QStringLiteral("read%1.ini").arg(m_files++));
        {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
                return;
        }
        {
            QSettings settings(path, QSettings::IniFormat);
            reading(settings);
        }
        QFile::remove(path);
    }

    QVariantMap fullParse(const QByteArray &text)
    {
        QVariantMap contents;
        read(text, [&](QSettings &settings) {
            for (const QString &key : settings.allKeys())
                contents.insert(key, settings.value(key));
        });
        return contents;
    }

    static bool holds(const QVariant &read, const QVariant &set)
    {
        return read.type() == QVariant::String && read.toString() == set.toString();
    }

    // Physical lines joined where a trailing backslash or an open quote
    // carries one on to the next, roughly as QSettings does: a ';' outside
    // quotes starts a comment, which nothing carries on.
    static QByteArrayList logicalLines(const QByteArray &text)
    {
        QByteArrayList lines;
        QByteArray pending;
        bool carried = false;
        for (const QByteArray &physical : QByteArray(text).replace('\r', '\n').split('\n')) {
            pending = carried ? pending + '\n' + physical : physical;
            bool inQuotes = false;
            bool escaping = false; // a backslash takes the next character, a line end too
            for (int at = 0; at < pending.size() && (inQuotes || escaping || pending.at(at) != ';'); ++at) {
                const char c = pending.at(at);
                inQuotes = !escaping && c == '"' ? !inQuotes : inQuotes;
                escaping = !escaping && c == '\\';
            }
            carried = inQuotes || escaping;
            if (!carried)
                lines.append(pending);
        }
        if (carried)
            lines.append(pending);
        return lines;
    }

    // The lines that name none of `names`, are no header of theirs, nor blank.
    static QByteArrayList untouched(const QByteArray &text, const QList<QByteArray> &names)
    {
        QByteArrayList kept;
        const QByteArray unmarked = text.startsWith("\xEF\xBB\xBF") ? text.mid(3) : text;
        for (const QByteArray &line : logicalLines(unmarked)) {
            const QByteArray trimmed = line.trimmed();
            const bool touched = trimmed.isEmpty() || trimmed == "[General]"
                || std::any_of(names.begin(), names.end(), [&](const QByteArray &name) { return line.contains(name); });
            if (!touched)
                kept.append(line);
        }
        return kept;
    }

    QString m_directory;
    int m_files = 0;
};
