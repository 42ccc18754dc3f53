#include <gtest/gtest.h>

#include <optional>

#include "core/diagnostics.h"
#include "fakes.h"

namespace ndx {
namespace {

using namespace test;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

TEST(Diagnostics, VersionGate)
{
    const std::pair<const char*, bool> cases[] = {
        {"1.3.0", true}, {"1.3.2", true},  {"2.0", true},    {"10.1", true}, {"1.2.9", false},
        {"1.2d or earlier", false},        {"ABC", false},   {"", false},    {"1", false},
        {"0.9", false},  {"nan", false},   {"inf", false},   {"1.x", false},
    };
    for (auto [version, passes] : cases) EXPECT_EQ(versionGatePasses(version), passes) << version;
}

TEST(Diagnostics, RealDisplayCutsToFiveCharacters)
{
    // The shortest form that reads back as the same float, cut to five
    // characters; an exponent (or the only digits) never cut away.
    const std::pair<float, const char*> cases[] = {
        {23.456789f, "23.45"}, {0.00123f, "0.001"}, {18.5f, "18.5"},  {0.0f, "0"},       {-3.25f, "-3.25"},
        {1e-4f, "1e-04"},      {0.02f, "0.02"},     {26.3f, "26.3"},  {0.1f, "0.1"},     {2e-5f, "2e-05"},
        {1.6e-5f, "2e-05"},    {0.00015f, "2e-04"}, {0.0004f, "4e-04"}, {27.5f, "27.5"}, {123456.0f, "12345"},
        {1.5e10f, "2e+10"},    {1.0f, "1"},
    };
    for (auto [value, shown] : cases) EXPECT_EQ(realDisplayText(value), shown) << value;
}

TEST(Diagnostics, SnrParsing)
{
    SnrReading r = parseSnrText("23.456789 0.00123 52\n");
    EXPECT_EQ(r.valuesRead, 3);
    EXPECT_FLOAT_EQ(r.snr, 23.456789f);
    EXPECT_FLOAT_EQ(r.per, 0.00123f);
    EXPECT_EQ(r.pe, 52);

    r = parseSnrText("18.5");
    EXPECT_EQ(r.valuesRead, 1);
    EXPECT_EQ(r.per, 0);
    EXPECT_EQ(r.pe, 0);

    EXPECT_EQ(parseSnrText("").valuesRead, 0);
    EXPECT_EQ(parseSnrText("abc 1 2").valuesRead, 0);
    EXPECT_EQ(parseSnrText("1.5\n\t2.5   7").valuesRead, 3);
}

class Diagnose : public ::testing::Test, public DiagDisplay {
public:
    Diagnose() : session{base.path(), "192.0.2.2", "", runner, boxes}
    {
        runner.effects["version.sh"] = [this](const std::string& dir) {
            writeFile(fs::path(dir) / "verinfo.txt", version);
        };
        runner.effects["per_test.sh"] = [this](const std::string& dir) {
            if (snr) writeFile(fs::path(dir) / "snr.tmp", *snr);
        };
    }
    void showResults(const std::string& s, const std::string& p, const std::string& e) override
    {
        shown.push_back({s, p, e});
    }
    bool run() { return diagnoseClick(session, kLocal, kRemote, peText, *this); }
    std::string lastBox() const { return boxes.shown.empty() ? "" : boxes.shown.back().text; }

    const MacAddress kLocal = {0x00, 0x01, 0x40, 0x00, 0x00, 0x01};
    const MacAddress kRemote = {0x00, 0x01, 0x40, 0x00, 0x00, 0x02};
    TempBase base;
    ScriptedRunner runner;
    RecordingBoxes boxes;
    Session session;
    std::string version = "1.3.2\n";
    std::optional<std::string> snr = "23.456789 0.00123 52\n";
    std::string peText = "255";
    std::vector<Lines> shown;
};

TEST_F(Diagnose, FillsTheEditsAndHandsTheExactArguments)
{
    EXPECT_TRUE(run());
    EXPECT_TRUE(boxes.shown.empty());
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], (Lines{"0", "0", "0"}));
    EXPECT_EQ(shown[1], (Lines{"23.45", "0.001", "52 (40Mpbs)"}));
    EXPECT_EQ(runner.steps(), (Lines{"connect", "version.sh", "per_test.sh"}));
    EXPECT_EQ(runner.calls[0].argv[2], "00-01-40-00-00-01");
    EXPECT_EQ(runner.calls[2].argv, (Lines{"/bin/sh", "per_test.sh", "192.0.2.2", "00-01-40-00-00-01",
                                           "00-01-40-00-00-02", "255", "1400", "10000"}));
    EXPECT_EQ(runner.calls[2].workDir, base.path() + "/Kernel");
}

TEST_F(Diagnose, OnlySnrInTheFile)
{
    snr = "18.5";
    EXPECT_TRUE(run());
    EXPECT_EQ(shown.back(), (Lines{"18.5", "0", "0 (undefined)"}));
}

TEST_F(Diagnose, SmallPerKeepsItsExponent)
{
    snr = "27.50 1.00e-04 52\n";
    EXPECT_TRUE(run());
    EXPECT_EQ(shown.back(), (Lines{"27.5", "1e-04", "52 (40Mpbs)"}));
}

TEST_F(Diagnose, Failures)
{
    struct Case {
        const char* name;
        std::function<void(Diagnose&)> arrange;
        std::string box;
    };
    const Case cases[] = {
        {"connect", [](Diagnose& d) { d.runner.codes["connect"] = -1; }, "Err: Can't connect to 00-01-40-00-00-01"},
        {"version", [](Diagnose& d) { d.runner.codes["version.sh"] = -2; },
         "Err: Can't get version of 00-01-40-00-00-01"},
        {"old firmware", [](Diagnose& d) { d.version = "0.0.1"; },
         "Err: Diagnostic function only works on version >= 1.3.2"},
        {"1.2.9", [](Diagnose& d) { d.version = "1.2.9"; }, "Err: Diagnostic function only works on version >= 1.3.2"},
        {"no snr.tmp", [](Diagnose& d) { d.snr.reset(); }, "Err: Diagnose fail."},
        {"empty snr.tmp", [](Diagnose& d) { d.snr = ""; }, "Err: Diagnose fail."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Diagnose& d = *this;
        d.version = "1.3.2";
        d.snr = "1 2 33";
        d.runner.codes.clear();
        d.boxes.shown.clear();
        d.shown.clear();
        c.arrange(d);
        EXPECT_FALSE(run());
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(lastBox(), c.box);
        EXPECT_EQ(boxes.shown[0].caption, "Error");
        if (!shown.empty()) {
            EXPECT_EQ(shown.back(), (Lines{"0", "0", "0"}));
        }
    }
}

TEST_F(Diagnose, OldSnrFileIsNeverRead)
{
    writeFile(base.root / "Kernel/snr.tmp", "30 0.5 63");
    snr.reset();
    EXPECT_FALSE(run());
    EXPECT_EQ(lastBox(), "Err: Diagnose fail.");
}

TEST_F(Diagnose, ExitStatusOfPerTestIsNotJudged)
{
    runner.codes["per_test.sh"] = -1;
    EXPECT_TRUE(run());
}

}  // namespace
}  // namespace ndx
