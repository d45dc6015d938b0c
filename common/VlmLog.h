// The run log: one process-wide logger, a no-op until opened. Lines go to the
// user's temporary folder + name, with a time/thread prefix; the file is
// rotated into ten numbered copies above 512 KiB. Logging never fails loudly.
// Several processes may share one log (a runner and the one that displaces
// it): each line is written under a named lock of the path, since an append
// from two processes at once can land both lines at the same offset.
#pragma once
#include <windows.h>
#include <string>
#include "framework/Handles.h"

class CVlmLog {
public:
    static CVlmLog& Instance();

    // The path is the temporary folder followed by fileName. A failure to get
    // the temporary folder leaves the logger disabled.
    void Open(const char* fileName);
    void Write(const char* fmt, ...);
    void WriteV(const char* fmt, va_list args);
    void Close();
    bool IsOpen() const;
    std::string GetPath() const;

    // The tag shown for the calling thread; threads without one show the default.
    static void SetThreadTag(const char* tag);
    static const char* const kDefaultTag;

    // For tests: open an exact path, and change the rotation size.
    void OpenPath(const char* path);
    void SetSizeLimit(unsigned long long limit);

    CVlmLog();
    ~CVlmLog();
    CVlmLog(const CVlmLog&) = delete;
    CVlmLog& operator=(const CVlmLog&) = delete;

private:
    mutable CCriticalSection m_lock;
    bool m_bEnabled = false;
    std::string m_strPath; // at most MAX_PATH characters
    vlm::CHeldMutex m_fileLock;

    void SetPathLocked(std::string path);
    unsigned long long m_nSizeLimit;
};

// One step of a run in the run log: "<name> start" when made, "<name> end"
// when its scope is left normally. A step left by an exception, or abandoned
// on a path that ends the run early, writes no end line: the log then shows
// where the run stopped.
class CVlmLogStep {
public:
    explicit CVlmLogStep(const char* name);
    ~CVlmLogStep();
    CVlmLogStep(const CVlmLogStep&) = delete;
    CVlmLogStep& operator=(const CVlmLogStep&) = delete;

    void Abandon() { m_bAbandoned = true; }

private:
    const char* m_pName;
    int m_nUncaught;
    bool m_bAbandoned = false;
};

// The program's default log name: its file name without extension + ".log",
// "JobExe.log" when the name cannot be obtained.
std::string VlmDefaultLogName();
