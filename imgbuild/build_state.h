#pragma once

#include "image_buffer.h"
#include "image_builder.h"

// Where the build stands between options. Offsets are image offsets; the
// write position is -8 only while a vector file is being read (its bytes
// start at offset 0, after the reader's usual 8-byte advance).
struct BuildState {
    ImageBuffer image;
    int write_position = 8;
    int pending_link = 12;  // next-field the next completed section fills in
    int last_link = 4;      // next-field that ends the chain if nothing follows
    int vector_length = 0;  // V: vector region size, a multiple of 256
    int boot_stub_offset = 0;  // J: where the -j boot stub lies, 0 for none
    bool flash_format = false;
    bool i2c_19bit = false;
    bool vector_given = false;
    bool section_added = false;
    OutputSettings output;

    BuildState() {
        image.put_tag(0, "ZR11");
        image.put_word(4, 8);
    }
};
