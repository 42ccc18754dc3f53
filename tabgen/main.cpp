#include <cstdio>
#include <string>

#include "run_tabgen.h"

int main(int argc, char** argv) {
    std::string out;
    std::string err;
    int status = run_tabgen(argc, argv, out, err);

    std::fwrite(err.data(), 1, err.size(), stderr);
    std::fflush(stderr);
    const bool written = std::fwrite(out.data(), 1, out.size(), stdout) == out.size();
    if (std::fflush(stdout) != 0 || !written) {
        // A lost output must not look like a successful compilation.
        std::fputs("ERROR: failed to write output!!!\n", stderr);
        if (status == 0) status = exit_usage;
    }
    return status;
}
