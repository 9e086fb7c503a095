// The Qt application object that network requests and event loops in tests need: made once, kept for the process.
#pragma once

#include <QCoreApplication>

namespace testsupport {

inline void ensureCoreApplication() {
    static int argc = 1;
    static char name[] = "meterlane_tests";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

} // namespace testsupport
