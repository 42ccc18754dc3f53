#include "linux_interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_addr.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>
#include <utility>

namespace ndx {
namespace {

std::string dotted(const in_addr& a)
{
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

// Interface index and address -> whether the kernel holds the address with a
// finite lifetime, which is how a DHCP lease shows on Linux.
using LeaseMap = std::map<std::pair<unsigned, std::uint32_t>, bool>;

void readAddressLifetimes(LeaseMap& leases)
{
    int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) return;
    timeval timeout{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

    struct {
        nlmsghdr header;
        ifaddrmsg body;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ifaddrmsg));
    request.header.nlmsg_type = RTM_GETADDR;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.body.ifa_family = AF_INET;
    if (::send(fd, &request, request.header.nlmsg_len, 0) < 0) {
        ::close(fd);
        return;
    }

    alignas(nlmsghdr) char buffer[16384];
    bool done = false;
    while (!done) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        int left = static_cast<int>(n);
        for (auto* h = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(h, left); h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_type == NLMSG_DONE || h->nlmsg_type == NLMSG_ERROR) {
                done = true;
                break;
            }
            if (h->nlmsg_type != RTM_NEWADDR) continue;
            auto* ifa = static_cast<ifaddrmsg*>(NLMSG_DATA(h));
            std::uint32_t flags = ifa->ifa_flags;
            std::uint32_t address = 0;
            bool haveAddress = false;
            bool finite = false;
            int attrLeft = static_cast<int>(IFA_PAYLOAD(h));
            for (auto* a = IFA_RTA(ifa); RTA_OK(a, attrLeft); a = RTA_NEXT(a, attrLeft)) {
                if ((a->rta_type == IFA_LOCAL || (a->rta_type == IFA_ADDRESS && !haveAddress)) &&
                    RTA_PAYLOAD(a) >= sizeof address) {
                    std::memcpy(&address, RTA_DATA(a), sizeof address);
                    haveAddress = true;
                } else if (a->rta_type == IFA_CACHEINFO && RTA_PAYLOAD(a) >= sizeof(ifa_cacheinfo)) {
                    ifa_cacheinfo info;
                    std::memcpy(&info, RTA_DATA(a), sizeof info);
                    finite = info.ifa_valid != 0xFFFFFFFFu;
                } else if (a->rta_type == IFA_FLAGS && RTA_PAYLOAD(a) >= sizeof flags) {
                    std::memcpy(&flags, RTA_DATA(a), sizeof flags);
                }
            }
            if (haveAddress) leases[{ifa->ifa_index, address}] = finite && !(flags & IFA_F_PERMANENT);
        }
    }
    ::close(fd);
}

// Best effort for an interface still without an address: a DHCP client that
// keeps a pid file for it.
bool dhcpClientKnown(const std::string& name)
{
    const std::string candidates[] = {
        "/run/dhclient." + name + ".pid",
        "/run/dhclient-" + name + ".pid",
        "/run/dhcpcd-" + name + ".pid",
        "/run/dhcpcd/" + name + ".pid",
    };
    std::error_code ec;
    for (const std::string& path : candidates)
        if (std::filesystem::exists(path, ec)) return true;
    return false;
}

}  // namespace

bool LinuxInterfaceSource::listDevices(std::vector<CaptureDevice>& devices)
{
    char error[PCAP_ERRBUF_SIZE];
    pcap_if_t* all = nullptr;
    if (pcap_findalldevs(&all, error) != 0) return false;
    devices.clear();
    for (pcap_if_t* d = all; d; d = d->next) {
        // Pseudo-devices (any, nflog, usbmon, ...) and loopback cannot reach a device.
        if ((d->flags & PCAP_IF_LOOPBACK) || if_nametoindex(d->name) == 0) continue;
        CaptureDevice device;
        device.name = d->name;
        device.description = d->description ? d->description : d->name;
        for (pcap_addr_t* a = d->addresses; a; a = a->next) {
            if (a->addr && a->addr->sa_family == AF_INET) {
                device.ipv4 = dotted(reinterpret_cast<sockaddr_in*>(a->addr)->sin_addr);
                break;
            }
        }
        devices.push_back(device);
    }
    pcap_freealldevs(all);
    return true;
}

bool LinuxInterfaceSource::listAdapters(std::vector<Adapter>& adapters)
{
    ifaddrs* all = nullptr;
    if (::getifaddrs(&all) != 0) return false;
    LeaseMap leases;
    readAddressLifetimes(leases);

    adapters.clear();
    std::map<std::string, std::size_t> byName;
    for (ifaddrs* i = all; i; i = i->ifa_next) {
        if (!i->ifa_name) continue;
        auto [it, added] = byName.emplace(i->ifa_name, adapters.size());
        if (added) adapters.push_back({i->ifa_name, "0.0.0.0", false});
        Adapter& adapter = adapters[it->second];
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || adapter.ipAddress != "0.0.0.0") continue;
        const in_addr address = reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr;
        adapter.ipAddress = dotted(address);
        auto lease = leases.find({if_nametoindex(i->ifa_name), address.s_addr});
        adapter.dhcpEnabled = lease != leases.end() && lease->second;
    }
    ::freeifaddrs(all);
    for (Adapter& a : adapters)
        if (a.ipAddress == "0.0.0.0") a.dhcpEnabled = dhcpClientKnown(a.name);
    return true;
}

}  // namespace ndx
