#include <cstdio>

#include "image_builder.h"
#include "image_output.h"

int main(int argc, char** argv) {
    const DiskFiles files;
    const BuildResult result = build_image(argc, argv, files);
    std::fputs(result.messages.c_str(), stderr);
    if (!result.output_due) return result.status;
    return write_image(result, stdout, stderr);
}
