#include "wait_for_script.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

#include "console/console.h"
#include "hostif/memory_file.h"
#include "script.h"

namespace {

constexpr const char* TICKET_FILE = "script.txt";
constexpr const char* RESULT_FILE = "result.txt";
constexpr int TICKET_LINE_LENGTH = 255;
constexpr int POLLS_PER_MARK = 100;
constexpr auto POLL_PAUSE = std::chrono::milliseconds(1);

void print_waiting() {
    std::printf("waiting for script file \"%s\": ", TICKET_FILE);
    std::fflush(stdout);
}

void mark(const char* text) {
    std::printf("%s", text);
    std::fflush(stdout);
}

// Polls until a ticket line is there, or a key is pressed (false). The end of
// standard input is no key: without a console (</dev/null, a service manager)
// the mode keeps serving tickets. The poll count runs on over the whole stay
// in the mode.
bool await_ticket(char line[TICKET_LINE_LENGTH + 1], unsigned& poll_count, bool& input_ended) {
    for (;;) {
        if (access(TICKET_FILE, R_OK) != 0) {
            // Once input has ended it is not polled again: nothing can come.
            const KeyState keys = input_ended ? KeyState::ended : console_key_state();
            if (keys == KeyState::key) return false;
            if (keys == KeyState::ended) input_ended = true;
            if (poll_count++ % POLLS_PER_MARK == 0) mark(".");
        } else if (std::FILE* ticket = std::fopen(TICKET_FILE, "r"); ticket == nullptr) {
            mark(";");
        } else {
            const bool has_line = std::fgets(line, TICKET_LINE_LENGTH + 1, ticket) != nullptr;
            std::fclose(ticket);
            if (has_line) {
                mark("found!\n");
                return true;
            }
            mark(".");
        }
        std::this_thread::sleep_for(POLL_PAUSE);
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
        if (!await_ticket(line, poll_count, input_ended)) {
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
        if (!failed && !write_result(completed)) {
            std::printf("ERROR: can not create result file, aborting!");
            std::fflush(stdout);
            return;
        }
        if (end) return;
        print_waiting();
    }
}
