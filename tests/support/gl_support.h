// Helpers for OpenGL tests: a private folder for the logs of the whole test binary, and a fixture
// that makes a 640 x 480 windowed display the process's display service.
#pragma once

#include <gtest/gtest.h>

#include <string>

class DuraVUZododivi;

namespace rt_test {

// ErrorLog.txt in the binary's private log folder (TMPDIR points there while tests run).
std::string private_log_path();

class DisplayServiceTest : public ::testing::Test {
protected:
    // Fixtures with a SetUp of their own call this first and stop on HasFatalFailure().
    void SetUp() override;
    void TearDown() override;
    DuraVUZododivi* display = nullptr;
};

}  // namespace rt_test
