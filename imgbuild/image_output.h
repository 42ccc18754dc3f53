#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "image_builder.h"

// The image as text for standard output: two lower-case hex digits per byte,
// 16 per line by default; one per line with -H; one unbroken run with line
// feeds off; "0x%2.2x,\n" per byte for -C.
std::string format_image_text(const std::vector<std::uint8_t>& image, const OutputSettings& output);

// Writes a finished build: the binary image file with -Y, else the text on
// `out`. Messages go to `err`. Returns the process exit status.
int write_image(const BuildResult& result, std::FILE* out, std::FILE* err);
