#include "uirobot_listview.h"
#include <commctrl.h>

namespace {

// A block of memory inside the process that owns a window.
class CRemoteBlock {
public:
    CRemoteBlock(HWND hWnd, size_t cb) : m_cb(cb) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hWnd, &pid);
        m_hProcess =
            OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (m_hProcess)
            m_p = VirtualAllocEx(m_hProcess, nullptr, cb, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~CRemoteBlock() {
        if (m_p)
            VirtualFreeEx(m_hProcess, m_p, 0, MEM_RELEASE);
        if (m_hProcess)
            CloseHandle(m_hProcess);
    }
    CRemoteBlock(const CRemoteBlock&) = delete;
    CRemoteBlock& operator=(const CRemoteBlock&) = delete;

    bool IsValid() const { return m_p != nullptr; }
    char* Address(size_t offset = 0) const { return static_cast<char*>(m_p) + offset; }
    bool Write(const void* data, size_t cb, size_t offset = 0) const {
        SIZE_T done = 0;
        return m_p && offset + cb <= m_cb &&
               WriteProcessMemory(m_hProcess, Address(offset), data, cb, &done) && done == cb;
    }
    bool Read(void* data, size_t cb, size_t offset = 0) const {
        SIZE_T done = 0;
        return m_p && offset + cb <= m_cb &&
               ReadProcessMemory(m_hProcess, Address(offset), data, cb, &done) && done == cb;
    }

private:
    HANDLE m_hProcess = nullptr;
    void* m_p = nullptr;
    size_t m_cb;
};

constexpr size_t kTextMax = 520;

// A rectangle a control writes into memory it is handed (item and header
// rectangles); left holds the message's input code on the way in.
bool RemoteRect(HWND hWnd, UINT msg, WPARAM wParam, LONG code, RECT& rc) {
    CRemoteBlock block(hWnd, sizeof(RECT));
    rc = {code, 0, 0, 0};
    return block.Write(&rc, sizeof(rc)) &&
           SendMessageA(hWnd, msg, wParam, reinterpret_cast<LPARAM>(block.Address())) &&
           block.Read(&rc, sizeof(rc));
}

// Mouse messages at the rectangle's centre, posted: what the control makes
// of them (notifications to the dialog, which may open a modal dialog) runs
// in its own process while the robot goes on. A notification itself cannot
// be sent between processes.
bool PostClick(HWND hWnd, const RECT& rc, UINT down, UINT up) {
    const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    return PostMessageA(hWnd, down, MK_LBUTTON, at) && PostMessageA(hWnd, up, 0, at);
}

} // namespace

int UiListCount(HWND hList) {
    return static_cast<int>(SendMessageA(hList, LVM_GETITEMCOUNT, 0, 0));
}

std::vector<CUiListColumn> UiListColumns(HWND hList) {
    std::vector<CUiListColumn> columns;
    CRemoteBlock block(hList, sizeof(LVCOLUMNA) + kTextMax);
    if (!block.IsValid())
        return columns;
    for (int i = 0;; ++i) {
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = block.Address(sizeof(LVCOLUMNA));
        column.cchTextMax = kTextMax;
        char text[kTextMax] = {};
        if (!block.Write(&column, sizeof(column)) || !block.Write(text, kTextMax, sizeof(column)) ||
            !SendMessageA(hList, LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(block.Address())) ||
            !block.Read(&column, sizeof(column)) || !block.Read(text, kTextMax - 1, sizeof(column)))
            break;
        columns.push_back({text, column.cx});
    }
    return columns;
}

std::string UiListText(HWND hList, int nItem, int nSubItem) {
    CRemoteBlock block(hList, sizeof(LVITEMA) + kTextMax);
    LVITEMA item = {};
    item.iSubItem = nSubItem;
    item.pszText = block.Address(sizeof(LVITEMA));
    item.cchTextMax = kTextMax;
    char text[kTextMax] = {};
    if (!block.Write(&item, sizeof(item)) || !block.Write(text, kTextMax, sizeof(item)))
        return std::string();
    SendMessageA(hList, LVM_GETITEMTEXTA, nItem, reinterpret_cast<LPARAM>(block.Address()));
    block.Read(text, kTextMax - 1, sizeof(item));
    return text;
}

std::vector<std::vector<std::string>> UiListRows(HWND hList) {
    const size_t nColumns = UiListColumns(hList).size();
    std::vector<std::vector<std::string>> rows;
    const int n = UiListCount(hList);
    for (int i = 0; i < n; ++i) {
        std::vector<std::string> row;
        for (size_t c = 0; c < nColumns; ++c)
            row.push_back(UiListText(hList, i, static_cast<int>(c)));
        rows.push_back(row);
    }
    return rows;
}

std::vector<int> UiListSelected(HWND hList) {
    std::vector<int> items;
    for (int i = static_cast<int>(SendMessageA(hList, LVM_GETNEXTITEM, -1, LVNI_SELECTED)); i >= 0;
         i = static_cast<int>(SendMessageA(hList, LVM_GETNEXTITEM, i, LVNI_SELECTED)))
        items.push_back(i);
    return items;
}

bool UiListSelect(HWND hList, const std::vector<int>& items) {
    CRemoteBlock block(hList, sizeof(LVITEMA));
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = 0;
    // -1: every row loses its selection.
    if (!block.Write(&item, sizeof(item)) ||
        !SendMessageA(hList, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                      reinterpret_cast<LPARAM>(block.Address())))
        return false;
    for (size_t i = 0; i < items.size(); ++i) {
        item.state = LVIS_SELECTED | (i == 0 ? LVIS_FOCUSED : 0);
        if (!block.Write(&item, sizeof(item)) ||
            !SendMessageA(hList, LVM_SETITEMSTATE, items[i],
                          reinterpret_cast<LPARAM>(block.Address())))
            return false;
    }
    return true;
}

int UiListRowHeight(HWND hList) {
    RECT rc;
    return RemoteRect(hList, LVM_GETITEMRECT, 0, LVIR_BOUNDS, rc) ? rc.bottom - rc.top : -1;
}

bool UiListClickHeader(HWND hList, int nColumn) {
    HWND hHeader = reinterpret_cast<HWND>(SendMessageA(hList, LVM_GETHEADER, 0, 0));
    RECT rc;
    return hHeader && RemoteRect(hHeader, HDM_GETITEMRECT, nColumn, 0, rc) &&
           PostClick(hHeader, rc, WM_LBUTTONDOWN, WM_LBUTTONUP);
}

bool UiListDoubleClick(HWND hList, int nItem) {
    RECT rc;
    SendMessageA(hList, LVM_ENSUREVISIBLE, nItem, FALSE);
    return RemoteRect(hList, LVM_GETITEMRECT, nItem, LVIR_LABEL, rc) &&
           PostClick(hList, rc, WM_LBUTTONDOWN, WM_LBUTTONUP) &&
           PostClick(hList, rc, WM_LBUTTONDBLCLK, WM_LBUTTONUP);
}

namespace {
// The visible pop-up menu window (class "#32768") of the window's thread.
HWND FindPopupMenu(HWND hWnd) {
    struct CFind {
        DWORD m_tid;
        HWND m_hFound = nullptr;
    } find{GetWindowThreadProcessId(hWnd, nullptr)};
    EnumWindows(
        [](HWND h, LPARAM l) -> BOOL {
            auto* f = reinterpret_cast<CFind*>(l);
            char cls[16] = {};
            GetClassNameA(h, cls, sizeof cls);
            if (GetWindowThreadProcessId(h, nullptr) != f->m_tid || !IsWindowVisible(h) ||
                lstrcmpA(cls, "#32768") != 0)
                return TRUE;
            f->m_hFound = h;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&find));
    return find.m_hFound;
}
} // namespace

bool UiListContextCommand(HWND hList, int nItem, int nPosition, DWORD timeoutMs) {
    RECT rc;
    SendMessageA(hList, LVM_ENSUREVISIBLE, nItem, FALSE);
    if (!RemoteRect(hList, LVM_GETITEMRECT, nItem, LVIR_LABEL, rc) ||
        !PostClick(hList, rc, WM_RBUTTONDOWN, WM_RBUTTONUP))
        return false;
    for (DWORD t = 0; !FindPopupMenu(hList); t += 100) {
        if (t >= timeoutMs)
            return false;
        Sleep(100);
    }
    // The menu's loop reads the keys from its thread's queue, whatever window
    // they are posted to.
    HWND hTop = GetAncestor(hList, GA_ROOT);
    for (int i = 0; i <= nPosition; ++i)
        PostMessageA(hTop, WM_KEYDOWN, VK_DOWN, 1);
    return PostMessageA(hTop, WM_KEYDOWN, VK_RETURN, 1);
}

bool UiListKey(HWND hList, WORD vk) {
    return PostMessageA(hList, WM_KEYDOWN, vk, 1) && PostMessageA(hList, WM_KEYUP, vk, 0xC0000001);
}

bool UiChooseMenu(HWND hWnd, UINT nCommand) {
    return PostMessageA(hWnd, WM_COMMAND, MAKEWPARAM(nCommand, 0), 0);
}
