// The scan trace log "HarvScan.log": off unless switched on, opened and closed
// for every line so that a crash loses nothing, rotated past 512 KiB into
// HarvScan0.log .. HarvScan4.log (the oldest generation is dropped).
#pragma once
#include <cstdint>
#include <string>

class CScanTraceLog {
public:
    static constexpr uint64_t kRotateSize = 0x80000;
    static constexpr int kGenerations = 5;

    static void SetEnabled(bool bOn);
    static bool IsEnabled();
    // Folder with a trailing separator; default: the temporary folder.
    static void SetFolder(const std::string& strFolder);
    static std::string Folder();
    // "HarvScan.log" for n < 0, else "HarvScan<n>.log", inside the folder.
    static std::string PathOf(int n);

    // One line: prefix, text, CR LF (a null text writes only CR LF).
    static void Write(const char* text);
    // Format with one integer argument.
    static void WriteF(const char* fmt, long long value);
    // printf-style, truncated to 1024 bytes.
    static void Printf(const char* fmt, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 1, 2)))
#endif
        ;
    // Rotates the generations when the live file passed the limit.
    static void RotateIfLarge();
    // The line prefix "yyyy/mm/dd-hh:mm:ss.mmm-TTTTTTTT  ".
    static std::string Prefix();
};
