#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_builder.h"
#include "input_files.h"

// Small image reader for the tests: follows the section chain the way the
// loader does, from a header's first-section field.
struct WalkedSection {
    int offset;
    std::string tag;
    int next;
};

std::uint32_t word_at(const std::vector<std::uint8_t>& image, int offset);
std::string tag_at(const std::vector<std::uint8_t>& image, int offset);

// Every section on the chain that starts at the word `first_link`. A chain
// that leaves the image or loops fails the calling test.
std::vector<WalkedSection> walk_sections(const std::vector<std::uint8_t>& image, int first_link);

// Hex text as the parameter compiler writes it: 16 bytes per line.
std::string to_hex_text(const std::vector<std::uint8_t>& bytes);
std::string digits_of(const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> counting_bytes(int count, int first = 0);

// Runs the builder over an argument list (the program name is added).
BuildResult run_builder(const std::vector<std::string>& args, const InputFiles& files);

std::string read_test_data(const std::string& name);
