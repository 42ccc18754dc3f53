#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "script.h"
#include "script_run.h"
#include "settings/settings.h"
#include "stop/stop_request.h"

namespace {

// Opens a script for reading; negative result code when it cannot be run.
int open_script(const char* path, std::FILE** file) {
    if (!path) return -1;
    if (access(path, R_OK) != 0) {
        std::printf("ERROR: file \"%s\" could not be accessed\n", path);
        return -5;
    }
    *file = std::fopen(path, "r");
    struct stat status {};
    if (*file && fstat(fileno(*file), &status) == 0 && S_ISDIR(status.st_mode)) {
        std::fclose(*file);
        *file = nullptr;
    }
    if (!*file) {
        std::printf("ERROR: file \"%s\" could not be opened\n", path);
        return -9;
    }
    return 0;
}

int run_file(EthernetLink& link, ZdpClient& zdp, const char* path, const ScriptOperations& operations, int depth) {
    std::FILE* file = nullptr;
    if (int refused = open_script(path, &file); refused != 0) return refused;

    ScriptRun run{link, zdp, operations, file, depth};
    bool failed = false;
    char text[SCRIPT_LINE_SIZE];
    while (!stop_requested() && std::fgets(text, sizeof text, file)) {
        ScriptLine line;
        LineKind kind = classify_line(text, &line);
        if (kind == LineKind::comment) continue;
        LineEnd end;
        if (kind == LineKind::no_comma) {
            line.text = text;
            end = format_error(run, line);
        } else if (kind == LineKind::bad_address) {
            std::printf("ERROR: bad ADDR32 at line #%d: \"%s\", aborting...\n", run.command_count, text);
            end = LineEnd::failure_stop;
        } else {
            end = execute_line(run, line);
        }
        if (end == LineEnd::quit) {
            // The stop itself is the failure: it must not read as a success.
            std::fclose(file);
            if (debug_level >= 1) std::printf("ERROR: Script file failed,\n");
            return QUIT_ON_FAILURE_RESULT;
        }
        if (end == LineEnd::failure_go_on || end == LineEnd::failure_stop) failed = true;
        if (end == LineEnd::failure_stop || end == LineEnd::stop) break;
        ++run.command_count;
    }
    // A run a signal stopped did not finish: it fails, with no further line
    // (start-up ends the process with the stop's own line).
    if (stop_requested()) {
        std::fclose(file);
        return STOPPED_RESULT;
    }
    if (std::ferror(file)) {
        std::printf("ERROR: file \"%s\" could not be read\n", path);
        failed = true;
    }
    std::fclose(file);

    if (failed) {
        if (debug_level >= 1) std::printf("ERROR: Script file failed,\n");
        return -3;
    }
    if (run.command_count == 0) {
        if (debug_level >= 1) std::printf("ERROR: no commands in file.\n");
        return -2;
    }
    if (debug_level >= 3) std::printf("Loaded %d commands from file.\n", run.command_count);
    return run.command_count;
}

}  // namespace

int run_script_with(EthernetLink& link, ZdpClient& zdp, const char* path, const ScriptOperations& operations) {
    return run_file(link, zdp, path, operations, 0);
}

int run_script(EthernetLink& link, ZdpClient& zdp, const char* path) {
    return run_script_with(link, zdp, path, default_script_operations());
}

int run_nested_script(ScriptRun& parent, const char* path) {
    return run_file(parent.link, parent.zdp, path, parent.operations, parent.depth + 1);
}
