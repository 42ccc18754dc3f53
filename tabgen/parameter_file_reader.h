#pragma once

#include <string>
#include <string_view>

#include "messages.h"
#include "parameter_definitions.h"
#include "qos_tables.h"

// Exit codes of a failed parameter file.
constexpr int exit_bad_syntax = -2;
constexpr int exit_unknown_parameter = -3;

// Everything a parameter file describes.
struct ParameterSet {
    ParameterImage image = default_parameter_image();
    QosTables tables;
};

// Reads a parameter file's contents over the default image and empty tables.
// Returns 0, exit_bad_syntax or exit_unknown_parameter; messages go to
// `messages` according to its verbosity.
int read_parameter_text(std::string_view contents, ParameterSet& parameters, Messages& messages);

// Same for a file; a file that cannot be opened or read leaves the defaults
// and is not an error.
int read_parameter_file(const std::string& path, ParameterSet& parameters, Messages& messages);
