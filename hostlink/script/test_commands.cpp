#include <cstdio>
#include <string>

#include "link/ethernet_link.h"
#include "script_commands.h"
#include "settings/settings.h"
#include "stop/stop_request.h"

LineEnd test_command_line(ScriptRun& run, const ScriptLine& line) {
    TestCommandFn command = run.operations.test_command[static_cast<int>(line.command)];
    if (!command) return not_built_yet(run, line);
    ScriptTestContext context{run.link, run.zdp, run.file, run.ack_count};
    std::string failure = command(context, line.arguments);
    if (failure.empty()) return LineEnd::go_on;
    // What a stop cut short did not fail: the run ends without a word.
    if (stop_requested()) return LineEnd::stop;
    // The failure text brings its own line end.
    std::printf("Failure - %s", failure.c_str());
    return stop_on_failure ? LineEnd::quit : LineEnd::go_on;
}

// The replay's own outcome is not the script's: the line always succeeds once
// it names a file.
LineEnd play_file_line(ScriptRun& run, const ScriptLine& line) {
    std::string name = second_token(line.arguments);
    if (name.empty()) return format_error(run, line);
    run.link.replay_file(name.c_str());
    return LineEnd::go_on;
}
