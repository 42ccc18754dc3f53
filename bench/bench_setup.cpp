#include "bench_setup.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netpacket/packet.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hostif/host_interface.h"
#include "link/ethernet_link.h"
#include "settings/settings.h"

namespace {

using Clock = std::chrono::steady_clock;

bool wait_for_ready_line(int out) {
    std::string text;
    char chunk[256];
    const auto limit = Clock::now() + std::chrono::seconds(5);
    while (text.find("listening") == std::string::npos && Clock::now() < limit) {
        pollfd fd{out, POLLIN, 0};
        if (poll(&fd, 1, 100) <= 0) continue;
        const ssize_t n = read(out, chunk, sizeof chunk);
        if (n <= 0) break;
        text.append(chunk, static_cast<size_t>(n));
    }
    return text.find("listening") != std::string::npos;
}

}  // namespace

void enter_test_namespace(char** argv) {
    if (getenv("HL_IFACE") != nullptr) return;
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return;
    self[n] = '\0';
    std::vector<char*> arguments{const_cast<char*>(NETNS_RUN_PATH), const_cast<char*>("--"), self};
    for (char** argument = argv + 1; *argument != nullptr; ++argument) arguments.push_back(*argument);
    arguments.push_back(nullptr);
    std::fflush(stdout);
    execv(NETNS_RUN_PATH, arguments.data());
    std::printf("cannot run %s: %s\n", NETNS_RUN_PATH, std::strerror(errno));
}

Devsim start_devsim(const std::vector<std::string>& options) {
    int out[2];
    if (pipe(out) != 0) return Devsim{};
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> arguments{const_cast<char*>(DEVSIM_PATH), const_cast<char*>("-i"),
                                     const_cast<char*>("dv0")};
        for (const auto& option : options) arguments.push_back(const_cast<char*>(option.c_str()));
        arguments.push_back(nullptr);
        execv(DEVSIM_PATH, arguments.data());
        _exit(127);
    }
    close(out[1]);
    Devsim devsim{pid, out[0]};
    if (pid < 0 || !wait_for_ready_line(out[0])) {
        stop_devsim(devsim);
        devsim.pid = -1;
    }
    return devsim;
}

void stop_devsim(Devsim& devsim) {
    if (devsim.pid > 0) {
        kill(devsim.pid, SIGTERM);
        const auto limit = Clock::now() + std::chrono::seconds(5);
        while (waitpid(devsim.pid, nullptr, WNOHANG) == 0) {
            if (Clock::now() > limit) {
                kill(devsim.pid, SIGKILL);
                waitpid(devsim.pid, nullptr, 0);
                break;
            }
            usleep(10000);
        }
    }
    if (devsim.output >= 0) close(devsim.output);
    devsim = Devsim{};
}

bool read_interface_mac(const char* name, uint8_t mac[6]) {
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0) return false;
    ifreq request{};
    std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
    const bool ok = ioctl(s, SIOCGIFHWADDR, &request) == 0;
    if (ok) std::memcpy(mac, request.ifr_hwaddr.sa_data, 6);
    close(s);
    return ok;
}

bool open_device_link(EthernetLink& link) {
    if (!read_interface_mac("hl0", pc_mac) || link.initialize() != ZDK_SUCCESS) return false;
    const uint8_t wanted[4] = {192, 0, 2, 2};
    ZdkStatus status = link.first_interface(nullptr);
    for (; status == ZDK_SUCCESS; status = link.next_interface(nullptr)) {
        uint8_t address[4];
        if (link.interface_address(address) == ZDK_SUCCESS && std::memcmp(address, wanted, 4) == 0) break;
    }
    if (status != ZDK_SUCCESS || link.open_selected() != ZDK_SUCCESS) return false;
    char filter[160];
    format_device_filter(filter, sizeof filter);
    if (link.set_filter(filter) != ZDK_SUCCESS) return false;
    std::memcpy(link.local_mac, pc_mac, 6);
    return true;
}

bool keep_on_one_cpu() {
    const int cpu = sched_getcpu();
    cpu_set_t one_cpu;
    CPU_ZERO(&one_cpu);
    if (cpu >= 0) CPU_SET(cpu, &one_cpu);
    if (cpu < 0 || sched_setaffinity(0, sizeof one_cpu, &one_cpu) != 0) {
        std::printf("cannot keep the run on one CPU\n");
        return false;
    }
    std::printf("every process of the run on CPU %d\n", cpu);
    return true;
}

int open_packet_socket(const char* name, int* index) {
    *index = static_cast<int>(if_nametoindex(name));
    if (*index == 0) return -1;
    const int s = socket(AF_PACKET, SOCK_RAW, htons(BENCH_ETHERTYPE));
    if (s < 0) return -1;
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(BENCH_ETHERTYPE);
    address.sll_ifindex = *index;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(s);
        return -1;
    }
    return s;
}

ssize_t receive_incoming(int s, uint8_t* buffer, size_t size) {
    for (;;) {
        sockaddr_ll from{};
        socklen_t length = sizeof from;
        const ssize_t got = recvfrom(s, buffer, size, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 0 || from.sll_pkttype != PACKET_OUTGOING) return got;
    }
}
