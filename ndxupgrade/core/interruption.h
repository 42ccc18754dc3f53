#pragma once
// How a procedure that a stop signal (SIGINT, SIGTERM, SIGHUP) ended is told:
// the child it ran has been stopped and waited for, the plain parameter file
// and the temporary files are gone, and then one line says what was stopped
// and where; the program exits with 128 + the signal, as a shell reports a
// command that the signal ended.

#include <string>

namespace ndx {

enum class Procedure { Upgrade, VersionQuery, Diagnosis, DeviceSearch };

// "SIGTERM"; "signal N" for one without a name.
std::string signalName(int signalNumber);

// "Err: SIGTERM stopped the upgrade of 0A-3F-71-00-00-01 in stage
// program_flash.sh; the flash may be half-programmed: upgrade the device
// again." For a version query or a diagnosis the line ends after the stage.
// `devices`: the MAC text, or for a diagnosis both; for a search for the
// devices, the interface ("Err: SIGTERM stopped the search for the devices
// on eth1.").
std::string interruptedLine(int signalNumber, Procedure procedure, const std::string& devices,
                            const std::string& stage);

inline int signalExitStatus(int signalNumber)
{
    return 128 + signalNumber;
}

}  // namespace ndx
