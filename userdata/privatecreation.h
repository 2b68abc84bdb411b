#pragma once

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

// While one of these lives, whatever this process creates is for its user
// alone: directories 0700, files 0600. "user.ini" holds a password, and a
// data directory under a shared home must not show it to others. Only
// creation is affected: existing files and directories keep their modes.
// The previous mask comes back on destruction, so the application the
// launcher starts afterwards inherits the user's own.
// (On Windows the per-user application-data folder is already private.)
class PrivateCreation
{
public:
#ifdef Q_OS_UNIX
    PrivateCreation() : m_previous(::umask(077)) {}
    ~PrivateCreation() { ::umask(m_previous); }
#else
    PrivateCreation() {} // user-provided, so that holding one is not an "unused variable"
#endif
    PrivateCreation(const PrivateCreation &) = delete;
    PrivateCreation &operator=(const PrivateCreation &) = delete;

#ifdef Q_OS_UNIX
private:
    mode_t m_previous;
#endif
};
