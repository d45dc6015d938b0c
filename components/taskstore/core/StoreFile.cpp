#include "StoreFile.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace taskstore {

namespace {

constexpr size_t kMaxFileBytes = 256u << 20;

std::string Quote(const std::string& path) {
    return "\"" + path + "\"";
}

bool IoFail(CStoreError& err, const std::string& what, const std::string& path, int sys) {
    err.m_code = CStoreError::kIo;
    err.m_nSysError = sys;
    err.m_strText = what + " " + Quote(path) + " (system error " + std::to_string(sys) + ")";
    return false;
}

#ifdef _WIN32
std::wstring Wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring w(n > 0 ? n : 1, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &w[0], n);
    w.resize(wcslen(w.c_str()));
    return w;
}

class CWinFile {
public:
    explicit CWinFile(HANDLE h) : m_h(h) {}
    ~CWinFile() {
        if (m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
    }
    CWinFile(const CWinFile&) = delete;
    CWinFile& operator=(const CWinFile&) = delete;
    HANDLE Get() const { return m_h; }
    bool Valid() const { return m_h != INVALID_HANDLE_VALUE; }
    void Close() {
        if (m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
        m_h = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_h;
};
#else
class CFd {
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd() { Close(); }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Close() {
        int rc = 0;
        if (m_fd >= 0)
            rc = close(m_fd);
        m_fd = -1;
        return rc;
    }

private:
    int m_fd;
};
#endif

void EnsureParentFolder(const std::string& path) {
    for (size_t i = 1; i < path.size(); ++i) {
        if (path[i] != '\\' && path[i] != '/')
            continue;
        std::string dir = path.substr(0, i);
        if (dir.size() == 2 && dir[1] == ':')
            continue; // drive root
#ifdef _WIN32
        CreateDirectoryW(Wide(dir).c_str(), nullptr);
#else
        mkdir(dir.c_str(), 0700);
#endif
    }
}

// Exclusive lock on "<file>.lock"; released by the system if the process dies.
class CStoreLock {
public:
    bool Acquire(const std::string& storePath, unsigned timeoutMs, CStoreError& err) {
        std::string lockPath = storePath + ".lock";
        EnsureParentFolder(lockPath);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
#ifdef _WIN32
        m_h = CreateFileW(Wide(lockPath).c_str(), GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_h == INVALID_HANDLE_VALUE)
            return IoFail(err, "cannot open the lock file", lockPath, int(GetLastError()));
        for (;;) {
            OVERLAPPED ov = {};
            if (LockFileEx(m_h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                           &ov)) {
                m_bLocked = true;
                return true;
            }
            DWORD e = GetLastError();
            if (e != ERROR_LOCK_VIOLATION && e != ERROR_IO_PENDING)
                return IoFail(err, "cannot lock", lockPath, int(e));
            if (std::chrono::steady_clock::now() >= deadline)
                break;
            Sleep(5);
        }
#else
        m_fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0)
            return IoFail(err, "cannot open the lock file", lockPath, errno);
        for (;;) {
            if (flock(m_fd, LOCK_EX | LOCK_NB) == 0)
                return true;
            if (errno != EWOULDBLOCK && errno != EINTR)
                return IoFail(err, "cannot lock", lockPath, errno);
            if (std::chrono::steady_clock::now() >= deadline)
                break;
            usleep(5000);
        }
#endif
        err.m_code = CStoreError::kBusy;
        err.m_strText = "the job store file " + Quote(storePath) + " is locked by another program";
        return false;
    }

    ~CStoreLock() {
#ifdef _WIN32
        if (m_h != INVALID_HANDLE_VALUE) {
            if (m_bLocked) {
                OVERLAPPED ov = {};
                UnlockFileEx(m_h, 0, 1, 0, &ov);
            }
            CloseHandle(m_h);
        }
#else
        if (m_fd >= 0)
            close(m_fd); // releases the flock
#endif
    }

private:
#ifdef _WIN32
    HANDLE m_h = INVALID_HANDLE_VALUE;
    bool m_bLocked = false;
#else
    int m_fd = -1;
#endif
};

} // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes, bool& bMissing, CStoreError& err) {
    bytes.clear();
    bMissing = false;
#ifdef _WIN32
    CWinFile f(CreateFileW(Wide(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.Valid()) {
        DWORD e = GetLastError();
        if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) {
            bMissing = true;
            return true;
        }
        return IoFail(err, "cannot open", path, int(e));
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(f.Get(), &size))
        return IoFail(err, "cannot read", path, int(GetLastError()));
    if (uint64_t(size.QuadPart) > kMaxFileBytes)
        return IoFail(err, "the file is too large:", path, ERROR_FILE_TOO_LARGE);
    bytes.resize(size_t(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(f.Get(), &bytes[done], DWORD(bytes.size() - done), &got, nullptr))
            return IoFail(err, "cannot read", path, int(GetLastError()));
        if (got == 0)
            break;
        done += got;
    }
    bytes.resize(done);
#else
    CFd f(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!f.Valid()) {
        if (errno == ENOENT || errno == ENOTDIR) {
            bMissing = true;
            return true;
        }
        return IoFail(err, "cannot open", path, errno);
    }
    char buf[65536];
    for (;;) {
        ssize_t n = read(f.Get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return IoFail(err, "cannot read", path, errno);
        }
        if (n == 0)
            break;
        bytes.append(buf, size_t(n));
        if (bytes.size() > kMaxFileBytes)
            return IoFail(err, "the file is too large:", path, EFBIG);
    }
#endif
    return true;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& bytes, CStoreError& err) {
    EnsureParentFolder(path);
#ifdef _WIN32
    std::string tmp = path + ".tmp" + std::to_string(GetCurrentProcessId());
    std::wstring wtmp = Wide(tmp);
    CWinFile f(CreateFileW(wtmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.Valid())
        return IoFail(err, "cannot create", tmp, int(GetLastError()));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD put = 0;
        DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 20));
        if (!WriteFile(f.Get(), bytes.data() + done, chunk, &put, nullptr) || put == 0) {
            DWORD e = GetLastError();
            f.Close();
            DeleteFileW(wtmp.c_str());
            return IoFail(err, "cannot write", tmp, int(e));
        }
        done += put;
    }
    // Flushed before the rename: after it the new name must never point at a
    // half-written file.
    if (!FlushFileBuffers(f.Get())) {
        DWORD e = GetLastError();
        f.Close();
        DeleteFileW(wtmp.c_str());
        return IoFail(err, "cannot flush", tmp, int(e));
    }
    f.Close();
    // A reader outside our lock (an editor, a virus scanner, a backup tool)
    // keeps the old file open for a moment: the replacement waits for it.
    std::wstring wpath = Wide(path);
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(wtmp.c_str(), wpath.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            break;
        DWORD e = GetLastError();
        if ((e == ERROR_ACCESS_DENIED || e == ERROR_SHARING_VIOLATION) && attempt < 500) {
            Sleep(10);
            continue;
        }
        DeleteFileW(wtmp.c_str());
        return IoFail(err, "cannot replace", path, int(e));
    }
#else
    std::string tmp = path + ".tmp" + std::to_string(getpid());
    CFd f(open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!f.Valid())
        return IoFail(err, "cannot create", tmp, errno);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(f.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            int e = errno;
            f.Close();
            unlink(tmp.c_str());
            return IoFail(err, "cannot write", tmp, e);
        }
        done += size_t(n);
    }
    if (fsync(f.Get()) != 0 || f.Close() != 0) {
        int e = errno;
        unlink(tmp.c_str());
        return IoFail(err, "cannot flush", tmp, e);
    }
    if (rename(tmp.c_str(), path.c_str()) != 0) {
        int e = errno;
        unlink(tmp.c_str());
        return IoFail(err, "cannot replace", path, e);
    }
    size_t slash = path.find_last_of('/');
    CFd dir(open(slash == std::string::npos ? "." : path.substr(0, slash + 1).c_str(),
                 O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid())
        fsync(dir.Get()); // make the rename itself durable
#endif
    return true;
}

bool ParseStoreText(const std::string& path, const std::string& bytes, CStoreData& data,
                    CStoreError& err, const IValueProtector* pProtector) {
    CRegError regErr;
    if (ParseRegText(bytes, data, regErr, pProtector))
        return true;
    err.m_code = CStoreError::kParse;
    err.m_strText =
        Quote(path) + ", line " + std::to_string(regErr.m_nLine) + ": " + regErr.m_strText;
    return false;
}

bool CStoreFile::ReadLocked(CStoreData& data, CStoreError& err) const {
    std::string bytes;
    bool bMissing = false;
    if (!ReadWholeFile(m_strPath, bytes, bMissing, err))
        return false;
    if (bMissing) {
        data = CStoreData();
        return true;
    }
    return ParseStoreText(m_strPath, bytes, data, err, m_pProtector);
}

bool CStoreFile::Read(CStoreData& data, CStoreError& err) const {
    CStoreLock lock;
    if (!lock.Acquire(m_strPath, m_nLockTimeoutMs, err))
        return false;
    return ReadLocked(data, err);
}

bool CStoreFile::Update(const std::function<bool(CStoreData&, CStoreError&)>& change,
                        CStoreData& result, CStoreError& err) const {
    CStoreLock lock;
    if (!lock.Acquire(m_strPath, m_nLockTimeoutMs, err))
        return false;
    CStoreData data;
    if (!ReadLocked(data, err))
        return false;
    if (!change(data, err)) {
        if (err.m_code == CStoreError::kNone)
            err.m_code = CStoreError::kRefused;
        return false;
    }
    std::string text;
    CRegError regErr;
    if (!FormatRegText(data, text, regErr, m_pProtector)) {
        err.m_code = CStoreError::kRefused;
        err.m_strText = regErr.m_strText;
        return false;
    }
    if (!ReplaceFileAtomically(m_strPath, text, err))
        return false;
    result = std::move(data);
    return true;
}

} // namespace taskstore
