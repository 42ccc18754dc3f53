// libFuzzer target: arbitrary bytes as a hex input file, fed to the piece
// parser and to the builder under one of the kinds of option that read a
// file (picked by the input's first byte).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "hex_reader.h"
#include "image_buffer.h"
#include "image_builder.h"
#include "image_output.h"
#include "input_files.h"

namespace {

BuildResult run(std::vector<std::string> words, const InputFiles& files) {
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    return build_image(static_cast<int>(words.size()), argv.data(), files);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first byte picks the image form to build; the rest is the hex file.
    if (size == 0) return 0;
    const std::uint8_t form = data[0];
    ++data;
    --size;

    char piece[hex_piece_capacity] = {};
    for (std::size_t i = 0; i < size && i < sizeof piece - 1; ++i) piece[i] = static_cast<char>(data[i]);
    HexPieceBytes bytes{};
    if (parse_hex_piece(piece, bytes) > hex_piece_max_bytes) std::abort();

    MemoryFiles files;
    files.add("in.hex", std::string(reinterpret_cast<const char*>(data), size));
    files.add("small.hex", "0102030405\n");
    static const std::vector<std::vector<std::string>> command_lines = {
        {"imgbuild", "-o", "in.hex", "-2", "in.hex"},
        {"imgbuild", "-F", "-j", "in.hex", "-x", "small.hex"},
        {"imgbuild", "-v", "in.hex", "-j", "in.hex", "-B"},
        {"imgbuild", "-x", "small.hex", "-v", "in.hex", "-H", "-C"},
    };
    const BuildResult result = run(command_lines[form % command_lines.size()], files);
    if (result.image.size() > static_cast<std::size_t>(ImageBuffer::size)) std::abort();
    if (result.output_due != (result.status == 0)) std::abort();
    if (result.output_due) (void)format_image_text(result.image, result.output);
    return 0;
}
