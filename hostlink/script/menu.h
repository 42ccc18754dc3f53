#pragma once

class EthernetLink;
class ZdpClient;

// Interactive numbered menu; preset_entry -1 lists the menu first, 2 starts
// in the wait-for-script entry. Returns the process status when left.
int run_menu(EthernetLink& link, ZdpClient& zdp, int preset_entry);
