// The recorder that stands in for the user's program in the
// open-with-application tests (cmdline_recorder.exe, built beside the tests):
// each start adds "<creation time>|<command line>" to "cmdlines.txt" beside
// the recorder.
#pragma once

#include <string>
#include <vector>

namespace kestreltest {

// Copies the recorder built beside the running test program to path.
bool CopyRecorderTo(const std::string& path);
// Recorder processes running now, wherever they lie.
int RecordersRunning();
// Waits (60 s at most) until no recorder runs; true when none does.
bool WaitRecordersEnd();
// The command lines recorded in folder, in the order their processes were
// created, once at least count are there (or after 60 s).
std::vector<std::string> WaitRecords(const std::string& folder, size_t count);

} // namespace kestreltest
