#include "wait_for_script.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "console/console.h"
#include "hostif/memory_file.h"
#include "script.h"
#include "stop/stop_request.h"

namespace {

constexpr const char* TICKET_FILE = "script.txt";
constexpr const char* RESULT_FILE = "result.txt";
constexpr int TICKET_LINE_LENGTH = 255;
constexpr int POLLS_PER_MARK = 100;
constexpr int POLL_PAUSE_MS = 1;

enum class Awaited { ticket, key, stop };

void print_waiting() {
    std::printf("waiting for script file \"%s\": ", TICKET_FILE);
    std::fflush(stdout);
}

void mark(const char* text) {
    std::printf("%s", text);
    std::fflush(stdout);
}

// Polls until a ticket line is there, a key is pressed or a stop is asked
// for. The end of standard input is no key: without a console (</dev/null, a
// service manager) the mode keeps serving tickets. The poll count runs on
// over the whole stay in the mode.
Awaited await_ticket(char line[TICKET_LINE_LENGTH + 1], unsigned& poll_count, bool& input_ended) {
    for (;;) {
        if (stop_requested()) return Awaited::stop;
        if (access(TICKET_FILE, R_OK) != 0) {
            // Once input has ended it is not polled again: nothing can come.
            const KeyState keys = input_ended ? KeyState::ended : console_key_state();
            if (keys == KeyState::key) return Awaited::key;
            if (keys == KeyState::ended) input_ended = true;
            if (poll_count++ % POLLS_PER_MARK == 0) mark(".");
        } else if (std::FILE* ticket = std::fopen(TICKET_FILE, "r"); ticket == nullptr) {
            mark(";");
        } else {
            const bool has_line = std::fgets(line, TICKET_LINE_LENGTH + 1, ticket) != nullptr;
            std::fclose(ticket);
            if (has_line) {
                mark("found!\n");
                return Awaited::ticket;
            }
            mark(".");
        }
        sleep_unless_stopped(POLL_PAUSE_MS);
    }
}

void strip_line_end(char* line) {
    size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) line[--length] = '\0';
}

// The completion time in its 24-character form with its line end. A result
// file that could not be written in full counts as one not created: the
// controlling program would otherwise read an empty or cut result.
bool write_result(std::time_t completed) {
    std::FILE* result = std::fopen(RESULT_FILE, "w");
    if (result == nullptr) return false;
    char time_text[32] = "";
    std::tm local{};
    localtime_r(&completed, &local);
    std::strftime(time_text, sizeof time_text, "%a %b %e %H:%M:%S %Y\n", &local);
    const bool written = std::fprintf(result, "hostlink %s\n", time_text) > 0;
    return finish_written_file(result, RESULT_FILE, written);
}

}  // namespace

void wait_for_script(EthernetLink& link, ZdpClient& zdp) {
    wait_for_script([&link, &zdp](const char* path) { return run_script(link, zdp, path); });
}

void wait_for_script(const ScriptRunner& run) {
    print_waiting();
    unsigned poll_count = 0;
    bool input_ended = false;
    for (;;) {
        char line[TICKET_LINE_LENGTH + 1] = "";
        bool failed = false;
        bool end = false;
        const Awaited awaited = await_ticket(line, poll_count, input_ended);
        if (awaited == Awaited::stop) return;
        if (awaited == Awaited::key) {
            failed = true;
            std::strcpy(line, "END");
        }
        if (std::strncmp(line, "END", 3) == 0) {
            end = true;
        } else {
            strip_line_end(line);
            if (run(line) < 0) failed = true;
        }
        const std::time_t completed = std::time(nullptr);
        std::remove(TICKET_FILE);
        // A script a stop cut short has failed (negative result): no result.
        if (!failed && !write_result(completed)) {
            std::printf("ERROR: can not create result file, aborting!");
            std::fflush(stdout);
            return;
        }
        if (end || stop_requested()) return;
        print_waiting();
    }
}
