#pragma once

class EthernetLink;
class ZdpClient;

// Runs a memory script file; 0 on success, negative when it failed.
int run_script(EthernetLink& link, ZdpClient& zdp, const char* path);
