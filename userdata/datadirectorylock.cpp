#include "datadirectorylock.h"

#include "settingsfile.h"
#include "settingskeys.h"

namespace {
// A launcher writes its details into the lock file right after creating it,
// so an empty lock file older than this was left by one killed in between.
// Qt's default of 30 s would keep the next launch waiting that long. A live
// owner is safe even so: it holds a native lock on the file, which stops
// anyone else from removing it.
constexpr int StaleAfterMs = 500;

// Far longer than another launcher's writes take, short enough that a stuck
// one never keeps the application from starting for long.
constexpr int WaitMs = 3000;
}

DataDirectoryLock::DataDirectoryLock(const QString &dataDirectory)
    : m_dataDirectory(dataDirectory)
    , m_lock(pathIn(dataDirectory))
{
    m_lock.setStaleLockTime(StaleAfterMs);
    if (m_lock.tryLock(WaitMs))
        removeScratchLeftovers(m_dataDirectory);
}

DataDirectoryLock::~DataDirectoryLock()
{
    // A removal that failed during a write gets a second chance.
    if (m_lock.isLocked())
        removeScratchLeftovers(m_dataDirectory);
}

QString DataDirectoryLock::pathIn(const QString &dataDirectory)
{
    return ::pathIn(dataDirectory, Names::Lock);
}
