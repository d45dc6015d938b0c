// The localisation library: catalogues loaded into memory, looked up by the
// English text for the chosen locale. Calls may come from several threads.
#define VLMLOC_BUILD
#include "components/localize/vlmloc.h"
#include "components/localize/Catalogue.h"
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {
std::mutex g_lock;
vlm::CCatalogue g_catalogue;
LANGID g_langId = 0x0409;

std::string WideToUtf8(const wchar_t* w, int cch = -1) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w, cch, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, cch, &s[0], n, nullptr, nullptr);
    if (cch < 0)
        s.resize(static_cast<size_t>(n - 1));
    return s;
}

std::wstring MultiToWide(UINT cp, const char* s, int cb = -1) {
    int n = MultiByteToWideChar(cp, 0, s, cb, nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(cp, 0, s, cb, &w[0], n);
    if (cb < 0)
        w.resize(static_cast<size_t>(n - 1));
    return w;
}

// Copies w with its terminator when it fits; always answers the bytes needed.
int PutWide(const std::wstring& w, wchar_t* out, int cbOut) {
    size_t cb = (w.size() + 1) * sizeof(wchar_t);
    if (cb > 0x7FFFFFFF)
        return 0;
    if (out && cbOut >= static_cast<int>(cb))
        memcpy(out, w.c_str(), cb);
    return static_cast<int>(cb);
}

std::wstring Lookup(const std::wstring& key) {
    std::string utf8 = WideToUtf8(key.c_str());
    std::lock_guard<std::mutex> lock(g_lock);
    const std::string* text = g_catalogue.Find(g_langId, utf8);
    return text ? MultiToWide(CP_UTF8, text->c_str()) : key;
}

BOOL AddFile(HANDLE h) {
    if (h == INVALID_HANDLE_VALUE)
        return FALSE;
    LARGE_INTEGER size;
    BOOL ok = GetFileSizeEx(h, &size) && size.QuadPart < (64 << 20);
    std::string text;
    if (ok) {
        text.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        ok = text.empty() ||
             (ReadFile(h, &text[0], static_cast<DWORD>(text.size()), &read, nullptr) &&
              read == text.size());
    }
    CloseHandle(h);
    if (!ok)
        return FALSE;
    std::lock_guard<std::mutex> lock(g_lock);
    g_catalogue.AddText(text);
    return TRUE;
}

BOOL CALLBACK LocalizeChild(HWND hWnd, LPARAM lParam) {
    int n = GetWindowTextLengthW(hWnd);
    if (n <= 0)
        return TRUE;
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    n = GetWindowTextW(hWnd, &text[0], n + 1);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    std::wstring local = Lookup(text);
    if (local != text && SetWindowTextW(hWnd, local.c_str()))
        ++*reinterpret_cast<int*>(lParam);
    return TRUE;
}
} // namespace

extern "C" {

BOOL VlmLocalizeSetLocale(LANGID langId) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_langId = langId;
    return TRUE;
}

LANGID VlmLocalizeGetLocale(void) {
    std::lock_guard<std::mutex> lock(g_lock);
    return g_langId;
}

BOOL VlmLocalizeAddFileA(const char* path) {
    if (!path)
        return FALSE;
    return AddFile(
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
}

BOOL VlmLocalizeAddFileW(const wchar_t* path) {
    if (!path)
        return FALSE;
    return AddFile(
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
}

void VlmLocalizeClearFiles(void) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_catalogue.Clear();
}

int VlmLocalizeLookupAW(const char* key, wchar_t* out, int cbOut) {
    if (!key)
        return 0;
    return PutWide(Lookup(MultiToWide(CP_ACP, key)), out, cbOut);
}

int VlmLocalizeLookupWW(const wchar_t* key, wchar_t* out, int cbOut) {
    if (!key)
        return 0;
    return PutWide(Lookup(key), out, cbOut);
}

int VlmLocalizeA2W(const char* in, wchar_t* out, int cbOut) {
    if (!in)
        return 0;
    return PutWide(MultiToWide(CP_ACP, in), out, cbOut);
}

int VlmLocalizeW2A(const wchar_t* in, char* out, int cbOut) {
    if (!in)
        return 0;
    int n = WideCharToMultiByte(CP_ACP, 0, in, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return 0;
    if (out && cbOut >= n)
        WideCharToMultiByte(CP_ACP, 0, in, -1, out, cbOut, nullptr, nullptr);
    return n;
}

int VlmLocalizeDialog(HWND hDlg) {
    if (!IsWindow(hDlg))
        return 0;
    int changed = 0;
    LocalizeChild(hDlg, reinterpret_cast<LPARAM>(&changed));
    EnumChildWindows(hDlg, LocalizeChild, reinterpret_cast<LPARAM>(&changed));
    return changed;
}

} // extern "C"
