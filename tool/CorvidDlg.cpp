#include "tool/CorvidDlg.h"
#include <mbstring.h>
#include <shlobj.h>
#include <cstdio>
#include <cstring>
#include <map>
#include "common/JobRecord.h"
#include "common/Localize.h"
#include "common/VlmLog.h"
#include "components/vlmhelp/vlmhelp.h"
#include "contracts/ModelPlugin.h"
#include "framework/App.h"
#include "framework/ComError.h"
#include "framework/Handles.h"
#include "framework/MessageBox.h"
#include "framework/Variant.h"
#include "tool/CorvidStore.h"
#include "tool/RecoveredDlg.h"
#include "tool/core/HelpFile.h"
#include "tool/resource.h"

namespace {

// A failure of a command, shown in the "Error" box as it stands.
struct CCorvidText {
    std::string m_strText;
};

[[noreturn]] void ThrowText(const char* english) {
    throw CCorvidText{VlmLocalize(english)};
}

std::string T(const char* english) {
    return VlmLocalize(english);
}

std::string Format(const std::string& fmt, const std::string& arg) {
    return VlmFillIn(fmt, arg);
}

// The current date and time with another year (the copyright years).
DATE DateInYear(WORD year) {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    now.wYear = year;
    // 29 February has no place in most years.
    if (now.wMonth == 2 && now.wDay == 29 &&
        !(year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)))
        now.wDay = 28;
    DATE date = 0;
    ::SystemTimeToVariantTime(&now, &date);
    return date;
}

constexpr int kWaitChecks = 30; // 100 ms apart

// The texts of the sorted column, by job number (the rows' item data), taken
// before the sort: the rows move while the list sorts them.
struct CSortContext {
    std::map<LPARAM, std::string> m_texts;
    bool m_bDescending;
};

LPARAM ItemData(HWND hList, int nItem) {
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = nItem;
    ::SendMessageA(hList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return item.lParam;
}

std::string ItemText(HWND hList, int nItem, int nColumn) {
    char text[260] = {};
    LVITEMA item = {};
    item.iSubItem = nColumn;
    item.pszText = text;
    item.cchTextMax = sizeof(text);
    ::SendMessageA(hList, LVM_GETITEMTEXTA, nItem, reinterpret_cast<LPARAM>(&item));
    return text;
}

int CALLBACK CompareRows(LPARAM lFirst, LPARAM lSecond, LPARAM lContext) {
    const auto* ctx = reinterpret_cast<const CSortContext*>(lContext);
    const std::string& a = ctx->m_texts.at(lFirst);
    const std::string& b = ctx->m_texts.at(lSecond);
    int n = ::_mbscmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                      reinterpret_cast<const unsigned char*>(b.c_str()));
    return ctx->m_bDescending ? -n : n;
}

// The wait cursor while the user-interface thread waits.
class CWaitCursor {
public:
    CWaitCursor() : m_hPrevious(::SetCursor(::LoadCursor(nullptr, IDC_WAIT))) {}
    ~CWaitCursor() { ::SetCursor(m_hPrevious); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    HCURSOR m_hPrevious;
};

} // namespace

CVX420CorvidDlg::CVX420CorvidDlg() : CVlmDialog(IDD_CORVID) {
    m_VlmHelp.Load("vlmhelp.dll");
    OnCmd(ID_NEW_EDITING, [this] { RunCommand(&CVX420CorvidDlg::OnNewEditing); });
    OnCmd(ID_COPY, [this] { RunCommand(&CVX420CorvidDlg::OnCopy); });
    OnCmd(ID_DELETE, [this] { RunCommand(&CVX420CorvidDlg::OnDelete); });
    OnCmd(ID_RECOVERED_SCANS, [this] { RunCommand(&CVX420CorvidDlg::OnRecoveredScans); });
    OnCmd(ID_ADMIN_SETTING, [this] { RunCommand(&CVX420CorvidDlg::OnAdminSetting); });
    OnCmd(ID_TASKDECK_HELP, [this] { RunCommand(&CVX420CorvidDlg::OnHelp); });
    OnCmd(ID_VERSION, [this] { RunCommand(&CVX420CorvidDlg::OnVersion); });
    OnCmd(IDC_CLOSE, [this] { OnClose(); });
}

CVX420CorvidDlg::~CVX420CorvidDlg() {
    if (auto pfn = m_VlmHelp.Get<PFN_VlmHelpA>("VlmHelpA"))
        pfn(nullptr, nullptr, VLMHELP_QUIT, 0);
}

BOOL CVX420CorvidDlg::OnInitDialog() {
    const HRESULT hrConfig = m_Config.Init();
    ::SetWindowTextA(m_hWnd,
                     Format(T("%s Taskdeck Registrar"), m_Config.Value("DEV_NAME")).c_str());
    SetTexts();
    if (FAILED(hrConfig)) {
        // Without the model's names there is no store or scanner to speak of.
        ShowError(Format(T("The configuration file %s is missing or has no model. Please check "
                           "your installation."),
                         m_Config.GetPath()));
        EndDialog(IDCANCEL);
        return TRUE;
    }
    try {
        CreateEditor();
        OpenStore();
        if (m_pJobRegGUI)
            ThrowIfFailed(m_pJobRegGUI->Initialize(m_pJobStore), IID_IJobRegGUI);
        SetUpList();
        RefreshTitles();
    } catch (const CComError& e) {
        ShowError(e.Message());
        EndDialog(IDCANCEL);
        return TRUE;
    } catch (const CCorvidText& e) {
        ShowError(e.m_strText);
        EndDialog(IDCANCEL);
        return TRUE;
    }
    CTitleWriterSetup setup;
    setup.m_strPlugin = m_Config.Value("INIT_FILE_NAME");
    setup.m_strKestrelMutex = m_Config.Value("KESTREL_MUTEX");
    setup.m_strFriendlyUsb = m_Config.Value("FRIENDLY_NUSB");
    setup.m_strFriendlyScsi = m_Config.Value("FRIENDLY_NSCSI");
    setup.m_strScannerName = m_Config.Value("SCANNER_NAME");
    m_pTitleWriters = std::make_unique<CTitleWriters>(setup);
    m_pTitleWriters->StartAll();

    ListView_SetItemState(m_hList, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    RefreshJobInformation();
    ::SetFocus(m_hList);
    return FALSE; // the focus is set
}

void CVX420CorvidDlg::SetTexts() {
    HMENU hMenu = ::GetMenu(m_hWnd);
    const char* popups[] = {"&Editing", "&Admin", "&Help"};
    for (int i = 0; i < 3; ++i) {
        HMENU hSub = ::GetSubMenu(hMenu, i);
        ::ModifyMenuA(hMenu, i, MF_BYPOSITION | MF_STRING | MF_POPUP,
                      reinterpret_cast<UINT_PTR>(hSub), T(popups[i]).c_str());
    }
    const struct {
        UINT id;
        const char* text;
    } items[] = {{ID_NEW_EDITING, "&New/Editing..."},
                 {ID_COPY, "&Copy..."},
                 {ID_DELETE, "&Delete"},
                 {ID_RECOVERED_SCANS, "&Recovered scans..."},
                 {ID_ADMIN_SETTING, "Admin &setting"},
                 {ID_TASKDECK_HELP, "Task Deck &Help"},
                 {ID_VERSION, "&Version..."}};
    for (const auto& item : items)
        ::ModifyMenuA(hMenu, item.id, MF_BYCOMMAND | MF_STRING, item.id, T(item.text).c_str());
    ::DrawMenuBar(m_hWnd);
    SetDlgItemText(IDC_CLOSE, T("C&lose").c_str());
    SetDlgItemText(IDC_SAVEFOLDER_LABEL, T("Save in folder").c_str());
    SetDlgItemText(IDC_FILENAME_LABEL, T("File name").c_str());
    SetDlgItemText(IDC_FILETYPE_LABEL, T("File type").c_str());
    SetDlgItemText(IDC_REGISTRATION, T("Number Of Registration").c_str());
    SetDlgItemText(IDC_JOBINFO, T("Job Information").c_str());
    for (int id : {IDC_SAVEFOLDER, IDC_FILENAME, IDC_FILETYPE})
        SetDlgItemText(id, "");
}

// Without the editor the list still works; the editing commands then say
// that the editor is missing.
void CVX420CorvidDlg::CreateEditor() {
    try {
        CComPtr<IUnknown> unknown;
        ThrowIfFailed(::CoCreateInstance(CLSID_JobRegGUI, nullptr, 23, IID_IUnknown,
                                         reinterpret_cast<void**>(&unknown)),
                      IID_IJobRegGUI);
        ThrowIfFailed(::OleRun(unknown), IID_IJobRegGUI);
        CComPtr<IJobRegGUI> editor;
        ThrowIfFailed(unknown.QueryInterface(IID_IJobRegGUI, &editor), IID_IJobRegGUI);
        CBstr kestrel(m_Config.Value("KESTREL_FILE_NAME").c_str());
        ThrowIfFailed(editor->put_KestrelFileName(kestrel), IID_IJobRegGUI);
        CBstr twain(m_Config.Value("TWAIN_DRV_NAME").c_str());
        ThrowIfFailed(editor->put_TwainDriverName(twain), IID_IJobRegGUI);
        for (long n = 1; n <= 8; ++n)
            ThrowIfFailed(editor->put_DisableFunctionID(n, 1), IID_IJobRegGUI);
        CBstr mutex(m_Config.Value("KESTREL_MUTEX").c_str());
        ThrowIfFailed(editor->put_KestrelMutexName(mutex), IID_IJobRegGUI);
        ThrowIfFailed(editor->put_CopyRight(0, DateInYear(2008)), IID_IJobRegGUI);
        ThrowIfFailed(editor->put_CopyRight(1, DateInYear(2012)), IID_IJobRegGUI);

        HRSRC hRes = ::FindResourceA(nullptr, MAKEINTRESOURCEA(IDR_DEFAULT), "Default");
        HGLOBAL hData = hRes ? ::LoadResource(nullptr, hRes) : nullptr;
        const void* pData = hData ? ::LockResource(hData) : nullptr;
        if (!pData)
            ThrowText("no memory");
        const DWORD cb = ::SizeofResource(nullptr, hRes);
        // The editor takes an array of unsigned bytes.
        CVariant setting;
        SAFEARRAY* pArray = ::SafeArrayCreateVector(VT_UI1, 0, cb);
        if (!pArray)
            ThrowText("no memory");
        std::memcpy(pArray->pvData, pData, cb);
        setting.vt = VT_ARRAY | VT_UI1;
        setting.parray = pArray;
        ThrowIfFailed(editor->put_DefaultDriverSetting(setting), IID_IJobRegGUI);

        ThrowIfFailed(editor.QueryInterface(IID_IJobRegGUI3, &m_pJobRegGUI3), IID_IJobRegGUI);
        m_pJobRegGUI = editor;
    } catch (const CComError& e) {
        m_pJobRegGUI.Release();
        m_pJobRegGUI3.Release();
        char code[32];
        std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(e.Error()));
        m_strEditorError = std::string(code) + " " + e.Message();
        CVlmLog::Instance().Write("editor not available: %s", m_strEditorError.c_str());
    }
}

void CVX420CorvidDlg::OpenStore() {
    m_pJobStore = OpenCorvidStore(m_Config.Value("SCANNER_NAME"));
    if (StoreGetLong(m_pJobStore, vlm::kKeyMonitorOpen) != 0) {
        CallInitJob();
        ThrowIfFailed(m_pJobStore->Load(), IID_IJobStore);
    }
}

void CVX420CorvidDlg::CallInitJob() {
    CModule plugin;
    const std::string name = m_Config.Value("INIT_FILE_NAME");
    auto pfn =
        plugin.Load(name.c_str())
            ? modelplugin::GetExport<modelplugin::PFN_InitJob>(plugin.Get(), modelplugin::kInitJob)
            : nullptr;
    if (!pfn) {
        CVlmLog::Instance().Write("model plug-in %s or its InitJob not found", name.c_str());
        return;
    }
    pfn();
}

void CVX420CorvidDlg::SetUpList() {
    m_hList = GetDlgItem(IDC_JOBLIST);
    ListView_SetExtendedListViewStyle(m_hList, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    std::string no = T("No."), title = T("Job title");
    // The list's sizes are pixels at 96 DPI; the program is DPI aware, so
    // it scales them to the screen's.
    int dpi = 96;
    if (CWindowDc dc(m_hList); dc)
        dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
    const auto scaled = [dpi](int pixels) { return ::MulDiv(pixels, dpi, 96); };
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.cx = scaled(60);
    column.pszText = no.data();
    ::SendMessageA(m_hList, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    column.cx = scaled(180);
    column.iSubItem = 1;
    column.pszText = title.data();
    ::SendMessageA(m_hList, LVM_INSERTCOLUMNA, 1, reinterpret_cast<LPARAM>(&column));
    // The rows' height comes from the small image list; the list view owns
    // it and destroys it with itself.
    HIMAGELIST hImages = ImageList_Create(1, scaled(32), ILC_COLOR, 1, 0);
    ListView_SetImageList(m_hList, hImages, LVSIL_SMALL);
    for (long n = vlm::kMinJobNumber; n <= vlm::kMaxJobNumber; ++n) {
        char text[16];
        std::snprintf(text, sizeof(text), "  %02ld", n);
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(n - 1);
        item.pszText = text;
        item.lParam = n;
        if (::SendMessageA(m_hList, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)) < 0)
            ThrowText("no memory");
    }
}

void CVX420CorvidDlg::RefreshTitles() {
    const int nCount = ListView_GetItemCount(m_hList);
    for (int i = 0; i < nCount; ++i) {
        CComPtr<IJobData> job = FindJob(m_pJobStore, static_cast<long>(ItemData(m_hList, i)));
        std::string title = job ? JobGetString(job, vlm::kKeyTitle) : std::string();
        LVITEMA cell = {};
        cell.iSubItem = 1;
        cell.pszText = title.data();
        if (!::SendMessageA(m_hList, LVM_SETITEMTEXTA, i, reinterpret_cast<LPARAM>(&cell)))
            ThrowText("SetItemText error");
    }
}

void CVX420CorvidDlg::RefreshJobInformation() {
    for (int id : {IDC_SAVEFOLDER, IDC_FILENAME, IDC_FILETYPE})
        SetDlgItemText(id, "");
    if (!m_pJobStore || !m_hList)
        return;
    try {
        for (long n : SelectedJobs()) {
            CComPtr<IJobData> job = FindJob(m_pJobStore, n);
            if (!job || JobGetLong(job, vlm::kKeyFunctionId) != SCAN_TO_PC)
                continue;
            std::string folder;
            if (JobGetLong(job, vlm::kKeyMyPicture) == 1) {
                char path[MAX_PATH] = {};
                if (SUCCEEDED(::SHGetFolderPathA(m_hWnd, CSIDL_MYPICTURES, nullptr, 0, path)))
                    folder = path;
            } else {
                folder = JobGetString(job, vlm::kKeySavePath);
            }
            SetDlgItemText(IDC_SAVEFOLDER, folder.c_str());
            SetDlgItemText(IDC_FILENAME, JobGetString(job, vlm::kKeyFileName).c_str());
            CVariant type = JobGetValue(job, vlm::kKeyFileType);
            long nType = -1;
            if (!type.IsEmpty() && SUCCEEDED(type.ToLong(nType)) && nType >= 0 && nType <= 3)
                SetDlgItemText(IDC_FILETYPE, vlm::FileTypeName(nType));
            return;
        }
    } catch (const CComError& e) {
        CVlmLog::Instance().Write("job information: %s", e.Message().c_str());
    }
}

std::vector<long> CVX420CorvidDlg::SelectedJobs() const {
    std::vector<long> jobs;
    for (int i = ListView_GetNextItem(m_hList, -1, LVNI_SELECTED); i >= 0;
         i = ListView_GetNextItem(m_hList, i, LVNI_SELECTED))
        jobs.push_back(static_cast<long>(ItemData(m_hList, i)));
    return jobs;
}

long CVX420CorvidDlg::SelectedJob() const {
    std::vector<long> jobs = SelectedJobs();
    return jobs.empty() ? 0 : jobs.front();
}

IJobRegGUI* CVX420CorvidDlg::Editor() {
    if (!m_pJobRegGUI)
        throw CCorvidText{T("The job editor (Plover.dll) is not installed. Please check your "
                            "installation.") +
                          (m_strEditorError.empty() ? "" : "\n\n" + m_strEditorError)};
    return m_pJobRegGUI;
}

IJobRegGUI3* CVX420CorvidDlg::Editor3() {
    Editor();
    return m_pJobRegGUI3;
}

void CVX420CorvidDlg::ShowError(const std::string& text) {
    VlmMessageBox(m_hWnd, text.c_str(), T("Error").c_str(), MB_OK | MB_ICONEXCLAMATION);
}

void CVX420CorvidDlg::RunCommand(void (CVX420CorvidDlg::*command)()) {
    try {
        (this->*command)();
    } catch (const CCorvidText& e) {
        ShowError(e.m_strText);
    } catch (const CComError& e) {
        ShowError(e.Message());
    }
}

void CVX420CorvidDlg::WaitForTitleWriter() {
    if (!m_pTitleWriters || !m_pTitleWriters->IsWritingAll())
        return;
    CWaitCursor wait;
    for (int i = 0; i < kWaitChecks && m_pTitleWriters->IsWritingAll(); ++i)
        ::Sleep(100);
}

void CVX420CorvidDlg::OnNewEditing() {
    WaitForTitleWriter();
    const long n = SelectedJob();
    if (!n)
        ThrowText("Select the Job");
    ThrowIfFailed(Editor3()->DoModal2(n), IID_IJobRegGUI3);
    RefreshTitles();
    RefreshJobInformation();
    m_nTitleJob = n;
    m_pTitleWriters->StartOne(m_nTitleJob);
}

void CVX420CorvidDlg::OnCopy() {
    const long n = SelectedJob();
    if (!n)
        ThrowText("Select the Job");
    ThrowIfFailed(Editor3()->CopyDialog3(n, vlm::kMinJobNumber, vlm::kMaxJobNumber),
                  IID_IJobRegGUI3);
    RefreshTitles();
    m_pTitleWriters->StartAll();
    RefreshJobInformation();
}

void CVX420CorvidDlg::OnDelete() {
    const std::vector<long> jobs = SelectedJobs();
    if (jobs.empty())
        ThrowText("Select the Job");
    bool bAnyJob = false, bAsked = false;
    for (long n : jobs) {
        if (!FindJob(m_pJobStore, n))
            continue;
        bAnyJob = true;
        if (!bAsked) {
            bAsked = true;
            if (VlmMessageBox(m_hWnd, T("Are you sure you want to delete the Job?").c_str(),
                              T("Confirmation").c_str(),
                              MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
                break;
        }
        ThrowIfFailed(m_pJobStore->DeleteJob(n), IID_IJobStore);
    }
    if (!bAnyJob)
        ThrowText("The Job No. is not registered.");
    RefreshTitles();
    m_pTitleWriters->StartAll();
    RefreshJobInformation();
}

void CVX420CorvidDlg::OnRecoveredScans() {
    CRecoveredDlg dlg(m_hWnd, VlmProgramFolder() + "\\" + m_Config.Value("KESTREL_FILE_NAME"));
    dlg.DoModal();
}

void CVX420CorvidDlg::OnAdminSetting() {
    ThrowIfFailed(Editor3()->ControlDialog3(), IID_IJobRegGUI3);
    RefreshTitles();
    m_pTitleWriters->StartAll();
    RefreshJobInformation();
}

void CVX420CorvidDlg::OnVersion() {
    ThrowIfFailed(Editor()->AboutDialog(), IID_IJobRegGUI);
}

void CVX420CorvidDlg::OnHelp() {
    const std::string folder = VlmProgramFolder() + "\\";
    auto pfnVlmHelp = m_VlmHelp.Get<PFN_VlmHelpA>("VlmHelpA");
    auto open = [&](const std::string& path) -> BOOL {
        if (pfnVlmHelp)
            return pfnVlmHelp(m_hWnd, path.c_str(), VLMHELP_FINDER, 0);
        if (m_VlmHelp.IsLoaded())
            return FALSE; // the library lacks its export
        // Without the library: the platform's HTML Help itself.
        static CModule s_hhctrl;
        if (!s_hhctrl.IsValid())
            s_hhctrl.Load("hhctrl.ocx");
        using PFN_HtmlHelpA = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
        auto pfn =
            reinterpret_cast<PFN_HtmlHelpA>(reinterpret_cast<void*>(s_hhctrl.GetProc("HtmlHelpA")));
        const UINT kDisplayToc = 1;
        return pfn && ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES &&
               pfn(m_hWnd, path.c_str(), kDisplayToc, 0) != nullptr;
    };
    const std::string path = folder + HelpFileForLanguage(::GetUserDefaultLangID());
    if (open(path) || open(folder + kEnglishHelpFile))
        return;
    throw CCorvidText{Format(T("The help file %s cannot be opened."), path)};
}

void CVX420CorvidDlg::OnClose() {
    // The window stays: the titles are written again, whole.
    auto keepOpen = [this] {
        if (m_pTitleWriters) {
            m_pTitleWriters->Resume();
            m_pTitleWriters->StartAll();
        }
    };
    if (m_pTitleWriters) {
        m_pTitleWriters->RequestStop();
        if (!m_pTitleWriters->WaitWritersEnded(0)) {
            CWaitCursor wait;
            m_pTitleWriters->WaitWritersEnded(kWaitChecks);
        }
        // Ending the program now would lose the title being written.
        if (!m_pTitleWriters->WaitWritersEnded(0) &&
            VlmMessageBox(
                m_hWnd,
                T("The job titles are still being written to the scanner. Close anyway?").c_str(),
                m_Config.Value("DEV_NAME").c_str(),
                MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES) {
            keepOpen();
            return;
        }
    }
    bool bAnyJob = !m_pJobStore; // without a store there is nothing to ask about
    try {
        for (long n = vlm::kMinJobNumber; n <= vlm::kMaxJobNumber && !bAnyJob; ++n)
            bAnyJob = FindJob(m_pJobStore, n) != nullptr;
    } catch (const CComError& e) {
        ShowError(e.Message());
        bAnyJob = true;
    }
    if (!bAnyJob &&
        VlmMessageBox(m_hWnd, T("Any job is not registered. Are You Sure?").c_str(),
                      m_Config.Value("DEV_NAME").c_str(),
                      MB_YESNO | MB_ICONEXCLAMATION | MB_TOPMOST | MB_DEFBUTTON2) != IDYES) {
        keepOpen();
        return;
    }
    EndDialog(IDOK);
}

void CVX420CorvidDlg::OnOK() {
    const HWND hFocus = ::GetFocus();
    if (hFocus == m_hList)
        RunCommand(&CVX420CorvidDlg::OnNewEditing);
    else if (hFocus == GetDlgItem(IDC_CLOSE))
        OnClose();
}

void CVX420CorvidDlg::OnSort(int nColumn) {
    CSortContext ctx{{}, m_bSortDescending};
    const int nCount = ListView_GetItemCount(m_hList);
    for (int i = 0; i < nCount; ++i)
        ctx.m_texts[ItemData(m_hList, i)] = ItemText(m_hList, i, nColumn);
    const BOOL bSorted = ListView_SortItems(m_hList, CompareRows, reinterpret_cast<LPARAM>(&ctx));
    CVlmLog::Instance().Write("sort by column %d %s: %d", nColumn,
                              m_bSortDescending ? "descending" : "ascending", bSorted);
    if (!bSorted)
        ThrowText("failed to sort");
    m_bSortDescending = !m_bSortDescending;
}

void CVX420CorvidDlg::OnContextMenu(POINT pt) {
    HMENU hEditing = ::GetSubMenu(::GetMenu(m_hWnd), 0);
    ::TrackPopupMenu(hEditing, TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0, m_hWnd, nullptr);
}

BOOL CVX420CorvidDlg::OnNotify(NMHDR* pHeader, LRESULT& lResult) {
    if (pHeader->idFrom != IDC_JOBLIST)
        return FALSE;
    lResult = 0;
    switch (pHeader->code) {
    case NM_DBLCLK:
        if (reinterpret_cast<NMITEMACTIVATE*>(pHeader)->iItem >= 0)
            RunCommand(&CVX420CorvidDlg::OnNewEditing);
        return TRUE;
    case NM_RCLICK: {
        POINT pt;
        ::GetCursorPos(&pt);
        OnContextMenu(pt);
        return TRUE;
    }
    case LVN_KEYDOWN:
        if (reinterpret_cast<NMLVKEYDOWN*>(pHeader)->wVKey == VK_DELETE)
            RunCommand(&CVX420CorvidDlg::OnDelete);
        return TRUE;
    case LVN_COLUMNCLICK: {
        const int nColumn = reinterpret_cast<NMLISTVIEW*>(pHeader)->iSubItem;
        try {
            OnSort(nColumn);
        } catch (const CCorvidText& e) {
            ShowError(e.m_strText);
        }
        return TRUE;
    }
    case LVN_ITEMCHANGED: {
        const auto* change = reinterpret_cast<NMLISTVIEW*>(pHeader);
        if ((change->uChanged & LVIF_STATE) &&
            ((change->uOldState ^ change->uNewState) & LVIS_SELECTED))
            RefreshJobInformation();
        return TRUE;
    }
    }
    return FALSE;
}

BOOL CVX420CorvidDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) {
    if (msg == WM_NOTIFY)
        return OnNotify(reinterpret_cast<NMHDR*>(lParam), lResult);
    return CVlmDialog::OnMessage(msg, wParam, lParam, lResult);
}
