#include "interruption.h"

#include <string.h>

namespace ndx {

std::string signalName(int signalNumber)
{
    const char* abbreviation = ::sigabbrev_np(signalNumber);
    return abbreviation ? std::string("SIG") + abbreviation : "signal " + std::to_string(signalNumber);
}

std::string interruptedLine(int signalNumber, Procedure procedure, const std::string& devices,
                            const std::string& stage)
{
    if (procedure == Procedure::DeviceSearch)
        return "Err: " + signalName(signalNumber) + " stopped the search for the devices on " + devices + ".";
    const char* what = procedure == Procedure::Upgrade        ? "upgrade"
                       : procedure == Procedure::VersionQuery ? "version query"
                                                              : "diagnosis";
    std::string line = "Err: " + signalName(signalNumber) + " stopped the " + what + " of " + devices;
    if (!stage.empty()) line += " in stage " + stage;
    if (procedure == Procedure::Upgrade) return line + "; the flash may be half-programmed: upgrade the device again.";
    return line + ".";
}

}  // namespace ndx
