#include "runner/core/AppCommandLine.h"

namespace kestrel {

bool BuildAppCommandLine(const std::string& program, const std::string& file, std::string& out) {
    out.clear();
    // Both paths quoted, so that blanks in either do not split them.
    const size_t length = program.size() + file.size() + 5;
    if (length + 1 > kMaxCommandLine)
        return false;
    out.reserve(length);
    out += '"';
    out += program;
    out += "\" \"";
    out += file;
    out += '"';
    return true;
}

} // namespace kestrel
