// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// What the launcher was given by whoever started it and must pass on to the
// application unchanged, whatever Qt or the launcher did in between. Taken
// first thing in the entry, before anything can change it.
class Inheritance
{
public:
    static Inheritance ofThisProcess();

    // The environment, entry for entry and in its order, duplicates, case
    // variants and odd entries included: each entry ends in a NUL, of
    // wide characters on Windows (GetEnvironmentStringsW's block), of bytes
    // on Unix (environ's entries).
    QByteArray environmentBlock;
    // Unix: the signal mask and the signals given as ignored.
    QVector<int> blockedSignals;
    QVector<int> ignoredSignals;
};

// Starts `program` by its full path, with no arguments, in
// `workingDirectory`, as a process of its own that the launcher does not
// wait for, and the way the launcher itself was started (`given`): on
// Windows with the user's show state, shortcut and hotkey, the foreground
// right and none of the launcher's handles; on Unix in a session of its
// own, with `given`'s signals, by one spawn. On both, with `given`'s
// environment. False, with the system's reason in `why`, when it could not
// be started.
bool startApplication(const QString &program, const QString &workingDirectory, const Inheritance &given, QString *why);

// Lets a write past the file-size limit (ulimit -f) fail like any other
// instead of ending the launcher (SIGXFSZ, Unix). The application still gets
// the signal as the launcher was given it.
void survivesFileSizeLimit();
