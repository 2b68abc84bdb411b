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
    int equals = -1;   // Entry: where its '=' is
    bool open = false; // runs to the end of the text in a quote or a continuation
    QString section;   // the section it is in ("" for the top level); Section: its own name
    QString name;      // Entry: its whole key
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
    bool escapedToEnd = false;
    int equals = -1;
    int i = start;
    bool ended = false;
    while (i < size && !ended) {
        const char c = text.at(i++);
        if (c == '=' && !inQuotes && equals < 0) {
            equals = i - 1;
        } else if (isLineEnd(c)) {
            if (i == start + 1) {
                ++start;
            } else if (!inQuotes) {
                --i;
                ended = true;
            }
        } else if (c == '\\') {
            // A backslash takes the next character, a line end too.
            bool tookLineEnd = i == size;
            if (i < size) {
                const char next = text.at(i++);
                tookLineEnd = isLineEnd(next);
                if (i < size && isLineEnd(next) && isLineEnd(text.at(i)) && next != text.at(i))
                    ++i;
            }
            escapedToEnd = tookLineEnd && i == size;
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
                ended = true;
            }
        }
    }
    at = i;
    line->start = start;
    line->end = i;
    line->equals = equals;
    // Whatever follows such a line becomes part of it.
    line->open = !ended && (inQuotes || escapedToEnd);
    return i > start;
}

// A section header's name, up to its ']' (or its line's end, where Qt
// reports a format error), looked for within the line alone.
QString sectionName(const QByteArray &text, const Line &line)
{
    int end = line.start + 1;
    while (end < line.end && text.at(end) != ']')
        ++end;
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
        line.section = section;
        lines.append(line);
    }
    return lines;
}

// Names as Qt 5's INI code tells them apart: by toLower() where it ignores
// case (Windows), which is not case folding ("\u017F" stays itself).
bool sameName(const QString &a, const QString &b, Qt::CaseSensitivity sensitivity)
{
    return sensitivity == Qt::CaseSensitive ? a == b : a.toLower() == b.toLower();
}

// The last line of `kind` named `name` (in `section`, for an entry), or -1.
int lastNamed(const QVector<Line> &lines, Line::Kind kind, const QString &name, Qt::CaseSensitivity sensitivity,
              const QString *section = nullptr)
{
    for (int i = lines.size() - 1; i >= 0; --i) {
        const Line &line = lines.at(i);
        if (line.kind == kind && sameName(line.name, name, sensitivity)
            && (!section || sameName(line.section, *section, sensitivity)))
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

// The line end at `position`, if one is there.
QByteArray lineEndAt(const QByteArray &text, int position)
{
    if (position >= text.size() || !isLineEnd(text.at(position)))
        return QByteArray();
    return text.mid(position, 2) == "\r\n" ? "\r\n" : text.mid(position, 1);
}

// The line end a new line placed at `position` takes: that of the line it
// follows, else the nearest before it, else at the start of the text that
// of the line it comes before, else the one QSettings writes.
QByteArray lineEndFor(const QByteArray &text, int position)
{
    for (int at = qMin(position, text.size() - 1); at >= 0; --at) {
        if (isLineEnd(text.at(at)))
            return text.at(at) == '\n' && at > 0 && text.at(at - 1) == '\r' ? "\r\n" : text.mid(at, 1);
    }
    const QByteArray after = lineEndAt(text, physicalEnd(text, position));
    return after.isEmpty() ? QByteArray("\n") : after;
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

using Splices = QMap<int, QPair<int, QByteArray>>; // at: length replaced, bytes put there

// Puts `bytes` in its own line after the physical line ending at or after
// `position`.
void insertLineAfter(const QByteArray &text, int position, const QByteArray &bytes, Splices *splices)
{
    const int at = physicalEnd(text, position);
    QByteArray lineEnd = lineEndAt(text, at);
    if (lineEnd.isEmpty())
        lineEnd = lineEndFor(text, at);
    (*splices)[at].second += lineEnd + bytes;
}

// The value of the entry `line` replaced by `value`, as QSettings writes it.
void replaceValue(const QByteArray &text, const Line &line, const QByteArray &value, Splices *splices)
{
    int from = line.equals + 1;
    while (from < line.end && (text.at(from) == ' ' || text.at(from) == '\t'))
        ++from;
    // (An insertion after an empty last value lands at the same place.)
    (*splices)[from].first = line.end - from;
    (*splices)[from].second.prepend(value);
}

// New sections, each a header and its entries: at the end of the text, or,
// where its last line would swallow them, before its first section, the top
// level going on after them under "[General]".
QByteArray withSections(const QByteArray &text, const QVector<Line> &lines,
                        const QVector<QPair<QString, QByteArrayList>> &sections)
{
    if (sections.isEmpty())
        return text;
    const bool lastIsOpen = !lines.isEmpty() && lines.last().open;
    int first = -1;
    for (int i = 0; i < lines.size() && first < 0; ++i) {
        if (lines.at(i).kind == Line::Section)
            first = i;
    }
    const int mark = text.startsWith(Utf8Mark) ? 3 : 0;
    int at = !lastIsOpen ? text.size() : first >= 0 ? lines.at(first).start : mark;
    // Before the header's whole physical line, indentation and all.
    while (lastIsOpen && at > mark && (text.at(at - 1) == ' ' || text.at(at - 1) == '\t'))
        --at;
    const QByteArray lineEnd = lineEndFor(text, at);
    QByteArray added;
    for (const auto &section : sections)
        added += section.second.join(lineEnd) + lineEnd;
    if (lastIsOpen)
        return text.left(at) + added + (first >= 0 ? QByteArray() : "[General]" + lineEnd) + text.mid(at);
    // A blank line before a new section, as QSettings parts them; a final
    // line end only where the text had one.
    QByteArray edited = text;
    const bool endsLine = !text.isEmpty() && isLineEnd(text.at(text.size() - 1));
    if (!text.trimmed().isEmpty() && text.size() > mark)
        edited += (endsLine ? QByteArray() : lineEnd) + lineEnd;
    edited += added;
    if (!endsLine && !text.trimmed().isEmpty())
        edited.chop(lineEnd.size());
    return edited;
}

} // namespace

namespace Ini {

QByteArray withValuesSet(const QByteArray &text, const QByteArray &rendered, Qt::CaseSensitivity sensitivity)
{
    const QVector<Line> lines = linesOf(text);
    const QVector<Line> values = linesOf(rendered);
    const auto bytesOf
        = [](const QByteArray &source, const Line &line) { return source.mid(line.start, line.end - line.start); };
    Splices splices;
    QVector<QPair<QString, QByteArrayList>> newSections; // in the order QSettings wrote them
    for (const Line &value : values) {
        if (value.kind != Line::Entry)
            continue;
        const QByteArray entry = bytesOf(rendered, value);
        const QByteArray newValue = entry.mid(value.equals - value.start + 1);
        const QString section = sectionOf(value.name);
        // A reading may return the key from the top level or from its own
        // section, whichever it parsed last: each place's last line is set.
        const QString topLevel;
        const int inTopLevel = lastNamed(lines, Line::Entry, value.name, sensitivity, &topLevel);
        const int inSection = section.isEmpty() ? -1 : lastNamed(lines, Line::Entry, value.name, sensitivity, &section);
        for (const int existing : {inTopLevel, inSection}) {
            if (existing >= 0)
                replaceValue(text, lines.at(existing), newValue, &splices);
        }
        if (inTopLevel >= 0 || inSection >= 0)
            continue;
        const int header = lastNamed(lines, Line::Section, section, sensitivity);
        if (header >= 0) {
            // After the block's last entry, unless it would swallow the key.
            const int last = lastOfBlock(lines, header);
            insertLineAfter(text, lines.at(lines.at(last).open ? header : last).end, entry, &splices);
            continue;
        }
        auto added = std::find_if(newSections.begin(), newSections.end(),
                                  [&](const QPair<QString, QByteArrayList> &s) { return s.first == section; });
        if (added == newSections.end()) {
            const QByteArray head
                = bytesOf(rendered, values.at(lastNamed(values, Line::Section, section, sensitivity)));
            added = newSections.insert(newSections.end(), {section, {head}});
        }
        added->second.append(entry);
    }
    QByteArray edited = text;
    // From the end, so that every position still holds.
    for (auto splice = splices.constEnd(); splice != splices.constBegin();) {
        --splice;
        edited.replace(splice.key(), splice.value().first, splice.value().second);
    }
    return withSections(edited, linesOf(edited), newSections);
}

int unclosedHeaders(const QByteArray &text)
{
    int count = 0;
    for (int at = 0; at < text.size();) {
        while (at < text.size() && isSpace(text.at(at)))
            ++at;
        const int end = physicalEnd(text, at);
        const char *line = text.constData() + at;
        if (at < end && *line == '[' && std::find(line, line + (end - at), ']') == line + (end - at))
            ++count;
        at = end;
    }
    return count;
}

bool keepsOtherLines(const QByteArray &original, const QByteArray &edited, const QStringList &keys,
                     Qt::CaseSensitivity sensitivity)
{
    // The bytes of every line but the keys' own, but a section header that
    // holds nothing else, and but a "[General]" right after such a header
    // (what puts the top level back after a section put before it).
    const auto others = [&](const QByteArray &text) {
        const QVector<Line> lines = linesOf(text);
        QByteArrayList kept;
        bool afterKeysOnly = false;
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
                const bool keysOnly = next == lines.size() || lines.at(next).kind == Line::Section;
                const bool general = afterKeysOnly && line.name.isEmpty();
                afterKeysOnly = keysOnly;
                if (keysOnly || general)
                    continue;
            }
            afterKeysOnly = afterKeysOnly && line.kind == Line::Comment;
            kept.append(text.mid(line.start, line.end - line.start));
        }
        return kept;
    };
    return others(original) == others(edited);
}

} // namespace Ini
