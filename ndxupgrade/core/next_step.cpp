#include "next_step.h"

namespace ndx {

// Each line names the likely cause first and then what to check. Short
// enough to read in the log without scrolling sideways.
const std::vector<NextStep>& nextSteps()
{
    static const std::vector<NextStep> table = {
        {"kit files", "Next step: the kit is incomplete; check Tool/ and Kernel/ in the base directory (Details)."},
        {"connect", "Next step: the device did not answer; check cable, interface, MAC address and power."},
        {"parameter backup",
         "Next step: the device's parameters could not be read; check cable and power, retry."},
        {"program_flash.sh", "Next step: Kernel/program_flash.sh did not run to its end; Details shows why."},
        {"program_flash.sh input",
         "Next step: program_flash.sh refused its arguments; the kit does not match: install it again."},
        {"parameter compiler", "Next step: the parameter file has an error; Details shows tabgen's message."},
        {"parameter file", "Next step: the plain parameter file went missing; is the kit in use elsewhere? Retry."},
        {"image generation", "Next step: the flash image could not be built; check disk space, see Details."},
        {"flash programming",
         "Next step: programming failed and the old image may be gone; keep the device powered, retry."},
        {"reset", "Next step: the device did not come back after the reset; check power, then Get Version."},
        {"version query", "Next step: the version could not be read; check cable and power, then Get Version."},
        {"connect (local device)",
         "Next step: the local device did not answer; check cable, interface, MAC address and power."},
        {"firmware version", "Next step: the local device's firmware is older than 1.3.2; upgrade it first."},
        {"link test (remote device)",
         "Next step: no link test result; check the remote device's power, phone line and MAC address."},
        {"find devices", "Next step: no device answered; check cable, interface and power, then Find again."},
    };
    return table;
}

std::string nextStepLine(const std::string& stage)
{
    for (const NextStep& step : nextSteps())
        if (stage == step.stage) return step.line;
    return {};
}

}  // namespace ndx
