#include "launcher.h"

#include <QCoreApplication>

// No window, no console, no event loop: the launcher prepares, starts the
// application and is gone. It always exits with 0; there is nobody to read
// anything else.
int main(int argc, char *argv[])
{
    const QCoreApplication application(argc, argv);
    Launcher().run();
    return 0;
}
