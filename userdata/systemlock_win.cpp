// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// The Windows half of systemlock.h: a handle that shares nothing, which
// the system closes with its process.
#include "systemlock.h"

#include "lockfile.h"

#include <QDir>

#include <windows.h>

extern "C" NTSYSAPI LONG NTAPI RtlGetLastNtStatus(void);

SystemLock::SystemLock(const QString &path, const QDeadlineTimer &deadline)
{
    const QString nativePath = QDir::toNativeSeparators(path);
    for (;;) {
        // Read access is all a handle needs to shut everybody else out, and
        // a read-only file allows it.
        const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t *>(nativePath.utf16()), GENERIC_READ, 0, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            m_handle = reinterpret_cast<qintptr>(file);
            return;
        }
        // Held by another launcher, or being deleted by an older one.
        const DWORD error = GetLastError();
        if (windowsOpenFailure(error, quint32(RtlGetLastNtStatus())) != LockLeftover::Held
            || !waitedBeforeRetry(deadline))
            return;
    }
}

SystemLock::~SystemLock()
{
    if (isLocked())
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}
