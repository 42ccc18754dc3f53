#pragma once
// The link diagnosis between a local and a remote device.

#include <string>

#include "mac_fields.h"
#include "session.h"

namespace ndx {

// Where the results go: SNREdit, PEREdit and PEEdit on the form.
class DiagDisplay {
public:
    virtual ~DiagDisplay() = default;
    virtual void showResults(const std::string& snr, const std::string& per, const std::string& pe) = 0;
    // After the results of a successful run: how many of SNR, PER and PE (in
    // that order) snr.tmp supplied; the others show 0 without a measurement.
    virtual void supplied(int /*count*/) {}
};

struct SnrReading {
    int valuesRead = 0;  // as the "%f %f %d" scan counts them
    float snr = 0;
    float per = 0;
    int pe = 0;
};

// Reads snr.tmp's text; decimal point whatever the locale says.
SnrReading parseSnrText(const std::string& text);

// The shortest decimal form that reads back as the same float, cut to 5
// characters; a value that would lose its exponent (or all its digits) in the
// cut is shown in exponent form with one digit (1e-04, 2e-05).
std::string realDisplayText(float value);

// The diagnosis needs firmware newer than 1.2; a version that does not read as
// a number is refused too.
bool versionGatePasses(const std::string& versionText);

// DiagBtnClick after its inputs check; false after a failure box.
bool diagnoseClick(Session& session, const MacAddress& local, const MacAddress& remote,
                   const std::string& peText, DiagDisplay& display);

}  // namespace ndx
