// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// What the launcher tells the debugger channel, one line per event.
#include "debuggerchannel.h"

namespace {

bool isSafe(QChar c)
{
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return false;
    default:
        return true;
    }
}

QString escaped(QChar c)
{
    switch (c.unicode()) {
    case '\n':
        return QStringLiteral("\\n");
    case '\r':
        return QStringLiteral("\\r");
    case '\t':
        return QStringLiteral("\\t");
    default:
        return QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
}

} // namespace

QString printable(const QString &value)
{
    QString text;
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        // A well-formed pair of surrogates is one printable character.
        if (c.isHighSurrogate() && i + 1 < value.size() && value.at(i + 1).isLowSurrogate()) {
            text += c;
            text += value.at(++i);
            continue;
        }
        text += isSafe(c) ? QString(c) : escaped(c);
    }
    if (text.size() <= MaxToldValueLength)
        return text;
    text.truncate(MaxToldValueLength);
    if (text.at(text.size() - 1).isHighSurrogate())
        text.chop(1);
    return text + QStringLiteral("...[cut]");
}
