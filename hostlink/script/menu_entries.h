#pragma once

#include <string>

class EthernetLink;
class ZdpClient;

// What an entry of the menu works with. An entry that meets the end of
// console input at one of its prompts sets input_ended and returns at once;
// the menu then ends as if 99 had been chosen.
struct MenuContext {
    EthernetLink& link;
    ZdpClient& zdp;
    bool input_ended = false;
};

// Runs the entry whose number is exactly `entry`; false when no entry has it.
bool run_menu_entry(MenuContext& menu, const std::string& entry);

// The entries that need more than a prompt and a call.
void run_loopback_test(MenuContext& menu);
void run_block_dump(MenuContext& menu);
void run_block_write(MenuContext& menu);
