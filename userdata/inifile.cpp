// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// Editing INI text line by line, as QSettings reads it.
#include "inifile.h"

#include <QMap>
#include <QVector>

#include <algorithm>

namespace {

constexpr char Utf8Mark[] = "\xEF\xBB\xBF";

// One line as QSettings reads it: [start, end) of the text, which may span
// several physical lines (a continuation, a quote).
struct Line
{
    enum Kind { Section, Entry, Comment, Other };
    Kind kind = Other;
    int start = 0;
    int end = 0;
    int equals = -1; // Entry: where its '=' is
    QString name;    // Section: its name ("" for the top level); Entry: its whole key
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

// QSettings' unescaping of section names and keys: "%XX" and "%UXXXX" are
// characters, a backslash is a '/'.
QString unescaped(const QByteArray &text)
{
    QString result;
    for (int i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '\\') {
            result += QLatin1Char('/');
            continue;
        }
        const int digits = text.mid(i + 1, 1) == "U" ? 4 : 2;
        const int first = i + 1 + (digits == 4);
        bool ok = false;
        const int code = c == '%' && first + digits <= text.size() ? text.mid(first, digits).toInt(&ok, 16) : 0;
        if (!ok) {
            result += QLatin1Char(c);
            continue;
        }
        result += QChar(code);
        i = first + digits - 1;
    }
    return result;
}

// The next line from `at` on, as QSettings' own reader finds it; comment
// lines it skips on the way go to `lines`. False at the end of the text.
bool readLine(const QByteArray &text, int &at, Line *line, QVector<Line> *lines)
{
    const int size = text.size();
    int start = at;
    while (start < size && isSpace(text.at(start)))
        ++start;
    bool inQuotes = false;
    int equals = -1;
    int i = start;
    while (i < size) {
        const char c = text.at(i++);
        if (c == '=' && !inQuotes && equals < 0) {
            equals = i - 1;
        } else if (isLineEnd(c)) {
            if (i == start + 1) {
                ++start;
            } else if (!inQuotes) {
                --i;
                break;
            }
        } else if (c == '\\') {
            if (i < size) {
                const char next = text.at(i++);
                if (i < size && isLineEnd(next) && isLineEnd(text.at(i)) && next != text.at(i))
                    ++i;
            }
        } else if (c == '"') {
            inQuotes = !inQuotes;
        } else if (c == ';') {
            if (i == start + 1) {
                Line comment;
                comment.kind = Line::Comment;
                comment.start = i - 1;
                while (i < size && !isLineEnd(text.at(i)))
                    ++i;
                comment.end = i;
                lines->append(comment);
                while (i < size && isSpace(text.at(i)))
                    ++i;
                start = i;
            } else if (!inQuotes) {
                --i;
                break;
            }
        }
    }
    at = i;
    line->start = start;
    line->end = i;
    line->equals = equals;
    return i > start;
}

QString sectionName(const QByteArray &text, const Line &line)
{
    const int close = text.indexOf(']', line.start);
    const int end = close < 0 || close >= line.end ? line.end : close;
    const QByteArray name = text.mid(line.start + 1, end - line.start - 1).trimmed();
    if (name.compare("general", Qt::CaseInsensitive) == 0)
        return QString();
    if (name.compare("%general", Qt::CaseInsensitive) == 0)
        return QString::fromLatin1(name.mid(1));
    return unescaped(name);
}

// Every line of `text`, comments included, in order.
QVector<Line> linesOf(const QByteArray &text)
{
    QVector<Line> lines;
    QString section;
    const int mark = text.startsWith(Utf8Mark) ? 3 : 0;
    int at = mark;
    Line line;
    while (readLine(text, at, &line, &lines)) {
        if (text.at(line.start) == '[') {
            line.kind = Line::Section;
            line.name = section = sectionName(text, line);
        } else if (line.equals >= 0) {
            int keyEnd = line.equals;
            while (keyEnd > line.start && (text.at(keyEnd - 1) == ' ' || text.at(keyEnd - 1) == '\t'))
                --keyEnd;
            line.kind = Line::Entry;
            // Qt reads the top level from the file's first byte, and keeps
            // the mark in a key that follows it on the same line.
            const int keyStart = mark > 0 && line.start == mark ? 0 : line.start;
            const QString key = unescaped(text.mid(keyStart, keyEnd - keyStart));
            line.name = section.isEmpty() ? key : section + QLatin1Char('/') + key;
        } else {
            line.kind = text.at(line.start) == ';' ? Line::Comment : Line::Other;
        }
        lines.append(line);
    }
    return lines;
}

bool sameName(const QString &a, const QString &b, Qt::CaseSensitivity sensitivity)
{
    return a.compare(b, sensitivity) == 0;
}

// The last line of `kind` named `name`, or -1.
int lastNamed(const QVector<Line> &lines, Line::Kind kind, const QString &name, Qt::CaseSensitivity sensitivity)
{
    for (int i = lines.size() - 1; i >= 0; --i) {
        if (lines.at(i).kind == kind && sameName(lines.at(i).name, name, sensitivity))
            return i;
    }
    return -1;
}

// Where the physical line holding `position` ends.
int physicalEnd(const QByteArray &text, int position)
{
    while (position < text.size() && !isLineEnd(text.at(position)))
        ++position;
    return position;
}

// The file's own line end, else the one QSettings writes.
QByteArray lineEndOf(const QByteArray &text, const QByteArray &rendered)
{
    for (const QByteArray &source : {text, rendered}) {
        const int at = source.indexOf('\n');
        const int cr = source.indexOf('\r');
        if (cr >= 0 && (at < 0 || cr < at))
            return cr + 1 < source.size() && source.at(cr + 1) == '\n' ? "\r\n" : "\r";
        if (at >= 0)
            return "\n";
    }
    return "\n";
}

QString sectionOf(const QString &key)
{
    const int slash = key.indexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : key.left(slash);
}

// The last line of the block that section `header` starts, leaving out
// comments that may already speak of the next section.
int lastOfBlock(const QVector<Line> &lines, int header)
{
    int last = header;
    for (int i = header + 1; i < lines.size() && lines.at(i).kind != Line::Section; ++i) {
        if (lines.at(i).kind != Line::Comment)
            last = i;
    }
    return last;
}

} // namespace

namespace Ini {

QByteArray withValuesSet(const QByteArray &text, const QByteArray &rendered, Qt::CaseSensitivity sensitivity)
{
    const QVector<Line> lines = linesOf(text);
    const QVector<Line> values = linesOf(rendered);
    const QByteArray lineEnd = lineEndOf(text, rendered);
    const auto bytesOf
        = [](const QByteArray &source, const Line &line) { return source.mid(line.start, line.end - line.start); };
    QMap<int, QPair<int, QByteArray>> splices;       // at: length replaced, bytes put there
    QVector<QPair<QString, QByteArray>> newSections; // in the order QSettings wrote them
    for (const Line &value : values) {
        if (value.kind != Line::Entry)
            continue;
        const QByteArray entry = bytesOf(rendered, value);
        const int existing = lastNamed(lines, Line::Entry, value.name, sensitivity);
        const QString section = sectionOf(value.name);
        const int header = lastNamed(lines, Line::Section, section, sensitivity);
        if (existing >= 0) {
            // The key as it stands, its value as QSettings writes it.
            const Line &line = lines.at(existing);
            int from = line.equals + 1;
            while (from < line.end && (text.at(from) == ' ' || text.at(from) == '\t'))
                ++from;
            // (An insertion after an empty last value lands at the same place.)
            splices[from].first = line.end - from;
            splices[from].second.prepend(entry.mid(value.equals - value.start + 1));
        } else if (header >= 0) {
            const int at = physicalEnd(text, lines.at(lastOfBlock(lines, header)).end);
            splices[at].second += lineEnd + entry;
        } else {
            auto added = std::find_if(newSections.begin(), newSections.end(),
                                      [&](const QPair<QString, QByteArray> &s) { return s.first == section; });
            if (added == newSections.end()) {
                const QByteArray head
                    = bytesOf(rendered, values.at(lastNamed(values, Line::Section, section, sensitivity)));
                added = newSections.insert(newSections.end(), {section, lineEnd + head});
            }
            added->second += lineEnd + entry;
        }
    }
    QByteArray edited = text;
    // From the end, so that every position still holds.
    for (auto splice = splices.constEnd(); splice != splices.constBegin();) {
        --splice;
        edited.replace(splice.key(), splice.value().first, splice.value().second);
    }
    for (const auto &section : newSections) {
        // A blank line before a new section, as QSettings parts them.
        if (!edited.isEmpty() && !isLineEnd(edited.at(edited.size() - 1)))
            edited += lineEnd;
        edited += (edited.trimmed().isEmpty() ? section.second.mid(lineEnd.size()) : section.second) + lineEnd;
    }
    return edited;
}

bool keepsOtherLines(const QByteArray &original, const QByteArray &edited, const QStringList &keys,
                     Qt::CaseSensitivity sensitivity)
{
    // The bytes of every line but the keys' own, and but a section header
    // that holds nothing else.
    const auto others = [&](const QByteArray &text) {
        const QVector<Line> lines = linesOf(text);
        QByteArrayList kept;
        for (int i = 0; i < lines.size(); ++i) {
            const Line &line = lines.at(i);
            const auto isKey = [&](const Line &l) {
                return l.kind == Line::Entry && std::any_of(keys.begin(), keys.end(), [&](const QString &k) {
                           return sameName(l.name, k, sensitivity);
                       });
            };
            if (isKey(line))
                continue;
            if (line.kind == Line::Section) {
                int next = i + 1;
                while (next < lines.size() && isKey(lines.at(next)))
                    ++next;
                if (next == lines.size() || lines.at(next).kind == Line::Section)
                    continue;
            }
            kept.append(text.mid(line.start, line.end - line.start));
        }
        return kept;
    };
    return others(original) == others(edited);
}

} // namespace Ini
