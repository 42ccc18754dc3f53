#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input_files.h"

// How the finished image is to be written.
struct OutputSettings {
    bool binary = false;             // -Y: the bytes go to the image file
    bool c_lines = false;            // -C: "0x%2.2x,\n" per byte
    bool one_value_per_line = false;  // -H
    bool line_feeds = true;          // off with -N, -Y and -C
    std::string image_file_name = "image.dat";
};

struct BuildResult {
    int status = 0;
    // False when the run ended before the image was finished (usage, an
    // empty input): then nothing is written.
    bool output_due = false;
    std::vector<std::uint8_t> image;  // exactly the bytes to write
    std::string messages;             // standard error text, in order
    OutputSettings output;
};

// Runs one imgbuild command line (argv[0] is the program's invocation name)
// over the given input files: options in order, then the finishing steps.
BuildResult build_image(int argc, char* const* argv, const InputFiles& files);
