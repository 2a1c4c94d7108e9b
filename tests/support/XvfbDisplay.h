#pragma once

#include <QByteArray>
#include <gtest/gtest.h>

// The first line of a test (or its fixture's SetUp) that needs the private X
// server of tests/support/run-with-xvfb.sh: skips, with the reason, when the
// script found its tools missing, and fails when the test was started some
// other way. A macro, so that the skip ends the test itself.
#define TIDEWIRE_REQUIRE_XVFB()                                                                            \
    do {                                                                                                   \
        const QByteArray tidewireDisplayMode = qgetenv("TIDEWIRE_DISPLAY_TEST");                           \
        if (tidewireDisplayMode.startsWith("missing:"))                                                    \
            GTEST_SKIP() << "no private X server: missing" << tidewireDisplayMode.mid(8).toStdString();    \
        ASSERT_EQ(tidewireDisplayMode, QByteArray("xvfb")) << "run through tests/support/run-with-xvfb.sh"; \
    } while (false)
