// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

#include <QDeadlineTimer>
#include <QString>
#include <QVariant>

// A new software code: the 32 hexadecimal digits of a random UUID, upper case.
QString makeSoftwareCode();

// Gives the data directory's "setting.ini" at `path`, whose
// "code/software_code" was read as `stored`, a software code when that is
// empty or missing. A code once stored is never checked, changed or replaced.
// The code is made once per data directory: launchers started together agree
// on one, as the check and the write happen under the data directory's lock;
// one that cannot get the lock by `deadline` leaves the code to the next
// launch rather than risk a second code.
void ensureSoftwareCode(const QString &path, const QVariant &stored, const QDeadlineTimer &deadline);
