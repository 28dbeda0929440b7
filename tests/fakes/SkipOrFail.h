#pragma once

#include <QTest>

// A missing root, namespace or service skips the test on a developer's
// machine; in CI everything is installed, so the same gap is a failure.
#define SKIP_OR_FAIL(reason)                                                                       \
    do {                                                                                           \
        if (qgetenv("CI") == "true")                                                               \
            QFAIL(qPrintable(QString("not available in CI: ") + (reason)));                        \
        QSKIP(qPrintable(QString(reason)));                                                        \
    } while (false)
