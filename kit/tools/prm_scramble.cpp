// Build-time helper: turns the plain sample parameter file into the scrambled
// copy that ships in the kit, with the very transform the upgrade tool undoes.
// With -u it goes the other way, so tests can check a shipped file.
//
//   prm_scramble [-u] INPUT OUTPUT

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/scrambler.h"

namespace {

bool read_file(const char* path, std::vector<std::uint8_t>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool write_file(const char* path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char* argv[])
{
    bool unscramble = argc == 4 && std::strcmp(argv[1], "-u") == 0;
    if (argc != 3 && !unscramble) {
        std::fprintf(stderr, "usage: %s [-u] INPUT OUTPUT\n", argv[0]);
        return 2;
    }
    const char* input = argv[argc - 2];
    const char* output = argv[argc - 1];
    std::vector<std::uint8_t> bytes;
    if (!read_file(input, bytes)) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], input);
        return 1;
    }
    if (!write_file(output, unscramble ? ndx::unscramble(bytes) : ndx::scramble(bytes))) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], output);
        return 1;
    }
    return 0;
}
