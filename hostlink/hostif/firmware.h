#pragma once

class EthernetLink;

// Downloads a boot/configuration image into device memory and starts it.
// Returns non-zero on success, 0 on failure.
int download_firmware(EthernetLink& link, const char* path, int activate);
