// The run log's file logic without Windows: line prefix, formatting into the
// fixed buffer, and rotation into ten numbered files. CVlmLog (VlmLog.h)
// supplies the clock, the thread and the lock.
#pragma once
#include <cstdarg>
#include <cstdint>
#include <string>

namespace vlm {

constexpr size_t kLogFormatBuffer = 1024;         // formatted text, terminator included
constexpr uint64_t kLogSizeLimit = 0x80000;       // rotate above 512 KiB
constexpr uint64_t kLogHugeSize = 0x100000000ull; // 4 GiB and more rotates too
constexpr int kLogKeptFiles = 10;                 // numbers 0..9, 9 the oldest

struct LogTime {
    int year, month, day, hour, minute, second, millisecond;
};

// "%04d/%02d/%02d %02d:%02d:%02d.%03d  [%-8s:%08x]  "
std::string LogLinePrefix(const LogTime& t, const char* tag, uint32_t threadId);

// printf-style into the 1024-byte buffer; longer texts are cut, never overrun.
std::string LogFormatV(const char* fmt, va_list args);
std::string LogFormat(const char* fmt, ...);

// The log's name with n inserted before the extension of its file name (the
// part after the last backslash or slash), or appended when it has none.
// The number is inserted directly: the path itself is never used as a format.
std::string LogNumberedName(const std::string& path, int n);

// The name of the lock that every process writing the log at path takes
// around each line: the same for any spelling of the path that differs only
// in case or slash direction, and free of backslashes (a kernel object name).
std::string LogLockName(const std::string& path);

// File operations, so that the same rotation runs on Win32 and in tests.
class ILogFileOps {
public:
    virtual ~ILogFileOps() = default;
    // Size in bytes, or -1 when the file does not exist.
    virtual int64_t Size(const std::string& path) = 0;
    virtual bool Remove(const std::string& path) = 0;
    virtual bool Rename(const std::string& from, const std::string& to) = 0;
    // Opens for writing without truncation (creating it), appends, closes.
    virtual bool Append(const std::string& path, const std::string& data) = 0;
};

// Rotates when the file is over the limit: 9 is dropped, n-1 becomes n, the
// live log becomes 0. Answers true when it rotated.
bool LogRotateIfNeeded(ILogFileOps& ops, const std::string& path, uint64_t limit = kLogSizeLimit);

// One whole line: rotation, then prefix + text + CR LF in one append.
// A failure to write skips the line silently (false).
bool LogWriteLine(ILogFileOps& ops, const std::string& path, const std::string& prefix,
                  const std::string& text, uint64_t limit = kLogSizeLimit);

// stdio-based operations (native builds and tests).
class CStdioLogFileOps : public ILogFileOps {
public:
    int64_t Size(const std::string& path) override;
    bool Remove(const std::string& path) override;
    bool Rename(const std::string& from, const std::string& to) override;
    bool Append(const std::string& path, const std::string& data) override;
};

} // namespace vlm
