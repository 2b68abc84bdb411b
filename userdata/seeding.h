// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

#include <QDeadlineTimer>
#include <QString>

// Gives a new user their default preferences: writes "user.ini" in the data
// directory when it is missing. An existing "user.ini" is never touched, not
// even to add keys it lacks. The caller holds the data directory's lock.
void seedUserSettings(const QString &dataDirectory, const QDeadlineTimer &deadline);
