#pragma once

#include <string>

// Standard output and error captured within a test, through gtest's capture.
// gtest allows one capture of each stream at a time and aborts the whole
// process at a second one, so a capture left open by a failed assertion
// would end every later test of the binary. Whatever a test leaves open is
// ended after it, and what it held is passed on to the stream, so that the
// failure messages written meanwhile are seen.
void capture_stdout();
void capture_stderr();
// End the capture and give what the stream received since it began.
std::string captured_stdout();
std::string captured_stderr();
