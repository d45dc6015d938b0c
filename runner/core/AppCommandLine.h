// The command line that opens one saved file with the job's program.
#pragma once

#include <cstddef>
#include <string>

namespace kestrel {

// The platform's limit for a process command line, in characters with the
// terminating NUL.
constexpr size_t kMaxCommandLine = 32767;

// "\"program\" \"file\"" into out; false (out empty) when it, with its
// terminating NUL, would not fit kMaxCommandLine.
bool BuildAppCommandLine(const std::string& program, const std::string& file, std::string& out);

} // namespace kestrel
