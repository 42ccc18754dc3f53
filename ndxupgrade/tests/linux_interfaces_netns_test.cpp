// Runs inside the test namespace: hl0 holds 192.0.2.2/24, dv0 is its peer.

#include <gtest/gtest.h>

#include <net/if.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <sys/wait.h>

#include "fakes.h"
#include "platform/linux_interfaces.h"

namespace ndx {
namespace {

template <typename T>
const T* byName(const std::vector<T>& list, const std::string& name)
{
    for (const T& item : list)
        if (item.name == name) return &item;
    return nullptr;
}

class LinuxInterfaces : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (if_nametoindex("hl0") == 0) GTEST_SKIP() << "not inside the test namespace";
    }
    LinuxInterfaceSource source;
};

TEST_F(LinuxInterfaces, DeviceListLeavesOutPseudoDevices)
{
    std::vector<CaptureDevice> devices;
    ASSERT_TRUE(source.listDevices(devices));
    const CaptureDevice* hl0 = byName(devices, "hl0");
    ASSERT_NE(hl0, nullptr);
    EXPECT_EQ(hl0->ipv4, "192.0.2.2");
    EXPECT_FALSE(hl0->description.empty());
    ASSERT_NE(byName(devices, "dv0"), nullptr);
    EXPECT_EQ(byName(devices, "dv0")->ipv4, "");
    for (const char* pseudo : {"lo", "any", "nflog", "nfqueue"}) EXPECT_EQ(byName(devices, pseudo), nullptr) << pseudo;
}

TEST_F(LinuxInterfaces, FixedAndLeasedAddresses)
{
    std::vector<Adapter> adapters;
    ASSERT_TRUE(source.listAdapters(adapters));
    const Adapter* hl0 = byName(adapters, "hl0");
    ASSERT_NE(hl0, nullptr);
    EXPECT_EQ(hl0->ipAddress, "192.0.2.2");
    EXPECT_FALSE(hl0->dhcpEnabled);
    ASSERT_NE(byName(adapters, "dv0"), nullptr);
    EXPECT_EQ(byName(adapters, "dv0")->ipAddress, "0.0.0.0");

    // An address with a finite lifetime is how a DHCP lease shows.
    ASSERT_EQ(std::system("ip addr add 192.0.2.77/24 dev dv0 valid_lft 300 preferred_lft 300"), 0);
    ASSERT_TRUE(source.listAdapters(adapters));
    const Adapter* dv0 = byName(adapters, "dv0");
    ASSERT_NE(dv0, nullptr);
    EXPECT_EQ(dv0->ipAddress, "192.0.2.77");
    EXPECT_TRUE(dv0->dhcpEnabled);
    EXPECT_FALSE(byName(adapters, "hl0")->dhcpEnabled);
    EXPECT_EQ(std::system("ip addr del 192.0.2.77/24 dev dv0"), 0);
}

struct Output {
    int status;
    std::vector<std::string> lines;
};

// Standard output only: the children's output and the start-up's note go to
// standard error, which `errors` keeps.
Output runProgram(const std::string& dir, const std::string& args, const std::string& errors = "/dev/null")
{
    // The run's record goes to the tree's own history, not the user's.
    const std::string command = "cd '" + dir + "' && XDG_STATE_HOME='" + dir + "/state' NDX_HISTORY_DB= " +
                                NDXUPGRADE_BINARY " " + args + " 2>'" + errors + "'";
    Output out{-1, {}};
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return out;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        out.lines.push_back(text);
    }
    int status = ::pclose(pipe);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

TEST_F(LinuxInterfaces, HeadlessVersionQueryOfTheProgram)
{
    test::TempBase base;
    test::writeFile(base.root / "Kernel/version.sh", "[ \"$1 $2\" = \"192.0.2.2 00-01-40-00-00-01\" ] || exit 1\n"
                                                     "echo 1.3.2 > verinfo.txt\necho asked >&2\n");
    const std::string errors = (base.root / "errors.txt").string();
    Output ok = runProgram(base.path(), "--query-version --mac 00:01:40:00:00:01 --interface hl0", errors);
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.lines, (std::vector<std::string>{"Interface hl0: <fixed IP>: 192.0.2.2", "get target's version :",
                                                  "1.3.2", "Ok.", "Current Version is 1.3.2"}));
    EXPECT_EQ(test::readFile(errors), "ndxupgrade: base directory " + base.path() + "\nversion.sh: asked\n");

    // The loader's capture diagnosis (here as version.sh passes it on) comes
    // back on standard error after the failed step; standard output keeps
    // the procedure's own lines.
    const std::string diagnosis = "hostlink: cannot capture on hl0: socket: Operation not permitted";
    test::writeFile(base.root / "Kernel/version.sh", "echo '" + diagnosis + "'\nexit 255\n");
    Output failed = runProgram(base.path(), "--query-version --mac 00-01-40-00-00-01 --interface hl0", errors);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.lines, (std::vector<std::string>{"Interface hl0: <fixed IP>: 192.0.2.2", "get target's version :",
                                                      "Err: Can't get target's version.",
                                                      "Can't get target's version"}));
    EXPECT_EQ(test::readFile(errors), "ndxupgrade: base directory " + base.path() + "\nversion.sh: " + diagnosis +
                                          "\n" + diagnosis + "\n");
}

// Every headless mode says on standard error why the loader could not work:
// its capture diagnosis after the failed step (a batch: once per device, with
// the device's MAC), or that this user may not start it at all.
TEST_F(LinuxInterfaces, HeadlessModesSayWhyTheLoaderCouldNotWork)
{
    const std::string diagnosis = "hostlink: cannot capture on hl0: socket: Operation not permitted";
    const std::string loader = "#!/bin/sh\necho '" + diagnosis + "'\nexit 255\n";
    const std::string mac = " --mac 00-01-40-00-00-01 --interface hl0";
    // A line of standard error that begins with `head` and ends with `tail`.
    const auto hasLine = [](const std::string& text, const std::string& head, const std::string& tail) {
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);)
            if (line.size() >= head.size() + tail.size() && line.rfind(head, 0) == 0 &&
                line.compare(line.size() - tail.size(), tail.size(), tail) == 0)
                return true;
        return false;
    };
    const std::string notRun = "ndxupgrade: cannot run ";
    const std::string denied = "/Tool/hostlink: Permission denied";
    const struct {
        const char* name;
        std::string arguments;
        bool loaderRuns;
        std::string head, tail;
    } cases[] = {
        {"upgrade", "--upgrade" + mac, true, diagnosis, ""},
        {"query", "--query-version" + mac, true, diagnosis, ""},
        {"diagnosis", "--diagnose --local 00-01-40-00-00-01 --remote 00-01-40-00-00-02 --interface hl0", true,
         diagnosis, ""},
        {"batch", "--upgrade --jobs 1" + mac, true, "00-01-40-00-00-01: " + diagnosis, ""},
        {"upgrade, loader not executable", "--upgrade" + mac, false, notRun + "/", denied},
        {"batch, loader not executable", "--upgrade --jobs 1" + mac, false, "00-01-40-00-00-01: " + notRun, denied},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempBase base;
        const std::filesystem::path hostlink = base.root / "Tool/hostlink";
        test::writeFile(hostlink, loader);
        for (const char* program : {"tabgen", "imgbuild"}) test::writeFile(base.root / "Tool" / program, "");
        for (const char* program : {"hostlink", "tabgen", "imgbuild"})
            std::filesystem::permissions(base.root / "Tool" / program,
                                         c.loaderRuns ? std::filesystem::perms::owner_all
                                                      : std::filesystem::perms::owner_read |
                                                            std::filesystem::perms::owner_write);
        test::writeFile(base.root / "Kernel/version.sh", "../Tool/hostlink -s x\n");
        const std::string errors = (base.root / "errors.txt").string();
        const Output run = runProgram(base.path(), c.arguments, errors);
        EXPECT_EQ(run.status, 1);
        const std::string text = test::readFile(errors);
        EXPECT_TRUE(hasLine(text, c.head, c.tail)) << text;
    }
}

}  // namespace
}  // namespace ndx
