#pragma once

#include <functional>

class EthernetLink;
class ZdpClient;

// Serves another program through two files in the working directory: it
// drops a ticket script.txt naming a memory script, the script runs, the
// ticket is deleted and, when the script did not fail, result.txt is
// rewritten. A ticket beginning with "END", a key press while no ticket is
// there, or a result file that cannot be created ends the mode; the end of
// standard input does not. A stop asked for by a signal ends it too: between
// tickets at once, with the files left as they are; inside a ticket once the
// script has stopped, with the ticket deleted and no result file written.
void wait_for_script(EthernetLink& link, ZdpClient& zdp);

// The same with the script runner given (negative result = failure).
using ScriptRunner = std::function<int(const char* path)>;
void wait_for_script(const ScriptRunner& run);
