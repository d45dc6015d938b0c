// Small single-owner wrappers for Win32 handles. Each closes its handle once,
// on destruction or Close(); copies are forbidden, moves transfer ownership.
#pragma once
#include <windows.h>
#include <string>
#include <utility>

#include "contracts/GlobalLock.h" // CGlobalLock: shared with the outside components

namespace vlm {

// Traits: static void Free(T); static T Invalid(); static bool IsValid(T)
template <class T, class Traits> class CUniqueHandle {
public:
    CUniqueHandle() : m_h(Traits::Invalid()) {}
    explicit CUniqueHandle(T h) : m_h(h) {}
    ~CUniqueHandle() { Close(); }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    CUniqueHandle(CUniqueHandle&& o) noexcept : m_h(o.Detach()) {}
    CUniqueHandle& operator=(CUniqueHandle&& o) noexcept {
        if (this != &o)
            Attach(o.Detach());
        return *this;
    }
    T Get() const { return m_h; }
    operator T() const { return m_h; }
    bool IsValid() const { return Traits::IsValid(m_h); }
    explicit operator bool() const { return IsValid(); }
    void Attach(T h) {
        Close();
        m_h = h;
    }
    T Detach() {
        T h = m_h;
        m_h = Traits::Invalid();
        return h;
    }
    void Close() {
        if (Traits::IsValid(m_h))
            Traits::Free(m_h);
        m_h = Traits::Invalid();
    }
    // For APIs that return the handle through an out pointer.
    T* Receive() {
        Close();
        return &m_h;
    }

protected:
    T m_h;
};

struct CHandleTraits {
    // Win32 uses both NULL and INVALID_HANDLE_VALUE as "no handle".
    static void Free(HANDLE h) { ::CloseHandle(h); }
    static HANDLE Invalid() { return nullptr; }
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
};
struct CFindTraits {
    static void Free(HANDLE h) { ::FindClose(h); }
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
};
struct CModuleTraits {
    static void Free(HMODULE h) { ::FreeLibrary(h); }
    static HMODULE Invalid() { return nullptr; }
    static bool IsValid(HMODULE h) { return h != nullptr; }
};
struct CGlobalTraits {
    static void Free(HGLOBAL h) { ::GlobalFree(h); }
    static HGLOBAL Invalid() { return nullptr; }
    static bool IsValid(HGLOBAL h) { return h != nullptr; }
};
struct CGdiTraits {
    static void Free(HGDIOBJ h) { ::DeleteObject(h); }
    static HGDIOBJ Invalid() { return nullptr; }
    static bool IsValid(HGDIOBJ h) { return h != nullptr; }
};

struct CWindowTraits {
    static void Free(HWND h) { ::DestroyWindow(h); }
    static HWND Invalid() { return nullptr; }
    static bool IsValid(HWND h) { return h != nullptr; }
};
#ifdef _WINSOCK2API_
// Only where winsock2.h came first: it must be included before windows.h.
struct CSocketTraits {
    static void Free(SOCKET s) { ::closesocket(s); }
    static SOCKET Invalid() { return INVALID_SOCKET; }
    static bool IsValid(SOCKET s) { return s != INVALID_SOCKET; }
};
using CSocket = CUniqueHandle<SOCKET, CSocketTraits>;
#endif
#ifdef __BCRYPT_H__
// Only where bcrypt.h came first: CNG algorithm providers, keys and hashes.
struct CBCryptAlgorithmTraits {
    static void Free(BCRYPT_ALG_HANDLE h) { ::BCryptCloseAlgorithmProvider(h, 0); }
    static BCRYPT_ALG_HANDLE Invalid() { return nullptr; }
    static bool IsValid(BCRYPT_ALG_HANDLE h) { return h != nullptr; }
};
using CBCryptAlgorithm = CUniqueHandle<BCRYPT_ALG_HANDLE, CBCryptAlgorithmTraits>;
struct CBCryptKeyTraits {
    static void Free(BCRYPT_KEY_HANDLE h) { ::BCryptDestroyKey(h); }
    static BCRYPT_KEY_HANDLE Invalid() { return nullptr; }
    static bool IsValid(BCRYPT_KEY_HANDLE h) { return h != nullptr; }
};
using CBCryptKey = CUniqueHandle<BCRYPT_KEY_HANDLE, CBCryptKeyTraits>;
struct CBCryptHashTraits {
    static void Free(BCRYPT_HASH_HANDLE h) { ::BCryptDestroyHash(h); }
    static BCRYPT_HASH_HANDLE Invalid() { return nullptr; }
    static bool IsValid(BCRYPT_HASH_HANDLE h) { return h != nullptr; }
};
using CBCryptHash = CUniqueHandle<BCRYPT_HASH_HANDLE, CBCryptHashTraits>;
#endif
struct CDcTraits {
    static void Free(HDC h) { ::DeleteDC(h); }
    static HDC Invalid() { return nullptr; }
    static bool IsValid(HDC h) { return h != nullptr; }
};
// Printer handles of the spooler (OpenPrinter, AddPrinter). Closed in
// PrinterHandle.cpp, so that only its users see the spooler's header (whose
// A/W macros rename names such as GetJob) and import the spooler.
struct CPrinterTraits {
    static void Free(HANDLE h);
    static HANDLE Invalid() { return nullptr; }
    static bool IsValid(HANDLE h) { return h != nullptr; }
};

// Memory of the COM task allocator (item id lists and strings the shell
// hands out).
template <class T> struct CCoTaskMemTraits {
    static void Free(T* p) { ::CoTaskMemFree(p); }
    static T* Invalid() { return nullptr; }
    static bool IsValid(T* p) { return p != nullptr; }
};
template <class T> using CCoTaskMem = CUniqueHandle<T*, CCoTaskMemTraits<T>>;

using CHandle = CUniqueHandle<HANDLE, CHandleTraits>;
using CWindowHandle = CUniqueHandle<HWND, CWindowTraits>;
using CFindHandle = CUniqueHandle<HANDLE, CFindTraits>;
using CGdiObject = CUniqueHandle<HGDIOBJ, CGdiTraits>;
// A device context made with CreateDC (not one from GetDC).
using CDc = CUniqueHandle<HDC, CDcTraits>;
using CPrinterHandle = CUniqueHandle<HANDLE, CPrinterTraits>;

struct CHookTraits {
    static void Free(HHOOK h) { ::UnhookWindowsHookEx(h); }
    static HHOOK Invalid() { return nullptr; }
    static bool IsValid(HHOOK h) { return h != nullptr; }
};
using CHook = CUniqueHandle<HHOOK, CHookTraits>;

// An activation context from CreateActCtx.
struct CActCtxTraits {
    static void Free(HANDLE h) { ::ReleaseActCtx(h); }
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE; }
};
using CActCtx = CUniqueHandle<HANDLE, CActCtxTraits>;

// A window's device context from GetDC, given back with ReleaseDC.
class CWindowDc {
public:
    explicit CWindowDc(HWND hWnd) : m_hWnd(hWnd), m_hDc(::GetDC(hWnd)) {}
    ~CWindowDc() {
        if (m_hDc)
            ::ReleaseDC(m_hWnd, m_hDc);
    }
    CWindowDc(const CWindowDc&) = delete;
    CWindowDc& operator=(const CWindowDc&) = delete;
    HDC Get() const { return m_hDc; }
    operator HDC() const { return m_hDc; }
    explicit operator bool() const { return m_hDc != nullptr; }

private:
    HWND m_hWnd;
    HDC m_hDc;
};

class CModule : public CUniqueHandle<HMODULE, CModuleTraits> {
public:
    using CUniqueHandle::CUniqueHandle;
    BOOL Load(const char* path, DWORD flags = 0) {
        Attach(::LoadLibraryExA(path, nullptr, flags));
        return IsValid();
    }
    FARPROC GetProc(const char* name) const {
        return IsValid() ? ::GetProcAddress(m_h, name) : nullptr;
    }
};

class CGlobalMem : public CUniqueHandle<HGLOBAL, CGlobalTraits> {
public:
    using CUniqueHandle::CUniqueHandle;
    BOOL Alloc(SIZE_T cb, UINT flags = GMEM_MOVEABLE | GMEM_ZEROINIT) {
        Attach(::GlobalAlloc(flags, cb));
        return IsValid();
    }
    SIZE_T Size() const { return IsValid() ? ::GlobalSize(m_h) : 0; }
};

// A mutex handle and, while a wait on it succeeded, its ownership: released
// before the handle is closed. Only the thread that waited may release it.
class CHeldMutex {
public:
    CHeldMutex() = default;
    ~CHeldMutex() { Close(); }
    CHeldMutex(const CHeldMutex&) = delete;
    CHeldMutex& operator=(const CHeldMutex&) = delete;

    // Creates or opens the named mutex, not owned.
    BOOL Create(const char* name) {
        Close();
        m_h.Attach(::CreateMutexA(nullptr, FALSE, name));
        return m_h.IsValid();
    }
    // Opens an existing named mutex for waiting only.
    BOOL Open(const char* name) {
        Close();
        m_h.Attach(::OpenMutexA(SYNCHRONIZE, FALSE, name));
        return m_h.IsValid();
    }
    // The wait's result; WAIT_OBJECT_0 and WAIT_ABANDONED make it held.
    DWORD Wait(DWORD ms) {
        if (!m_h)
            return WAIT_FAILED;
        if (m_bHeld)
            return WAIT_OBJECT_0;
        const DWORD w = ::WaitForSingleObject(m_h, ms);
        m_bHeld = w == WAIT_OBJECT_0 || w == WAIT_ABANDONED;
        return w;
    }
    void Release() {
        if (m_bHeld)
            ::ReleaseMutex(m_h);
        m_bHeld = false;
    }
    void Close() {
        Release();
        m_h.Close();
    }
    bool IsHeld() const { return m_bHeld; }
    HANDLE Get() const { return m_h.Get(); }
    explicit operator bool() const { return m_h.IsValid(); }

private:
    CHandle m_h;
    bool m_bHeld = false;
};

class CRegKey {
public:
    CRegKey() = default;
    ~CRegKey() { Close(); }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;
    CRegKey(CRegKey&& o) noexcept : m_hKey(o.m_hKey) { o.m_hKey = nullptr; }

    LONG Open(HKEY parent, const char* subKey, REGSAM sam = KEY_READ) {
        Close();
        return ::RegOpenKeyExA(parent, subKey, 0, sam, &m_hKey);
    }
    LONG Create(HKEY parent, const char* subKey, REGSAM sam = KEY_READ | KEY_WRITE) {
        Close();
        return ::RegCreateKeyExA(parent, subKey, 0, nullptr, 0, sam, nullptr, &m_hKey, nullptr);
    }
    void Close() {
        if (m_hKey)
            ::RegCloseKey(m_hKey);
        m_hKey = nullptr;
    }
    HKEY Get() const { return m_hKey; }
    operator HKEY() const { return m_hKey; }
    bool IsValid() const { return m_hKey != nullptr; }

    LONG QueryDWORD(const char* name, DWORD& value) const;
    // REG_SZ / REG_EXPAND_SZ (unexpanded); name nullptr or "" is the default value.
    LONG QueryString(const char* name, std::string& value) const;
    LONG SetDWORD(const char* name, DWORD value);
    LONG SetString(const char* name, const char* value);
    LONG DeleteValue(const char* name) { return ::RegDeleteValueA(m_hKey, name); }

private:
    HKEY m_hKey = nullptr;
};

class CCriticalSection {
public:
    CCriticalSection() { ::InitializeCriticalSection(&m_cs); }
    ~CCriticalSection() { ::DeleteCriticalSection(&m_cs); }
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;
    void Lock() { ::EnterCriticalSection(&m_cs); }
    void Unlock() { ::LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION m_cs;
};

class CCsLock {
public:
    explicit CCsLock(CCriticalSection& cs) : m_cs(cs) { m_cs.Lock(); }
    ~CCsLock() { m_cs.Unlock(); }
    CCsLock(const CCsLock&) = delete;
    CCsLock& operator=(const CCsLock&) = delete;

private:
    CCriticalSection& m_cs;
};

} // namespace vlm

using vlm::CActCtx;
using vlm::CCoTaskMem;
using vlm::CCriticalSection;
using vlm::CCsLock;
using vlm::CDc;
using vlm::CFindHandle;
using vlm::CGdiObject;
using vlm::CGlobalLock;
using vlm::CGlobalMem;
using vlm::CHandle;
using vlm::CHeldMutex;
using vlm::CHook;
using vlm::CModule;
using vlm::CPrinterHandle;
using vlm::CRegKey;
using vlm::CWindowDc;
