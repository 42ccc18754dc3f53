#pragma once

#include <cstdint>

void print_usage(const char* program_name);
void print_version();
void print_banner(const uint8_t device[6]);
