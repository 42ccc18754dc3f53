#pragma once
// What the technician should check after a failed step: one line per step
// that can fail, logged after the step's own failure lines. The kit's README
// repeats the same table for the technician's guide.

#include <string>
#include <vector>

namespace ndx {

struct NextStep {
    const char* stage;  // the step as the session names it ("connect", "flash programming" …)
    const char* line;   // the whole log line
};

const std::vector<NextStep>& nextSteps();

// The line for a failed stage; "" for a stage the table does not know.
std::string nextStepLine(const std::string& stage);

}  // namespace ndx
