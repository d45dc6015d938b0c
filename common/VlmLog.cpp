#include "common/VlmLog.h"
#include "common/portable/LogCore.h"
#include "framework/App.h"
#include <cstdarg>
#include <exception>

const char* const CVlmLog::kDefaultTag = "Taskdeck";

namespace {
constexpr DWORD kFileLockWaitMs = 5000;
thread_local char t_szTag[9] = {};

class CWin32LogFileOps : public vlm::ILogFileOps {
public:
    int64_t Size(const std::string& path) override {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
            return -1;
        return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                                    data.nFileSizeLow);
    }
    bool Remove(const std::string& path) override { return ::DeleteFileA(path.c_str()) != 0; }
    bool Rename(const std::string& from, const std::string& to) override {
        return ::MoveFileA(from.c_str(), to.c_str()) != 0;
    }
    bool Append(const std::string& path, const std::string& data) override {
        // Shared so that a viewer (or another process's logger) can keep it open.
        CHandle h(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h)
            return false;
        if (::SetFilePointer(h, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
            ::GetLastError() != NO_ERROR)
            return false;
        DWORD written = 0;
        return ::WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
               written == data.size();
    }
};
} // namespace

CVlmLog::CVlmLog() : m_nSizeLimit(vlm::kLogSizeLimit) {}
CVlmLog::~CVlmLog() = default;

CVlmLog& CVlmLog::Instance() {
    static CVlmLog s_log;
    return s_log;
}

void CVlmLog::Open(const char* fileName) {
    char temp[MAX_PATH + 1] = {};
    DWORD n = ::GetTempPathA(sizeof temp, temp);
    CCsLock lock(m_lock);
    if (n == 0 || n > MAX_PATH) {
        m_bEnabled = false;
        return;
    }
    std::string path(temp, n);
    path += fileName ? fileName : "";
    if (path.size() > MAX_PATH) {
        m_bEnabled = false; // an overlong name is refused rather than cut
        return;
    }
    SetPathLocked(std::move(path));
}

void CVlmLog::SetPathLocked(std::string path) {
    m_strPath = std::move(path);
    m_bEnabled = !m_strPath.empty() && m_strPath.size() <= MAX_PATH;
    m_fileLock.Close();
    if (m_bEnabled)
        m_fileLock.Create(vlm::LogLockName(m_strPath).c_str());
}

void CVlmLog::OpenPath(const char* path) {
    CCsLock lock(m_lock);
    SetPathLocked(path ? path : "");
}

void CVlmLog::SetSizeLimit(unsigned long long limit) {
    CCsLock lock(m_lock);
    m_nSizeLimit = limit;
}

void CVlmLog::Close() {
    CCsLock lock(m_lock);
    m_bEnabled = false;
}

bool CVlmLog::IsOpen() const {
    CCsLock lock(m_lock);
    return m_bEnabled;
}

std::string CVlmLog::GetPath() const {
    CCsLock lock(m_lock);
    return m_strPath;
}

void CVlmLog::SetThreadTag(const char* tag) {
    lstrcpynA(t_szTag, tag ? tag : "", sizeof t_szTag);
}

void CVlmLog::Write(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    WriteV(fmt, args);
    va_end(args);
}

void CVlmLog::WriteV(const char* fmt, va_list args) {
    // Cheap exit first: most runs do not log.
    if (!IsOpen())
        return;
    std::string text = vlm::LogFormatV(fmt, args);
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    vlm::LogTime t{st.wYear,   st.wMonth,  st.wDay,         st.wHour,
                   st.wMinute, st.wSecond, st.wMilliseconds};
    std::string prefix =
        vlm::LogLinePrefix(t, t_szTag[0] ? t_szTag : kDefaultTag, ::GetCurrentThreadId());
    CCsLock lock(m_lock);
    if (!m_bEnabled)
        return;
    // A writer that died holding the lock abandons it (the wait still
    // succeeds); one that hangs costs a bounded wait, then the line is
    // written without it.
    m_fileLock.Wait(kFileLockWaitMs);
    CWin32LogFileOps ops;
    vlm::LogWriteLine(ops, m_strPath, prefix, text, m_nSizeLimit);
    m_fileLock.Release();
}

CVlmLogStep::CVlmLogStep(const char* name)
    : m_pName(name ? name : ""), m_nUncaught(std::uncaught_exceptions()) {
    CVlmLog::Instance().Write("%s start", m_pName);
}

CVlmLogStep::~CVlmLogStep() {
    if (!m_bAbandoned && std::uncaught_exceptions() == m_nUncaught)
        CVlmLog::Instance().Write("%s end", m_pName);
}

std::string VlmDefaultLogName() {
    const std::string name = VlmProgramName();
    return name.empty() ? "JobExe.log" : name + ".log";
}
