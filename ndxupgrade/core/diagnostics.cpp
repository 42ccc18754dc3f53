#include "diagnostics.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <locale>
#include <sstream>
#include <system_error>

#include "pe_display.h"
#include "run_and_wait.h"
#include "upgrade.h"

namespace ndx {
namespace {

// Every failure of the diagnosis ends it with its box; the stage names the
// failed step for the window's outcome.
bool fail(Session& session, const char* stage, const std::string& text)
{
    if (stage) enterStage(session, stage);
    conclude(session, false);
    session.boxes.show("Error", text, BoxIcon::Error);
    return false;
}

}  // namespace

SnrReading parseSnrText(const std::string& text)
{
    SnrReading r;
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    if (!(in >> r.snr)) {
        r.snr = 0;
        return r;
    }
    r.valuesRead = 1;
    if (!(in >> r.per)) {
        r.per = 0;
        return r;
    }
    r.valuesRead = 2;
    if (!(in >> r.pe)) {
        r.pe = 0;
        return r;
    }
    r.valuesRead = 3;
    return r;
}

// The value as read from snr.tmp is a float: its shortest round-trip form
// (fixed or exponent, whichever is shorter) shows what the file said, where
// the double's digits of 1e-4 would read 9.99999974737875e-05 and be cut to
// 9.999. A form that cannot be cut to five characters without losing its
// exponent, or without losing every significant digit of a value that is not
// zero (0.00015 would show 0.000), is shown as one digit and the exponent.
std::string realDisplayText(float value)
{
    constexpr std::size_t shownLength = 5;
    char text[64];
    auto res = std::to_chars(text, text + sizeof text, value);
    std::string shown(text, res.ptr);
    if (shown.size() > shownLength) {
        const bool hasExponent = shown.find('e') != std::string::npos;
        const bool keepsADigit = shown.find_first_of("123456789") < shownLength;
        if (hasExponent || (value != 0 && !keepsADigit)) {
            res = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 0);
            shown.assign(text, res.ptr);
        }
    }
    if (shown.size() > shownLength) shown.resize(shownLength);
    return shown;
}

bool versionGatePasses(const std::string& versionText)
{
    const std::string head = versionText.substr(0, 3);
    double number = 0;
    auto res = std::from_chars(head.data(), head.data() + head.size(), number, std::chars_format::fixed);
    if (res.ec != std::errc() || res.ptr != head.data() + head.size() || !std::isfinite(number)) return false;
    return number > 1.2;
}

bool diagnoseClick(Session& session, const MacAddress& local, const MacAddress& remote,
                   const std::string& peText, DiagDisplay& display)
{
    const std::string localText = macText(local);
    if (!connectStep(session, localText, nullptr))
        return fail(session, "connect (local device)", "Err: Can't connect to " + localText);
    if (!versionQuery(session, localText, nullptr))
        return fail(session, nullptr, "Err: Can't get version of " + localText);
    if (!versionGatePasses(session.versionText))
        return fail(session, "firmware version", "Err: Diagnostic function only works on version >= 1.3.2");
    enterStage(session, "link test (remote device)");

    const std::string kernel = kernelDir(session);
    const std::string snrPath = kernel + "/snr.tmp";
    std::error_code ec;
    std::filesystem::remove(snrPath, ec);
    display.showResults("0", "0", "0");
    if (!canEnterDirectory(kernel)) return fail(session, nullptr, "Err: Can't change directory to " + kernel);

    // The exit status is not judged: snr.tmp alone tells whether the run worked.
    runAndWait(session, "per_test.sh",
               " " + session.interfaceIp + " " + localText + " " + macText(remote) + " " + peText + " 1400 10000",
               kernel);

    std::ifstream in(snrPath);
    if (!in) {
        display.showResults("0", "0", "0");
        return fail(session, nullptr, "Err: Diagnose fail.");
    }
    std::ostringstream content;
    content << in.rdbuf();
    SnrReading r = parseSnrText(content.str());
    if (r.valuesRead == 0) return fail(session, nullptr, "Err: Diagnose fail.");
    session.facts.snr = r.snr;
    if (r.valuesRead >= 2) session.facts.per = r.per;
    if (r.valuesRead >= 3) session.facts.pe = r.pe;
    display.showResults(realDisplayText(r.snr), realDisplayText(r.per), peDisplayText(r.pe));
    display.supplied(r.valuesRead);
    conclude(session, true);
    return true;
}

}  // namespace ndx
