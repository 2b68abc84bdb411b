// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// Which version names are folder names as they stand.
#include "versionname.h"

#include <QStringList>

#include <algorithm>

namespace {

bool isPlainOnWindows(const QString &version)
{
    if (version.contains(QLatin1Char(':')))
        return false;
    const auto trimmedAway = [](const QString &segment) {
        return !segment.isEmpty() && std::all_of(segment.begin(), segment.end(), [](QChar c) {
            return c == QLatin1Char('.') || c == QLatin1Char(' ');
        });
    };
    const QStringList segments = QString(version).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'));
    return std::none_of(segments.begin(), segments.end(), trimmedAway);
}

} // namespace

bool isPlainVersionName(const QString &version, NameRules rules)
{
    if (version.contains(QChar(0)))
        return false;
    return rules == NameRules::Unix || isPlainOnWindows(version);
}
