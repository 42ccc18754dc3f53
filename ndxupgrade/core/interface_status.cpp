#include "interface_status.h"

namespace ndx {
namespace {

// The table keeps 20 characters with the terminator.
const std::size_t kIpTextMax = 19;

}  // namespace

bool fillInterfaceTable(InterfaceSource& source, MessageBoxes& boxes, InterfaceTable& table,
                        std::vector<std::string>& items)
{
    std::vector<CaptureDevice> devices;
    table.clear();
    items.clear();
    if (!source.listDevices(devices)) {
        boxes.show("Error", "pcap_findalldevs error: Can't get the NIC information", BoxIcon::Error);
        return false;
    }
    for (const CaptureDevice& d : devices) {
        if (table.size() == kMaxInterfaces) break;
        table.push_back({d.description, d.name, d.ipv4.substr(0, kIpTextMax)});
        items.push_back(std::to_string(table.size()) + ": " + d.description);
    }
    return true;
}

bool refreshStatus(InterfaceSource& source, MessageBoxes& boxes, InterfaceEntry* entry, StatusPanel& panel,
                   bool& dhcpWait)
{
    if (!entry) return false;
    std::vector<Adapter> adapters;
    if (!source.listAdapters(adapters)) {
        boxes.show("Error", "Call to WINAPI GetAdaptersInfo failed.\n", BoxIcon::Error);
        return false;
    }
    bool ready = false;
    for (const Adapter& a : adapters) {
        if (a.name != entry->deviceName) continue;
        entry->ipv4 = a.ipAddress.substr(0, kIpTextMax);
        panel.text = a.dhcpEnabled ? " <dynamic IP>: " : " <fixed IP>: ";
        if (a.ipAddress != "0.0.0.0") {
            panel.text += a.ipAddress;
            panel.colour = PanelColour::Aqua;
            ready = true;
            dhcpWait = false;
        } else {
            panel.text += "  ----  Not Ready";
            panel.colour = PanelColour::Red;
            ready = false;
            dhcpWait = a.dhcpEnabled;
        }
    }
    return ready;
}

// A not-ready interface is refused as the window's disabled buttons would
// refuse it. Without a name, the first entry is used, which is the window's
// initial selection.
bool selectInterface(const std::string& name, InterfaceSource& interfaces, MessageBoxes& boxes, LogMemo& log,
                     std::string& entryIp)
{
    InterfaceTable table;
    std::vector<std::string> items;
    if (!fillInterfaceTable(interfaces, boxes, table, items)) return false;
    InterfaceEntry* entry = nullptr;
    for (InterfaceEntry& e : table)
        if (name.empty() || e.deviceName == name) {
            entry = &e;
            break;
        }
    if (!entry) {
        log.addLine("Err: interface " + (name.empty() ? std::string("(none)") : name) + " is not listed.");
        return false;
    }
    StatusPanel panel;
    bool dhcpWait = false;
    if (!refreshStatus(interfaces, boxes, entry, panel, dhcpWait)) {
        log.addLine("Err: interface " + entry->deviceName + " is not ready:" + panel.text);
        return false;
    }
    log.addLine("Interface " + entry->deviceName + ":" + panel.text);
    entryIp = entry->ipv4;
    return true;
}

}  // namespace ndx
