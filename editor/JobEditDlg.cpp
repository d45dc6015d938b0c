#include "editor/JobEditDlg.h"
#include <algorithm>
#include "JobEdit_res.h"
#include "editor/TitleCheck.h"
#include "common/JobRecord.h"
#include "editor/EditorError.h"
#include "editor/EditorText.h"
#include "framework/Handles.h"
#include "scan/Scan.h"
#include "scan/TwainDriver.h"

namespace {

constexpr long kFirstFunctionWithoutScan = 5; // "Start", "Stop", "Launcher", "No Scan Job"

[[noreturn]] void ThrowLastErrorText() {
    const DWORD err = ::GetLastError();
    throw CEditorText{VlmSystemMessage(err ? err : ERROR_GEN_FAILURE)};
}

RECT ChildRect(HWND hDlg, HWND hChild) {
    RECT r = {};
    ::GetWindowRect(hChild, &r);
    ::MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void ShowChild(HWND hDlg, int nId, BOOL bShow) {
    ::ShowWindow(::GetDlgItem(hDlg, nId), bShow ? SW_SHOW : SW_HIDE);
}

// The job's driver settings, a byte block ("driver").
std::vector<uint8_t> ReadDriver(IJobData* pJob) {
    std::vector<uint8_t> bytes;
    EdCheck(VlmReadByteBlock(JobGetValue(pJob, vlm::kKeyDriver), bytes));
    return bytes;
}

void WriteDriver(IJobData* pJob, const std::vector<uint8_t>& bytes) {
    CVariant value;
    EdCheck(VlmMakeByteBlock(bytes.data(), bytes.size(), &value));
    JobSetValue(pJob, vlm::kKeyDriver, value);
}

// OK and Cancel under the pages; their commands go to the dialog.
class CButtonBar : public CVlmDialog {
public:
    CButtonBar() : CVlmDialog(IDD_JOBEDIT_BUTTONS, nullptr, EdInstance()) {}

    // Spans the dialog's width with the buttons at its right edge.
    void Place(int x, int y, int nWidth) {
        RECT margin = {7, 6, 7, 6};
        ::MapDialogRect(m_hWnd, &margin);
        RECT ok = ChildRect(m_hWnd, GetDlgItem(IDOK));
        RECT cancel = ChildRect(m_hWnd, GetDlgItem(IDCANCEL));
        const int gap = cancel.left - ok.right;
        const int cx = cancel.right - cancel.left, cy = cancel.bottom - cancel.top;
        ::SetWindowPos(GetDlgItem(IDCANCEL), nullptr, nWidth - margin.right - cx, margin.top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER);
        ::SetWindowPos(GetDlgItem(IDOK), nullptr, nWidth - margin.right - 2 * cx - gap, margin.top,
                       0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ::SetWindowPos(m_hWnd, HWND_BOTTOM, x, y, nWidth, margin.top + cy + margin.bottom,
                       SWP_SHOWWINDOW | SWP_NOACTIVATE);
    }

protected:
    BOOL OnInitDialog() override {
        ::SetWindowLongPtrA(m_hWnd, GWLP_ID, IDC_JOBEDIT_BUTTONBAR);
        EdSetText(m_hWnd, IDOK, "OK");
        EdSetText(m_hWnd, IDCANCEL, "Cancel");
        return FALSE;
    }
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
        if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)
            return FALSE;
        ::SendMessageA(::GetParent(m_hWnd), WM_COMMAND, wParam, lParam);
        return TRUE;
    }
};

// The hidden window that stands for the New/Editing dialog while the data
// source's own settings window is up. It hands the job's driver settings to
// the source through a file and takes back what the source leaves there.
class CScannerSettingHost : public CVlmDialog {
public:
    CScannerSettingHost(HWND hOwner, CJobRegGUISettings* pSettings, IJobData* pJob, CScan* pScan)
        : CVlmDialog(IDD_JOBEDIT_SETTINGHOST, hOwner, EdInstance()), m_pSettings(pSettings),
          m_pJob(pJob), m_pScan(pScan) {}

protected:
    BOOL OnInitDialog() override {
        ::SetWindowTextW(m_hWnd, m_pSettings->m_strTwainDriverName.c_str());
        ::ShowWindow(m_hWnd, SW_HIDE);
        ::SetTimer(m_hWnd, kTimerId, 100, nullptr);
        return FALSE;
    }

    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override {
        switch (msg) {
        case WM_WINDOWPOSCHANGING:
            // The modal loop would show the window once it is idle: it stays hidden.
            reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~SWP_SHOWWINDOW;
            return FALSE;
        case WM_TIMER:
            if (wParam != kTimerId)
                return FALSE;
            ::KillTimer(m_hWnd, kTimerId);
            Guarded([this] { Start(); });
            return TRUE;
        case WM_CLOSE:
            // The engine's close request once the source's window is closed.
            if (m_bSourceUp)
                Guarded([this] { Finish(); });
            return TRUE;
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
        case WM_SYSCHAR:
            return TRUE;
        case WM_SYSCOMMAND:
            return (wParam & 0xFFF0) == SC_CLOSE;
        }
        return CVlmDialog::OnMessage(msg, wParam, lParam, lResult);
    }

    void OnOK() override {}
    void OnCancel() override {}

private:
    static constexpr UINT_PTR kTimerId = 1;

    template <class F> void Guarded(F f) {
        EdCatchFailure(f, [this](const std::string& text) { Fail(text); });
    }

    void Fail(const std::string& text) {
        Restore();
        EdShowError(m_hWnd, text);
        EndDialog(IDCANCEL);
    }

    void Start() {
        if (m_pScan->GetBusyState())
            EdThrowText("driver already running.");
        HCURSOR hOld = ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
        const std::string source = VlmWideToAnsi(m_pSettings->m_strTwainDriverName.c_str());
        const BOOL bProbed = m_pScan->Probe(source.c_str(), TRUE);
        ::SetCursor(hOld);
        if (!bProbed) {
            EndDialog(IDCANCEL);
            return;
        }
        char dir[MAX_PATH] = {};
        if (!::GetTempPathA(MAX_PATH, dir))
            ThrowLastErrorText();
        m_strFile = std::string(dir) + "corvid_common_gui.dat";
        const std::vector<uint8_t> driver = ReadDriver(m_pJob);
        if (!driver.empty())
            WriteWhole(m_strFile, driver);
        else
            ::DeleteFileA(m_strFile.c_str()); // a file left by an earlier run is not this job's
        m_strKeptPath = CTwainDriver::GetProfilePath();
        if (m_strFile.size() < MAX_PATH) {
            CTwainDriver::SetProfilePath(m_strFile.c_str());
            m_bPathSet = TRUE;
        }
        m_pScan->RestoreSetting(nullptr);
        m_bSourceUp = TRUE;
        if (!m_pScan->ScannerSetting(m_hWnd, FALSE)) {
            // No window came up, so no close request will come either.
            m_bSourceUp = FALSE;
            Restore();
            ::DeleteFileA(m_strFile.c_str());
            EndDialog(IDCANCEL);
        }
    }

    void Finish() {
        m_bSourceUp = FALSE;
        Restore();
        WriteDriver(m_pJob, ReadWhole(m_strFile));
        ::DeleteFileA(m_strFile.c_str());
        EndDialog(IDOK);
    }

    void Restore() {
        if (m_bPathSet)
            CTwainDriver::SetProfilePath(m_strKeptPath.c_str());
        m_bPathSet = FALSE;
    }

    static void WriteWhole(const std::string& path, const std::vector<uint8_t>& bytes) {
        vlm::CHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            ThrowLastErrorText();
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size())
            ThrowLastErrorText();
    }

    static std::vector<uint8_t> ReadWhole(const std::string& path) {
        vlm::CHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            ThrowLastErrorText();
        LARGE_INTEGER size = {};
        if (!::GetFileSizeEx(file, &size))
            ThrowLastErrorText();
        if (size.QuadPart > 0x7FFFFFFF)
            EdThrowText("no memory");
        std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        if (!bytes.empty() &&
            (!::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
             read != bytes.size()))
            ThrowLastErrorText();
        return bytes;
    }

    CJobRegGUISettings* m_pSettings;
    IJobData* m_pJob;
    CScan* m_pScan;
    std::string m_strFile;
    std::string m_strKeptPath;
    BOOL m_bPathSet = FALSE;
    BOOL m_bSourceUp = FALSE;
};

JobEditPageFactory& PageFactory() {
    static JobEditPageFactory factory;
    return factory;
}

// The pages each function shows, first to last.
std::vector<std::unique_ptr<CJobEditPage>> CreateFunctionPages(CJobRegGUISettings* pSettings,
                                                               long nFunctionId) {
    if (PageFactory())
        return PageFactory()(pSettings, nFunctionId);
    std::vector<std::unique_ptr<CJobEditPage>> pages;
    switch (nFunctionId) {
    case SCAN_TO_PC:
        pages.push_back(CreateSavePage(pSettings, FALSE));
        break;
    case SCAN_TO_PR:
        pages.push_back(CreatePrintPage(pSettings));
        break;
    case SCAN_TO_MAPI:
        pages.push_back(CreateSavePage(pSettings, TRUE));
        break;
    case SCAN_TO_MAIL:
        pages.push_back(CreateSavePage(pSettings, TRUE));
        pages.push_back(CreateMailPage(pSettings));
        break;
    case SCAN_TO_PC_RUNAPP:
        pages.push_back(CreateSavePage(pSettings, FALSE));
        pages.push_back(CreateAppPage(pSettings));
        break;
    default:
        break;
    }
    return pages;
}

} // namespace

void SetJobEditPageFactory(JobEditPageFactory factory) {
    PageFactory() = std::move(factory);
}

const std::vector<CJobFunction>& JobFunctions() {
    static const std::vector<CJobFunction> functions = {
        {SCAN_TO_PC, "Save as file", "Scan and save documents to PC."},
        {SCAN_TO_PR, "Print", "Scan and print documents."},
        {SCAN_TO_MAPI, "Attach to E-mail", "Scan and send documents via E-mail application."},
        {SCAN_TO_MAIL, "Send by E-Mail", "Scan and send documents via E-mail."},
        {SCAN_TO_PC_RUNAPP, "Open by Application",
         "Scan and save documents then open with Application"},
        {5, "Start", "Start"},
        {6, "Stop", "Stop"},
        {7, "Launcher", "Launcher"},
        {8, "No Scan Job", "No Scan Job"},
    };
    return functions;
}

const CJobFunction* JobFunctionById(long nId) {
    for (const CJobFunction& f : JobFunctions())
        if (f.m_nId == nId)
            return &f;
    return nullptr;
}

CJobEditDlg::CJobEditDlg(CJobRegGUISettings* pSettings, long nJobNo, BOOL bWithFunctionList)
    : CVlmDialog(bWithFunctionList ? IDD_JOBEDIT : IDD_JOBEDIT2, nullptr, EdInstance()),
      m_pSettings(pSettings) {
    if (nJobNo == 0)
        throw CComError(E_FAIL);
    if (!pSettings->m_pJobStore)
        throw CComError(E_POINTER, IID_IJobStore);
    // A number that holds no job yet answers a success code and a new job.
    EdCheck(pSettings->m_pJobStore->GetJob(nJobNo, &m_pJob));
    if (!m_pJob)
        throw CComError(E_POINTER, IID_IJobStore);
    m_strTitle = JobGetString(m_pJob, vlm::kKeyTitle);
    if (ReadDriver(m_pJob).empty() && !pSettings->m_DefaultDriverSetting.empty())
        WriteDriver(m_pJob, pSettings->m_DefaultDriverSetting);
    m_pScan = std::make_unique<CScan>();
}

CJobEditDlg::~CJobEditDlg() = default;

INT_PTR CJobEditDlg::Run() {
    const INT_PTR result = DoModal();
    if (m_initError)
        std::rethrow_exception(m_initError);
    return result;
}

BOOL CJobEditDlg::OnInitDialog() {
    try {
        RECT client = {};
        ::GetClientRect(m_hWnd, &client);
        m_templateClient = {client.right, client.bottom};
        for (int id = IDC_JOBEDIT_TITLE; id <= IDC_JOBEDIT_SEPARATOR; ++id)
            m_templateRight[id - IDC_JOBEDIT_TITLE] = ChildRect(m_hWnd, GetDlgItem(id)).right;

        ::SetWindowTextA(m_hWnd, EdText("New/Editing").c_str());
        EdSetText(m_hWnd, IDC_JOBEDIT_TITLE_LABEL, "&Job title");
        EdSetText(m_hWnd, IDC_JOBEDIT_FUNCTION_LABEL, "&Function");
        EdSetText(m_hWnd, IDC_JOBEDIT_SCANNER_LABEL, "Scanner setting:");
        EdSetText(m_hWnd, IDC_JOBEDIT_SETTING, "&Setting...");

        long nNumber = 0;
        EdCheck(m_pJob->GetJobNumber(&nNumber));
        SetDlgItemText(IDC_JOBEDIT_NUMBER, (EdText("No.") + std::to_string(nNumber)).c_str());

        FillFunctionList();

        ::SendDlgItemMessageA(m_hWnd, IDC_JOBEDIT_TITLE, EM_LIMITTEXT, EdTitleLimit(m_pSettings),
                              0);
        SetDlgItemText(IDC_JOBEDIT_TITLE, m_strTitle.c_str());
        if (m_pSettings->m_nFixedFunction) {
            ::EnableWindow(GetDlgItem(IDC_JOBEDIT_TITLE), FALSE);
            ::EnableWindow(GetDlgItem(IDC_JOBEDIT_TITLE_LABEL), FALSE);
            ShowChild(m_hWnd, IDC_JOBEDIT_NUMBER, FALSE);
        }

        const long nFunction = JobGetLong(m_pJob, vlm::kKeyFunctionId);
        MakePages(nFunction, TRUE);
        m_pButtonBar = std::make_unique<CButtonBar>();
        if (!m_pButtonBar->Create(m_hWnd))
            ThrowLastErrorText();
        ShowFunction(nFunction);
    } catch (...) {
        // Reported by Run once the window is gone; the dialog is never shown.
        m_initError = std::current_exception();
        EndDialog(IDCANCEL);
        return FALSE;
    }
    return TRUE;
}

void CJobEditDlg::FillFunctionList() {
    HWND hList = GetDlgItem(IDC_JOBEDIT_FUNCTION);
    auto add = [hList](const CJobFunction& f) {
        const LRESULT i = ::SendMessageA(hList, CB_ADDSTRING, 0,
                                         reinterpret_cast<LPARAM>(EdText(f.m_pszName).c_str()));
        if (i == CB_ERRSPACE)
            EdThrowText("no memory");
        if (i < 0)
            EdThrowText("failed to add string to combobox");
        if (::SendMessageA(hList, CB_SETITEMDATA, i, f.m_nId) == CB_ERR)
            EdThrowText("combobox error");
        return i;
    };
    const long nFunction = JobGetLong(m_pJob, vlm::kKeyFunctionId);
    if (m_pSettings->m_nFixedFunction) {
        const CJobFunction* f = JobFunctionById(nFunction);
        if (!f)
            EdThrowText("not support function error");
        ::SendMessageA(hList, CB_SETCURSEL, add(*f), 0);
        return;
    }
    for (const CJobFunction& f : JobFunctions()) {
        auto it = m_pSettings->m_DisableFunctionID.find(f.m_nId);
        if (it == m_pSettings->m_DisableFunctionID.end() || it->second == 0)
            add(f);
    }
    const LRESULT count = ::SendMessageA(hList, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i)
        if (::SendMessageA(hList, CB_GETITEMDATA, i, 0) == nFunction) {
            ::SendMessageA(hList, CB_SETCURSEL, i, 0);
            break;
        }
}

CJobEditDlg::CFunctionPages& CJobEditDlg::PagesOf(long nFunctionId) {
    if (!JobFunctionById(nFunctionId))
        EdThrowText("not support function error");
    return m_FunctionPages[nFunctionId];
}

void CJobEditDlg::MakePages(long nFunctionId, BOOL bLoad) {
    CFunctionPages& fp = PagesOf(nFunctionId);
    if (fp.m_bMade)
        return;
    std::vector<std::unique_ptr<CJobEditPage>> pages =
        CreateFunctionPages(m_pSettings, nFunctionId);
    for (auto& page : pages) {
        page->Attach(m_pJob);
        if (bLoad)
            page->Load(m_pJob);
        if (!page->Create(m_hWnd))
            ThrowLastErrorText();
        ::ShowWindow(page->GetSafeHwnd(), SW_HIDE);
    }
    fp.m_pages = std::move(pages);
    fp.m_bMade = TRUE;
}

void CJobEditDlg::ShowFunction(long nFunctionId) {
    const CJobFunction* function = JobFunctionById(nFunctionId);
    if (!function)
        EdThrowText("not support function error");
    MakePages(nFunctionId, FALSE);
    for (long id = 0; id < 9; ++id)
        if (id != nFunctionId)
            for (auto& page : m_FunctionPages[id].m_pages)
                ::ShowWindow(page->GetSafeHwnd(), SW_HIDE);

    // The first page at the first marker, the second under it, the buttons
    // under the last; the dialog grows to hold the widest page.
    const RECT m1 = ChildRect(m_hWnd, GetDlgItem(IDC_JOBEDIT_MARKER1));
    const RECT m2 = ChildRect(m_hWnd, GetDlgItem(IDC_JOBEDIT_MARKER2));
    int y = m1.top;
    int nWidth = m_templateClient.cx;
    bool bFirst = true;
    for (auto& page : m_FunctionPages[nFunctionId].m_pages) {
        HWND h = page->GetSafeHwnd();
        ::SetWindowPos(h, nullptr, bFirst ? m1.left : m2.left, y, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        const RECT r = ChildRect(m_hWnd, h);
        y = r.bottom;
        nWidth = std::max<int>(nWidth, r.right);
        bFirst = false;
    }
    auto* bar = static_cast<CButtonBar*>(m_pButtonBar.get());
    bar->Place(0, y, nWidth);
    const RECT barRect = ChildRect(m_hWnd, bar->GetSafeHwnd());

    // The controls that span the dialog keep their right margin.
    for (int id : {IDC_JOBEDIT_TITLE, IDC_JOBEDIT_FUNCTION, IDC_JOBEDIT_DESCRIPTION,
                   IDC_JOBEDIT_SEPARATOR}) {
        HWND h = GetDlgItem(id);
        const RECT r = ChildRect(m_hWnd, h);
        const int margin = m_templateClient.cx - m_templateRight[id - IDC_JOBEDIT_TITLE];
        ::SetWindowPos(h, nullptr, 0, 0, nWidth - margin - r.left, r.bottom - r.top,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    RECT window = {}, client = {};
    ::GetWindowRect(m_hWnd, &window);
    ::GetClientRect(m_hWnd, &client);
    POINT barBottom = {0, barRect.bottom};
    ::ClientToScreen(m_hWnd, &barBottom);
    const int cx = (window.right - window.left) + (nWidth - client.right);
    const int cy = barBottom.y + ::GetSystemMetrics(SM_CYDLGFRAME) - window.top;
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    ::EnableWindow(GetDlgItem(IDC_JOBEDIT_SETTING), nFunctionId < kFirstFunctionWithoutScan);
    EdSetText(m_hWnd, IDC_JOBEDIT_DESCRIPTION, function->m_pszDescription);
    m_nShownFunction = nFunctionId;
}

BOOL CJobEditDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (id == IDC_JOBEDIT_FUNCTION && code == CBN_SELCHANGE) {
        OnFunctionChanged();
        return TRUE;
    }
    if (id == IDC_JOBEDIT_SETTING && code == BN_CLICKED) {
        OnSetting();
        return TRUE;
    }
    if (id == IDC_JOBEDIT_TITLE && code == EN_CHANGE) {
        // A new input: its characters have not been warned about yet.
        m_pSettings->m_nTitleWarningShown = 0;
        return TRUE;
    }
    return CVlmDialog::OnCommand(wParam, lParam);
}

void CJobEditDlg::OnFunctionChanged() {
    HWND hList = GetDlgItem(IDC_JOBEDIT_FUNCTION);
    const long nPrevious = m_nShownFunction;
    EdShowingErrors(m_hWnd, [&] {
        const LRESULT sel = ::SendMessageA(hList, CB_GETCURSEL, 0, 0);
        const LRESULT data = ::SendMessageA(hList, CB_GETITEMDATA, sel, 0);
        if (sel < 0 || data == CB_ERR)
            EdThrowText("GetItemData error");
        const long nFunction = static_cast<long>(data);
        JobSetValue(m_pJob, vlm::kKeyFunctionId, CVariant(nFunction));
        ShowFunction(nFunction);
    });
    if (m_nShownFunction == nPrevious && nPrevious >= 0) {
        // The new function could not be shown: the job keeps the one it shows.
        const LRESULT count = ::SendMessageA(hList, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i)
            if (::SendMessageA(hList, CB_GETITEMDATA, i, 0) == nPrevious)
                ::SendMessageA(hList, CB_SETCURSEL, i, 0);
        try {
            JobSetValue(m_pJob, vlm::kKeyFunctionId, CVariant(nPrevious));
        } catch (const CComError& e) {
            EdShowError(m_hWnd, e.Message());
        }
    }
}

void CJobEditDlg::OnSetting() {
    CScannerSettingHost host(m_hWnd, m_pSettings, m_pJob, m_pScan.get());
    host.DoModal();
}

// Steps of OK; FALSE keeps the dialog open. Failures are raised.
BOOL CJobEditDlg::ConfirmAndSave() {
    // A title warned about stays silent until the user types again.
    if (!EdConfirmTitle(m_hWnd, IDC_JOBEDIT_TITLE, m_pSettings, FALSE))
        return FALSE;

    m_strTitle = GetDlgItemText(IDC_JOBEDIT_TITLE);
    JobSetValue(m_pJob, vlm::kKeyTitle, CVariant(m_strTitle.c_str()));
    auto& pages = PagesOf(m_nShownFunction).m_pages;
    for (auto& page : pages) {
        if (!page->UpdateData(TRUE))
            return FALSE;
        page->Save(m_pJob);
    }

    const long nFunction = JobGetLong(m_pJob, vlm::kKeyFunctionId);
    if (ReadDriver(m_pJob).empty() && nFunction < kFirstFunctionWithoutScan &&
        EdMessageBox(m_hWnd, EdText("Scanner Setting is not registered. Are You Sure?"), "Warning",
                     MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
        return FALSE;
    for (auto& page : pages)
        if (!page->Validate(m_pJob))
            return FALSE;

    // The runner holds this mutex while it runs; no name, no check.
    const std::wstring& name = m_pSettings->m_strKestrelMutexName;
    vlm::CHandle mutex(::CreateMutexW(nullptr, FALSE, name.empty() ? nullptr : name.c_str()));
    const DWORD err = ::GetLastError();
    if (!mutex)
        ThrowLastErrorText();
    if (err == ERROR_ALREADY_EXISTS) {
        mutex.Close();
        EdThrowText("Job is running.");
    }
    mutex.Close();

    EdCheck(m_pJob->Commit());
    return TRUE;
}

void CJobEditDlg::OnOK() {
    EdShowingErrors(m_hWnd, [this] {
        if (ConfirmAndSave())
            EndDialog(IDOK);
    });
}

INT_PTR RunJobEditDialog(CJobRegGUISettings* pSettings, long nJobNo, BOOL bWithFunctionList) {
    CJobEditDlg dlg(pSettings, nJobNo, bWithFunctionList);
    return dlg.Run();
}
