// QuillMAPI.dll: the Simple MAPI entry points of Quill Mail.
#include <windows.h>
#include <mapi.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "quillmail.h"
#include "resource.h"

namespace quill {
namespace {
HINSTANCE g_Instance;

std::string Base64(const std::string& data) {
    static const char a[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t line = 0;
    for (size_t i = 0; i < data.size(); i += 3) {
        const size_t n = data.size() - i < 3 ? data.size() - i : 3;
        const unsigned v = unsigned(uint8_t(data[i])) << 16 |
                           (n > 1 ? unsigned(uint8_t(data[i + 1])) << 8 : 0) |
                           (n > 2 ? uint8_t(data[i + 2]) : 0);
        out += a[v >> 18];
        out += a[(v >> 12) & 63];
        out += n > 1 ? a[(v >> 6) & 63] : '=';
        out += n > 2 ? a[v & 63] : '=';
        if ((line += 4) == 76) {
            out += "\r\n";
            line = 0;
        }
    }
    return line ? out + "\r\n" : out;
}

bool ReadWhole(const char* path, std::string& out) {
    HANDLE h = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    out.clear();
    char buf[65536];
    DWORD got;
    while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got)
        out.append(buf, got);
    ::CloseHandle(h);
    return true;
}

struct Compose {
    lpMapiMessage message;
    std::string to, subject;
};

INT_PTR CALLBACK ComposeProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    auto* c = reinterpret_cast<Compose*>(::GetWindowLongPtrA(dlg, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG: {
        ::SetWindowLongPtrA(dlg, DWLP_USER, lp);
        c = reinterpret_cast<Compose*>(lp);
        ::SetWindowTextA(dlg, kComposeCaption);
        for (ULONG i = 0; i < c->message->nFileCount; ++i) {
            const MapiFileDesc& f = c->message->lpFiles[i];
            ::SendDlgItemMessageA(dlg, IDC_QUILL_FILES, LB_ADDSTRING, 0,
                                  LPARAM(f.lpszFileName ? f.lpszFileName : f.lpszPathName));
        }
        ::SetDlgItemTextA(dlg, IDC_QUILL_TO, c->to.c_str());
        ::SetDlgItemTextA(dlg, IDC_QUILL_SUBJECT, c->subject.c_str());
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
            char text[1024];
            ::GetDlgItemTextA(dlg, IDC_QUILL_TO, text, sizeof text);
            c->to = text;
            ::GetDlgItemTextA(dlg, IDC_QUILL_SUBJECT, text, sizeof text);
            c->subject = text;
            ::EndDialog(dlg, LOWORD(wp));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

// The message as an .eml file in the outbox.
ULONG WriteMessage(const Compose& c) {
    std::string body = "From: " + std::string(kClientName) + " <user@localhost>\r\nTo: " + c.to +
                       "\r\nSubject: " + c.subject +
                       "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; "
                       "boundary=\"=_quill_boundary\"\r\n\r\n--=_quill_boundary\r\n"
                       "Content-Type: text/plain; charset=\"us-ascii\"\r\n\r\n";
    if (c.message->lpszNoteText)
        body += c.message->lpszNoteText;
    body += "\r\n";
    for (ULONG i = 0; i < c.message->nFileCount; ++i) {
        const MapiFileDesc& f = c.message->lpFiles[i];
        std::string data;
        if (!f.lpszPathName || !ReadWhole(f.lpszPathName, data))
            return MAPI_E_ATTACHMENT_NOT_FOUND;
        std::string name = f.lpszFileName ? f.lpszFileName : f.lpszPathName;
        name = name.substr(name.find_last_of("\\/") + 1);
        body +=
            "--=_quill_boundary\r\nContent-Type: application/octet-stream\r\n"
            "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"" +
            name + "\"\r\n\r\n" + Base64(data);
    }
    body += "--=_quill_boundary--\r\n";
    const std::string folder = OutboxFolder();
    ::SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    char name[64];
    static LONG counter;
    std::snprintf(name, sizeof name, "\\msg-%lu-%lu-%ld.eml", ::GetCurrentProcessId(),
                  ::GetTickCount(), ::InterlockedIncrement(&counter));
    // Written under a temporary name and renamed, so a reader never sees half a message.
    const std::string path = folder + name, temp = path + ".part";
    HANDLE h = ::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return MAPI_E_FAILURE;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, body.data(), DWORD(body.size()), &written, nullptr);
    ::CloseHandle(h);
    if (!ok || written != body.size() || !::MoveFileA(temp.c_str(), path.c_str()))
        return MAPI_E_FAILURE;
    return SUCCESS_SUCCESS;
}
} // namespace

} // namespace quill

extern "C" {

__declspec(dllexport) ULONG WINAPI
    MAPILogon(ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG, LPLHANDLE session) {
    if (session)
        *session = 1;
    return SUCCESS_SUCCESS;
}

__declspec(dllexport) ULONG WINAPI MAPILogoff(LHANDLE, ULONG_PTR, FLAGS, ULONG) {
    return SUCCESS_SUCCESS;
}

__declspec(dllexport) ULONG WINAPI
    MAPISendMail(LHANDLE, ULONG_PTR uiParam, lpMapiMessage message, FLAGS flags, ULONG) {
    if (!message)
        return MAPI_E_FAILURE;
    quill::Compose c{message, "", message->lpszSubject ? message->lpszSubject : ""};
    for (ULONG i = 0; i < message->nRecipCount; ++i)
        if (message->lpRecips[i].lpszAddress)
            c.to += (c.to.empty() ? "" : ", ") + std::string(message->lpRecips[i].lpszAddress);
    if (flags & MAPI_DIALOG) {
        const INT_PTR r =
            ::DialogBoxParamA(quill::g_Instance, MAKEINTRESOURCEA(IDD_QUILL_COMPOSE),
                              reinterpret_cast<HWND>(uiParam), quill::ComposeProc, LPARAM(&c));
        if (r != IDOK)
            return MAPI_USER_ABORT;
    }
    return quill::WriteMessage(c);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH)
        quill::g_Instance = instance;
    return TRUE;
}
}
