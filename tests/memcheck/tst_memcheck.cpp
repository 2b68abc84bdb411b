// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#include "../common/installation.h"

#include <QStandardPaths>
#include <QTest>

// One full launch (seeding, migration, a new code, the start) under
// valgrind's memcheck: no invalid access, no use of uninitialised memory, no
// leak the launcher could have freed.
class MemcheckTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void launchHasNoMemoryErrors()
    {
#ifdef QUILLORA_SANITIZED
        QSKIP("valgrind cannot run a sanitizer build; the sanitizers watch that one");
#endif
        QUILLORA_NEEDS("valgrind");
        Installation installation;
        installation.addVersion("2.0.0");
        QVERIFY(installation.writeLegacySettings("[version]\ncurrent_version=2.0.0\nprevious_version=1.0.0\n"));

        const Installation::Run run = installation.launch({"an", "argument"},
                                                          {"valgrind", "-q", "--error-exitcode=99", "--leak-check=full",
                                                           "--errors-for-leak-kinds=definite", "--track-origins=yes"});

        QVERIFY2(run.cleanExit(), run.err.constData());
        QCOMPARE(run.err, QByteArray());
        QVERIFY(installation.waitForStarts(1));
        QVERIFY(isWellFormedCode(storedCode(installation.dataFile("setting.ini"))));
    }
};

QTEST_GUILESS_MAIN(MemcheckTest)
#include "tst_memcheck.moc"
