#include "LogCore.h"
#include <cstdio>
#include <cstring>

namespace vlm {

std::string LogLinePrefix(const LogTime& t, const char* tag, uint32_t threadId) {
    char buf[128];
    // The tag is cut at 8 characters so the columns stay aligned.
    snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d.%03d  [%-8.8s:%08x]  ", t.year,
             t.month, t.day, t.hour, t.minute, t.second, t.millisecond, tag ? tag : "",
             static_cast<unsigned>(threadId));
    return buf;
}

std::string LogFormatV(const char* fmt, va_list args) {
    if (!fmt)
        return std::string();
    char buf[kLogFormatBuffer];
    int n = vsnprintf(buf, sizeof buf, fmt, args);
    if (n < 0)
        return std::string();
    return std::string(buf, static_cast<size_t>(n) < sizeof buf ? static_cast<size_t>(n)
                                                                : sizeof buf - 1);
}

std::string LogFormat(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string s = LogFormatV(fmt, args);
    va_end(args);
    return s;
}

std::string LogNumberedName(const std::string& path, int n) {
    size_t nameStart = path.find_last_of("\\/");
    nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
    size_t dot = path.rfind('.');
    std::string number = std::to_string(n);
    if (dot == std::string::npos || dot < nameStart)
        return path + number;
    return path.substr(0, dot) + number + path.substr(dot);
}

std::string LogLockName(const std::string& path) {
    uint64_t h = 0xcbf29ce484222325ull; // FNV-1a
    for (unsigned char c : path) {
        if (c == '\\')
            c = '/';
        else if (c >= 'a' && c <= 'z')
            c = static_cast<unsigned char>(c - 'a' + 'A');
        h = (h ^ c) * 0x100000001b3ull;
    }
    char name[40];
    snprintf(name, sizeof name, "VlmLog-%016llx", static_cast<unsigned long long>(h));
    return name;
}

bool LogRotateIfNeeded(ILogFileOps& ops, const std::string& path, uint64_t limit) {
    int64_t size = ops.Size(path);
    if (size < 0)
        return false;
    uint64_t usize = static_cast<uint64_t>(size);
    if (usize <= limit && usize < kLogHugeSize)
        return false;
    for (int n = kLogKeptFiles - 1; n >= 1; --n) {
        std::string older = LogNumberedName(path, n);
        ops.Remove(older);
        ops.Rename(LogNumberedName(path, n - 1), older);
    }
    std::string first = LogNumberedName(path, 0);
    ops.Remove(first);
    ops.Rename(path, first);
    return true;
}

bool LogWriteLine(ILogFileOps& ops, const std::string& path, const std::string& prefix,
                  const std::string& text, uint64_t limit) {
    if (path.empty())
        return false;
    LogRotateIfNeeded(ops, path, limit);
    std::string line;
    line.reserve(prefix.size() + text.size() + 2);
    line += prefix;
    line += text;
    line += "\r\n";
    return ops.Append(path, line);
}

int64_t CStdioLogFileOps::Size(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return -1;
    int64_t size = -1;
    if (fseek(f, 0, SEEK_END) == 0)
        size = static_cast<int64_t>(ftell(f));
    fclose(f);
    return size;
}

bool CStdioLogFileOps::Remove(const std::string& path) {
    return ::remove(path.c_str()) == 0;
}

bool CStdioLogFileOps::Rename(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool CStdioLogFileOps::Append(const std::string& path, const std::string& data) {
    FILE* f = fopen(path.c_str(), "ab");
    if (!f)
        return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    return fclose(f) == 0 && ok;
}

} // namespace vlm
