#include "ScanLog.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {
std::atomic<bool> g_bEnabled{false};
std::mutex g_folderLock; // guards g_strFolder and the file (lines of several threads)
std::string g_strFolder;

std::string DefaultFolder() {
#ifdef _WIN32
    char buf[MAX_PATH + 1] = {};
    DWORD n = GetTempPathA(sizeof buf, buf);
    if (n == 0 || n >= sizeof buf)
        return std::string();
    return buf;
#else
    const char* t = getenv("TMPDIR");
    std::string s = t && *t ? t : "/tmp";
    if (s.back() != '/')
        s += '/';
    return s;
#endif
}

unsigned long ThreadTag() {
#ifdef _WIN32
    return GetCurrentThreadId();
#else
    return static_cast<unsigned long>(syscall(SYS_gettid));
#endif
}

std::string FolderLocked() {
    if (g_strFolder.empty())
        g_strFolder = DefaultFolder();
    return g_strFolder;
}

std::string PathLocked(int n) {
    std::string p = FolderLocked();
    if (n < 0)
        return p + "HarvScan.log";
    return p + "HarvScan" + std::to_string(n) + ".log";
}

void RotateLocked() {
    std::error_code ec;
    const std::string live = PathLocked(-1);
    auto size = fs::file_size(live, ec);
    if (ec || size <= CScanTraceLog::kRotateSize)
        return;
    // Oldest first so that each copy overwrites a generation already moved up.
    for (int n = CScanTraceLog::kGenerations - 1; n >= 1; --n) {
        std::string from = PathLocked(n - 1);
        if (fs::exists(from, ec))
            fs::copy_file(from, PathLocked(n), fs::copy_options::overwrite_existing, ec);
    }
    fs::copy_file(live, PathLocked(0), fs::copy_options::overwrite_existing, ec);
    fs::remove(live, ec);
}
} // namespace

void CScanTraceLog::SetEnabled(bool bOn) {
    g_bEnabled = bOn;
}
bool CScanTraceLog::IsEnabled() {
    return g_bEnabled;
}

void CScanTraceLog::SetFolder(const std::string& strFolder) {
    std::lock_guard<std::mutex> lock(g_folderLock);
    g_strFolder = strFolder;
    if (!g_strFolder.empty() && g_strFolder.back() != '/' && g_strFolder.back() != '\\')
#ifdef _WIN32
        g_strFolder += '\\';
#else
        g_strFolder += '/';
#endif
}

std::string CScanTraceLog::Folder() {
    std::lock_guard<std::mutex> lock(g_folderLock);
    return FolderLocked();
}

std::string CScanTraceLog::PathOf(int n) {
    std::lock_guard<std::mutex> lock(g_folderLock);
    return PathLocked(n);
}

std::string CScanTraceLog::Prefix() {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t t = system_clock::to_time_t(now);
    int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm tmv{};
#ifdef _WIN32
    localtime_s(&tmv, &t);
#else
    localtime_r(&t, &tmv);
#endif
    char buf[64];
    snprintf(buf, sizeof buf, "%04d/%02d/%02d-%02d:%02d:%02d.%03d-%08lX  ", tmv.tm_year + 1900,
             tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_hour, tmv.tm_min, tmv.tm_sec, ms,
             ThreadTag() & 0xFFFFFFFFul);
    return buf;
}

void CScanTraceLog::Write(const char* text) {
    if (!g_bEnabled)
        return;
    std::string line = text ? Prefix() + text : std::string();
    line += "\r\n";
    std::lock_guard<std::mutex> lock(g_folderLock);
    const std::string path = PathLocked(-1);
    if (FILE* f = fopen(path.c_str(), "ab")) {
        fwrite(line.data(), 1, line.size(), f);
        fclose(f);
    }
    RotateLocked();
}

void CScanTraceLog::WriteF(const char* fmt, long long value) {
    if (!g_bEnabled)
        return;
    char buf[1024];
    // The formats carry one %d-style conversion; an int is what they expect.
    snprintf(buf, sizeof buf, fmt, static_cast<int>(value));
    Write(buf);
}

void CScanTraceLog::Printf(const char* fmt, ...) {
    if (!g_bEnabled)
        return;
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    Write(buf);
}

void CScanTraceLog::RotateIfLarge() {
    std::lock_guard<std::mutex> lock(g_folderLock);
    RotateLocked();
}
