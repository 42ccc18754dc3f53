#pragma once

// Keyboard access for the menu, the wait mode and the test commands. On a
// terminal the console is switched to non-canonical mode without echo while a
// key is awaited and restored at exit and on signals; on a pipe the same calls
// read the pipe, a waiting byte counting as a key press.

// 1 when a key (or a byte of piped input) is waiting, else 0. Never blocks.
// End of input also counts as waiting: the read that follows gives -1.
int console_key_waiting();
// Whether a real key (or a byte of piped input) is waiting, nothing is, or
// standard input has ended: for a caller that must not take the end of input
// for a key press. Never blocks.
enum class KeyState { none, key, ended };
KeyState console_key_state();
// Reads one key without echo; -1 at end of input. A stop asked for by a
// signal (stop/stop_request.h) ends the waiting read as the end of input does.
int console_read_key();
// Reads one line (without its line end) into buffer of `size`; false at end
// of input and when a stop ends the read.
bool console_read_line(char* buffer, int size);
