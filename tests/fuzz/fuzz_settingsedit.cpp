// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// libFuzzer over the one format the launcher edits by hand: any bytes as an
// existing "setting.ini", with the launcher's keys set (the first byte picks
// the code, the versions, or both). Either the edit is refused, or QSettings
// reads the result as it read the input plus the keys set, in a full parse
// and in a fresh value() per key, with every line that names none of them
// kept byte for byte. A refusal passes, so the tables pin what must not be
// refused; the count is printed at the end.
#include "../common/editproperty.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

struct Run
{
    QTemporaryDir directory;
    EditProperty property {directory.path()};
    int edits = 0;
    int refused = 0;
    ~Run() { std::fprintf(stderr, "settings edit: %d of %d inputs refused\n", refused, edits); }
};

Run &run()
{
    static Run state;
    return state;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const SettingsValues code {
        {QStringLiteral("code/software_code"), QStringLiteral("0123456789ABCDEF0123456789ABCDEF")}};
    const SettingsValues versions {{QStringLiteral("version/current_version"), QStringLiteral("2.0.0")},
                                   {QStringLiteral("version/previous_version"), QStringLiteral("1.0.0")}};
    const SettingsValues values = data[0] % 3 == 0 ? code : data[0] % 3 == 1 ? versions : versions + code;
    const QByteArray text(reinterpret_cast<const char *>(data) + 1, int(size - 1));
    QByteArray edited;
    ++run().edits;
    if (!editedSettingsText(run().directory.filePath(QStringLiteral("setting.ini")), text, values, &edited)) {
        ++run().refused;
        return 0;
    }
    const QString violation = run().property.violation(text, edited, values);
    if (!violation.isEmpty()) {
        std::fprintf(stderr, "accepted edit does not hold: %s\ninput:  %s\nedited: %s\n", qPrintable(violation),
                     text.toPercentEncoding().constData(), edited.toPercentEncoding().constData());
        std::abort();
    }
    return 0;
}
