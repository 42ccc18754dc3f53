#pragma once

#include <cstdint>

class EthernetLink;

// Moves device memory to and from PC files through the host-interface requests.
int load_memory_file(EthernetLink& link, const char* path, uint32_t address, int swap);
int store_memory_file(EthernetLink& link, const char* path, uint32_t address, int count, int binary, int step);
int read_block_to_file(EthernetLink& link, uint32_t address, int length, const char* path);
int write_block_from_file(EthernetLink& link, uint32_t address, const char* path);
