#pragma once
// A test that needs something this machine lacks (a tool, a sound server, the right to mount a
// file system) is skipped on a developer's machine, saying what was missing. In CI (CI=true)
// everything is installed and the tests run as root, so there the same gap fails the test: a
// skip would read as a pass that checked nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

inline bool RunningInCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::strcmp(ci, "true") == 0;
}

// Use where GTEST_SKIP would stand (a test body or SetUp); returns from the function either way.
#define SKIP_OUTSIDE_CI(reason)                                            \
    do {                                                                   \
        if (RunningInCi()) GTEST_FAIL() << "cannot run in CI: " << reason; \
        GTEST_SKIP() << reason;                                            \
    } while (false)
