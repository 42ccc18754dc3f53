#include "usage.h"

#include "message_log.h"

void append_usage(std::string& log, const char* program_name) {
    append_message(log, "\nUsage: %s [ -option filename ] ...\n", program_name);
    log += " -o OEM parameters (section1+section2)\n"
           " -m manufecturer parameters (section3)\n"
           " -i hardware initialization parameters (section4)\n"
           " -0 table with id=0 (calssifier rules)\n"
           " -1 table with id=1 (calssifier filters)\n"
           " -2 table with id=2 (flow parameters)\n"
           " -3 table with id=3 (static addresses)\n"
           " -x extension function\n"
           " -j jump to boot code address (default is 0x000100)\n"
           " -v vector file for alternate boot code\n"
           " -f image file name (default is image.dat\n"
           " -F flash format (default is I2C)\n"
           " -B 19-bit address I2C format (default is 11-bit)\n"
           " -N do not output line-feeds (default is 16 values per line)\n"
           " -H output one byte value per line (default is 16 values per line)\n"
           " -Y binarY file format (default is ASCII)\n"
           " -C C language code static declarations \n";
}
