#include "output_capture.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

bool stdout_open = false;
bool stderr_open = false;

class EndOpenCaptures : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo&) override {
        if (stdout_open) std::fputs(captured_stdout().c_str(), stdout);
        if (stderr_open) std::fputs(captured_stderr().c_str(), stderr);
    }
};

void end_open_captures_after_each_test() {
    static bool listening = false;
    if (listening) return;
    testing::UnitTest::GetInstance()->listeners().Append(new EndOpenCaptures);
    listening = true;
}

}  // namespace

void capture_stdout() {
    end_open_captures_after_each_test();
    testing::internal::CaptureStdout();
    stdout_open = true;
}

void capture_stderr() {
    end_open_captures_after_each_test();
    testing::internal::CaptureStderr();
    stderr_open = true;
}

std::string captured_stdout() {
    stdout_open = false;
    return testing::internal::GetCapturedStdout();
}

std::string captured_stderr() {
    stderr_open = false;
    return testing::internal::GetCapturedStderr();
}
