#include "editor/SavePage.h"
#include <shlobj.h>
#include "SavePage_res.h"
#include "common/JobRecord.h"
#include "editor/EditorError.h"
#include "editor/EditorText.h"
#include "editor/FormatDialogs.h"
#include "editor/SavePageDialogs.h"
#include "editor/core/SaveFolderRules.h"
#include "framework/Handles.h"
#include "framework/VtableDispatch.h"

namespace {
constexpr char kKeyJpegCmpDlg[] = "jpeg_CmpDlg"; // store-wide: the JPEG options may be set
constexpr char kKeySinglePdf[] = "Single_PDF";   // store-wide: the PDF options offer multi-page
constexpr size_t kMaxFileNameChars = 32;

// A job value that is there, read as a long.
bool ReadLong(IJobData* pJob, const char* key, long& value) {
    CVariant v = JobGetValue(pJob, key);
    if (v.IsEmpty())
        return false;
    EdCheck(v.ToLong(value));
    return true;
}

bool ReadText(IJobData* pJob, const char* key, std::string& value) {
    CVariant v = JobGetValue(pJob, key);
    if (v.IsEmpty())
        return false;
    EdCheck(v.ToAnsi(value));
    return true;
}

// The job's driver settings text: its bytes up to the first NUL.
std::string DriverText(IJobData* pJob) {
    std::vector<uint8_t> bytes;
    CVariant v = JobGetValue(pJob, vlm::kKeyDriver);
    if (v.vt & VT_ARRAY)
        EdCheck(VlmReadByteBlock(v, bytes));
    else if (!v.IsEmpty()) {
        std::string text;
        EdCheck(v.ToAnsi(text));
        bytes.assign(text.begin(), text.end());
    }
    std::string text(bytes.begin(), bytes.end());
    return text.substr(0, text.find('\0'));
}

// The values the page's buttons write while the page was not loaded (a page
// of another function than the job's): kept in order and handed to the job
// by Save, so that a function the user only looked at changes nothing. A
// value not set here reads as the job holds it, so the format and access
// dialogs start from the job's values on every page.
class CStagedJob final : public CVtableDispatch<IJobData> {
public:
    explicit CStagedJob(IJobData* pJob) : m_pJob(pJob) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** pp) override {
        if (!pp)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            IsEqualIID(iid, IID_IJobData)) {
            *pp = static_cast<IJobData*>(this);
            AddRef();
            return S_OK;
        }
        *pp = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_nRefs; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG n = --m_nRefs;
        if (n == 0)
            delete this;
        return n;
    }
    STDMETHODIMP Getdata(BSTR key, VARIANT* pValue) override {
        if (!pValue)
            return E_POINTER;
        ::VariantInit(pValue);
        auto it = Find(VlmBstrToAnsi(key));
        if (it != m_values.end())
            return ::VariantCopy(pValue, &it->second);
        return m_pJob ? m_pJob->Getdata(key, pValue) : S_OK;
    }
    STDMETHODIMP Setdata(BSTR key, VARIANT value) override {
        const std::string name = VlmBstrToAnsi(key);
        auto it = Find(name);
        if (it == m_values.end())
            m_values.emplace_back(name, CVariant(value));
        else
            it->second = CVariant(value);
        return S_OK;
    }
    // No dialog removes a value; the job's own would show through.
    STDMETHODIMP RemoveData(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP Commit() override { return E_NOTIMPL; }
    STDMETHODIMP GetJobNumber(long*) override { return E_NOTIMPL; }

    // Writes the values to the job in the order they were set.
    void HandTo(IJobData* pJob) const {
        for (const auto& [key, value] : m_values)
            JobSetValue(pJob, key.c_str(), value);
    }

private:
    std::vector<std::pair<std::string, CVariant>>::iterator Find(const std::string& key) {
        for (auto it = m_values.begin(); it != m_values.end(); ++it)
            if (_stricmp(it->first.c_str(), key.c_str()) == 0)
                return it;
        return m_values.end();
    }
    ULONG m_nRefs = 1;
    CComPtr<IJobData> m_pJob; // the job the values start from; may be none
    std::vector<std::pair<std::string, CVariant>> m_values;
};

// Functions whose page has this form.
bool FunctionOfForm(long functionId, BOOL bWithSaveImageBox) {
    return bWithSaveImageBox ? (functionId == SCAN_TO_MAIL || functionId == SCAN_TO_MAPI)
                             : (functionId == SCAN_TO_PC || functionId == SCAN_TO_PC_RUNAPP);
}

BOOL IsNtFamily() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExA(&info))
        return FALSE;
#pragma GCC diagnostic pop
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

std::string FolderPath(int csidl) {
    char path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return std::string();
    return path;
}
} // namespace

std::string EdPicturesFolderName() {
    CCoTaskMem<ITEMIDLIST> pidl;
    if (SUCCEEDED(::SHGetFolderLocation(nullptr, CSIDL_MYPICTURES | CSIDL_FLAG_CREATE, nullptr, 0,
                                        pidl.Receive())) &&
        pidl) {
        SHFILEINFOA info = {};
        if (::SHGetFileInfoA(reinterpret_cast<LPCSTR>(pidl.Get()), 0, &info, sizeof info,
                             SHGFI_PIDL | SHGFI_DISPLAYNAME) &&
            info.szDisplayName[0])
            return info.szDisplayName;
        return EdText("My Pictures");
    }
    std::string name = plover::LastPathComponent(FolderPath(CSIDL_MYPICTURES));
    if (name.empty())
        name = plover::LastPathComponent(FolderPath(CSIDL_PERSONAL));
    return name.empty() ? EdText("My Pictures") : name;
}

CSaveSettingPage::CSaveSettingPage(CJobRegGUISettings* pSettings, BOOL bWithSaveImageBox)
    : CJobEditPage(bWithSaveImageBox ? IDD_SAVEPAGE_IMAGE : IDD_SAVEPAGE, pSettings),
      m_bWithSaveImageBox(bWithSaveImageBox) {
    m_hInstance = EdInstance();
    OnCmd(IDC_SAVE_IMAGE, [this] { Guarded([this] { UpdateEnabledStates(); }); });
    OnCmd(IDC_SAVE_MYPICTURE, [this] { Guarded([this] { UpdateEnabledStates(); }); });
    OnCmd(IDC_SAVE_BROWSE, [this] { Guarded([this] { OnBrowse(); }); });
    OnCmd(IDC_SAVE_ACCESS, [this] { Guarded([this] { OnAccessSetting(); }); });
    OnCmd(IDC_SAVE_FORMAT_SETTING, [this] { Guarded([this] { OnFormatSetting(); }); });
}

template <class F> void CSaveSettingPage::Guarded(F work) {
    EdCatchFailure(work, [this](const std::string& text) {
        EdShowError(::GetAncestor(m_hWnd, GA_ROOT), text);
    });
}

IJobData* CSaveSettingPage::Job() {
    if (m_bWritesToJob)
        return m_pJob;
    if (!m_pStaged)
        m_pStaged.Attach(new CStagedJob(m_pJob));
    return m_pStaged;
}

void CSaveSettingPage::Load(IJobData* pJob) {
    m_pJob = pJob;
    m_bWritesToJob = TRUE;
    long functionId = 0;
    if (ReadLong(pJob, vlm::kKeyFunctionId, functionId) &&
        !FunctionOfForm(functionId, m_bWithSaveImageBox))
        return;
    m_bLoadedFromJob = TRUE;
    ReadText(pJob, vlm::kKeyFileName, m_strFileName);
    ReadText(pJob, vlm::kKeySavePath, m_strFolder);
    long value = 0;
    if (ReadLong(pJob, vlm::kKeySave, value))
        m_nSave = value != 0;
    if (ReadLong(pJob, vlm::kKeyMyPicture, value))
        m_nMyPicture = value != 0;
    if (ReadLong(pJob, vlm::kKeyFileType, value))
        m_nFileType = value;
}

BOOL CSaveSettingPage::OnInitDialog() {
    Guarded([this] { InitControls(); });
    return FALSE;
}

void CSaveSettingPage::InitControls() {
    for (int id : {IDC_SAVE_IMAGE, IDC_SAVE_MYPICTURE, IDC_SAVE_FOLDER_LABEL, IDC_SAVE_FOLDER,
                   IDC_SAVE_BROWSE, IDC_SAVE_ACCESS, IDC_SAVE_FILENAME_LABEL, IDC_SAVE_FILENAME,
                   IDC_SAVE_FILETYPE_LABEL, IDC_SAVE_FILETYPE, IDC_SAVE_FORMAT_SETTING})
        if (!GetDlgItem(id))
            EdThrowText("no memory");

    EdSetText(m_hWnd, IDC_SAVE_IMAGE, "Save Ima&ge");
    char label[512];
    snprintf(label, sizeof label, EdText("Save &to %s folder").c_str(),
             EdPicturesFolderName().c_str());
    SetDlgItemText(IDC_SAVE_MYPICTURE, label);
    EdSetText(m_hWnd, IDC_SAVE_FOLDER_LABEL, "Sa&ve in folder");
    EdSetText(m_hWnd, IDC_SAVE_BROWSE, "&Browse...");
    EdSetText(m_hWnd, IDC_SAVE_FILENAME_LABEL, "File na&me");
    EdSetText(m_hWnd, IDC_SAVE_FILETYPE_LABEL, "File t&ype");
    EdSetText(m_hWnd, IDC_SAVE_FORMAT_SETTING, "S&etting...");
    EdSetText(m_hWnd, IDC_SAVE_ACCESS, "Access sett&ing...");

    HWND hList = GetDlgItem(IDC_SAVE_FILETYPE);
    ::SendMessageA(hList, CB_RESETCONTENT, 0, 0);
    for (long type : plover::kSaveFileTypes) {
        const LRESULT i = ::SendMessageA(hList, CB_ADDSTRING, 0,
                                         reinterpret_cast<LPARAM>(vlm::FileTypeName(type)));
        if (i == CB_ERRSPACE)
            EdThrowText("no memory");
        if (i < 0 || ::SendMessageA(hList, CB_SETITEMDATA, i, type) == CB_ERR)
            EdThrowText("failed to make combo box");
    }
    const int index = m_bLoadedFromJob ? plover::SaveFileTypeIndex(m_nFileType) : -1;
    ::SendMessageA(hList, CB_SETCURSEL, index < 0 ? 0 : index, 0);

    UpdateData(FALSE);
    UpdateEnabledStates();
    if (!IsNtFamily())
        ::ShowWindow(GetDlgItem(IDC_SAVE_ACCESS), SW_HIDE);
    ::SendMessageA(GetDlgItem(IDC_SAVE_FILENAME), EM_LIMITTEXT, kMaxFileNameChars, 0);
}

BOOL CSaveSettingPage::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) == IDC_SAVE_FILETYPE) {
        if (HIWORD(wParam) == CBN_SELCHANGE)
            Guarded([this] { OnFileTypeChanged(); });
        return TRUE;
    }
    return CJobEditPage::OnCommand(wParam, lParam);
}

void CSaveSettingPage::DoDataExchange(CVlmDataExchange& dx) {
    DDX_Check(dx, IDC_SAVE_IMAGE, m_nSave);
    DDX_Check(dx, IDC_SAVE_MYPICTURE, m_nMyPicture);
    DDX_Text(dx, IDC_SAVE_FOLDER, m_strFolder);
    // The box keeps typing to 32 characters; a longer name stored by another
    // program is kept rather than refused without a word.
    DDX_Text(dx, IDC_SAVE_FILENAME, m_strFileName);
}

long CSaveSettingPage::SelectedFileType() const {
    HWND hList = GetDlgItem(IDC_SAVE_FILETYPE);
    const LRESULT i = ::SendMessageA(hList, CB_GETCURSEL, 0, 0);
    if (i == CB_ERR)
        return -1;
    const LRESULT type = ::SendMessageA(hList, CB_GETITEMDATA, i, 0);
    return type == CB_ERR ? -1 : static_cast<long>(type);
}

BOOL CSaveSettingPage::FormatSettingEnabled(long fileType) const {
    switch (fileType) {
    case plover::kFileTypePdf:
    case plover::kFileTypeTiff:
        return TRUE;
    case plover::kFileTypeJpeg:
        // Asked each time: the administrator may switch it meanwhile.
        EdCheck(m_pSettings->m_pJobStore->Load());
        return StoreGetLong(m_pSettings->m_pJobStore, kKeyJpegCmpDlg) == 1;
    default:
        return FALSE;
    }
}

void CSaveSettingPage::UpdateEnabledStates() {
    const BOOL bSave = ::IsDlgButtonChecked(m_hWnd, IDC_SAVE_IMAGE) == BST_CHECKED;
    const BOOL bFolder = bSave && ::IsDlgButtonChecked(m_hWnd, IDC_SAVE_MYPICTURE) != BST_CHECKED;
    for (int id : {IDC_SAVE_MYPICTURE, IDC_SAVE_FILENAME_LABEL, IDC_SAVE_FILENAME,
                   IDC_SAVE_FILETYPE_LABEL, IDC_SAVE_FILETYPE})
        ::EnableWindow(GetDlgItem(id), bSave);
    for (int id : {IDC_SAVE_FOLDER_LABEL, IDC_SAVE_FOLDER, IDC_SAVE_BROWSE, IDC_SAVE_ACCESS})
        ::EnableWindow(GetDlgItem(id), bFolder);
    ::EnableWindow(GetDlgItem(IDC_SAVE_FORMAT_SETTING), FormatSettingEnabled(SelectedFileType()));
}

void CSaveSettingPage::OnFileTypeChanged() {
    const long type = SelectedFileType();
    if (type >= 0)
        JobSetValue(Job(), vlm::kKeyFileType, CVariant(type));
    UpdateEnabledStates();
}

void CSaveSettingPage::OnFormatSetting() {
    switch (SelectedFileType()) {
    case plover::kFileTypeJpeg:
        RunJpegSettingDlg(m_hWnd, Job());
        break;
    case plover::kFileTypePdf: {
        EdCheck(m_pSettings->m_pJobStore->Load());
        const BOOL bMulti = StoreGetLong(m_pSettings->m_pJobStore, kKeySinglePdf) == 1;
        RunPdfSettingDlg(m_hWnd, Job(), bMulti);
        break;
    }
    case plover::kFileTypeTiff:
        RunTiffSettingDlg(m_hWnd, Job());
        break;
    default:
        break;
    }
}

void CSaveSettingPage::OnBrowse() {
    if (!UpdateData(TRUE))
        return;
    std::string folder = m_strFolder;
    if (EdBrowseForSaveFolder(::GetAncestor(m_hWnd, GA_ROOT), folder)) {
        m_strFolder = folder;
        SetDlgItemText(IDC_SAVE_FOLDER, folder.c_str());
    }
}

void CSaveSettingPage::OnAccessSetting() {
    IJobData* pJob = Job();
    CAccessSettingDlg dlg(::GetAncestor(m_hWnd, GA_ROOT), JobGetString(pJob, vlm::kKeyUserName),
                          JobGetString(pJob, vlm::kKeyPassword));
    if (dlg.DoModal() != IDOK)
        return;
    JobSetValue(pJob, vlm::kKeyUserName, CVariant(dlg.m_strUserName.c_str()));
    JobSetValue(pJob, vlm::kKeyPassword, CVariant(dlg.m_strPassword.c_str()));
}

void CSaveSettingPage::Save(IJobData* pJob) {
    if (m_pStaged) {
        static_cast<CStagedJob*>(m_pStaged.Get())->HandTo(pJob);
        m_pStaged.Release();
    }
    m_pJob = pJob;
    m_bWritesToJob = TRUE;
    const long type = SelectedFileType();
    if (type < 0)
        EdThrowText("Unknown error");
    JobSetValue(pJob, vlm::kKeyFileType, CVariant(type));
    JobSetValue(pJob, vlm::kKeyFileName, CVariant(m_strFileName.c_str()));
    JobSetValue(pJob, vlm::kKeySavePath, CVariant(m_strFolder.c_str()));
    JobSetValue(pJob, vlm::kKeySave, CVariant(static_cast<long>(m_nSave != 0)));
    JobSetValue(pJob, vlm::kKeyMyPicture, CVariant(static_cast<long>(m_nMyPicture != 0)));
}

BOOL CSaveSettingPage::Validate(IJobData* pJob) {
    plover::SaveSettingValues v;
    v.m_strFileName = JobGetString(pJob, vlm::kKeyFileName);
    v.m_strFolder = JobGetString(pJob, vlm::kKeySavePath);
    v.m_bSave = JobGetLong(pJob, vlm::kKeySave) != 0;
    v.m_bMyPicture = JobGetLong(pJob, vlm::kKeyMyPicture) != 0;
    v.m_nFileType = JobGetLong(pJob, vlm::kKeyFileType);
    v.m_strDriverText = DriverText(pJob);
    const plover::SaveCheck check = plover::CheckSaveSettings(v);
    if (check == plover::SaveCheck::Pass)
        return TRUE;
    std::string text = EdText(plover::SaveCheckText(check));
    int focus = IDC_SAVE_FILETYPE;
    switch (check) {
    case plover::SaveCheck::InvalidLetters:
        text = plover::kInvalidLettersShown + text;
        focus = IDC_SAVE_FILENAME;
        break;
    case plover::SaveCheck::TooLong:
        focus = IDC_SAVE_FILENAME;
        break;
    case plover::SaveCheck::NoLocation:
        focus = IDC_SAVE_FOLDER;
        break;
    default:
        break;
    }
    EdShowError(::GetAncestor(m_hWnd, GA_ROOT), text);
    if (HWND hCtl = GetDlgItem(focus); hCtl && ::IsWindowEnabled(hCtl))
        ::SetFocus(hCtl);
    return FALSE;
}

std::unique_ptr<CJobEditPage> CreateSavePage(CJobRegGUISettings* pSettings,
                                             BOOL bWithSaveImageBox) {
    return std::make_unique<CSaveSettingPage>(pSettings, bWithSaveImageBox);
}
