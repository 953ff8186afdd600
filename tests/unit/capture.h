// What a step of the program printed, caught in the test process.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "console/output.h"

struct Streams {
    std::string out;
    std::string err;
};

// Runs `step` and returns what it wrote to standard output and error.
inline Streams Capture(const std::function<void()>& step) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    step();
    FlushStandardOutput();
    return {testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
}
