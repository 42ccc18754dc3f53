#include "image_output.h"

#include "exit_status.h"

namespace {

void append_hex_byte(std::string& text, std::uint8_t value) {
    static constexpr char digits[] = "0123456789abcdef";
    text += digits[value >> 4];
    text += digits[value & 0x0F];
}

int write_binary_file(const std::vector<std::uint8_t>& image, const std::string& name, std::FILE* err) {
    std::fprintf(err, "binary image file redirected to file %s\n", name.c_str());
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(err, "failed opening file %s\n", name.c_str());
        return exit_status::image_file_failed;
    }
    const bool written = std::fwrite(image.data(), 1, image.size(), file) == image.size();
    if (std::fclose(file) != 0 || !written) {
        // A short image file must not pass for a written image.
        std::fprintf(err, "failed writing file %s\n", name.c_str());
        return exit_status::image_file_failed;
    }
    return 0;
}

}  // namespace

std::string format_image_text(const std::vector<std::uint8_t>& image, const OutputSettings& output) {
    std::string text;
    if (output.c_lines) {
        text.reserve(image.size() * 6);
        for (const std::uint8_t value : image) {
            text += "0x";
            append_hex_byte(text, value);
            text += ",\n";
        }
        return text;
    }
    text.reserve(image.size() * 3 + 1);
    for (std::size_t i = 0; i < image.size(); ++i) {
        if (output.line_feeds && !output.one_value_per_line && i != 0 && i % 16 == 0) text += '\n';
        append_hex_byte(text, image[i]);
        if (output.one_value_per_line) text += '\n';
    }
    if (output.line_feeds && !output.one_value_per_line) text += '\n';
    return text;
}

int write_image(const BuildResult& result, std::FILE* out, std::FILE* err) {
    if (result.output.binary) return write_binary_file(result.image, result.output.image_file_name, err);
    const std::string text = format_image_text(result.image, result.output);
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (std::fflush(out) != 0 || !written) {
        std::fprintf(err, "failed writing standard output\n");
        return exit_status::image_file_failed;
    }
    return result.status;
}
