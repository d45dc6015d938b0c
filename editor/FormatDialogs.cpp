#include "editor/FormatDialogs.h"
#include <commctrl.h>
#include "SavePage_res.h"
#include "common/JobRecord.h"
#include "common/portable/LocalizeTable.h"
#include "editor/EditorDialog.h"
#include "editor/EditorError.h"
#include "editor/EditorText.h"
#include "editor/core/FormatOptionRules.h"

namespace {
// The end code of a dialog that could not read its values.
constexpr INT_PTR kInitFailed = 3;

// A "%s" label with a localised word in place of "%s".
std::string Formatted(const char* englishFormat, const char* englishWord) {
    return VlmFillIn(EdText(englishFormat), EdText(englishWord));
}

void CheckRadio(HWND hDlg, int first, int last, int index) {
    ::CheckRadioButton(hDlg, first, last, index < 0 ? 0 : first + index);
}

bool IsChecked(HWND hDlg, int id) {
    return ::IsDlgButtonChecked(hDlg, id) == BST_CHECKED;
}

void Check(HWND hDlg, int id, bool on) {
    ::CheckDlgButton(hDlg, id, on ? BST_CHECKED : BST_UNCHECKED);
}

// Passwords go through the edit boxes as UTF-16, so that no character is lost
// to the ANSI code page on its way to the store.
std::wstring ItemTextW(HWND hDlg, int id) {
    HWND h = ::GetDlgItem(hDlg, id);
    const int n = ::GetWindowTextLengthW(h);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(h, &text[0], n + 1)));
    return text;
}

void SetItemTextUtf8(HWND hDlg, int id, const std::string& utf8) {
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(n), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &text[0], n);
    ::SetDlgItemTextW(hDlg, id, text.c_str());
}

void WriteText(IJobData* pJob, const char* key, const std::wstring& text) {
    CVariant v;
    v.vt = VT_BSTR;
    v.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!v.bstrVal)
        ThrowIfFailed(E_OUTOFMEMORY);
    JobSetValue(pJob, key, v);
}

// The password boxes: each password with its confirmation.
struct PasswordPair {
    int m_nEdit, m_nConfirm;
};
constexpr PasswordPair kPasswordPairs[] = {{IDC_PDF_USER_PW, IDC_PDF_USER_PW2},
                                           {IDC_PDF_OWNER_PW, IDC_PDF_OWNER_PW2}};
constexpr int kPasswordControls[] = {
    IDC_PDF_USER_PW_LABEL,  IDC_PDF_USER_PW,  IDC_PDF_USER_PW2_LABEL,  IDC_PDF_USER_PW2,
    IDC_PDF_OWNER_PW_LABEL, IDC_PDF_OWNER_PW, IDC_PDF_OWNER_PW2_LABEL, IDC_PDF_OWNER_PW2};
constexpr int kPermissionControls[] = {IDC_PDF_PERMISSIONS_LABEL, IDC_PDF_ALLOW_PRINT,
                                       IDC_PDF_ALLOW_COPY, IDC_PDF_ALLOW_CHANGE};
struct PermissionBox {
    int m_nId;
    unsigned m_nBit;
};
constexpr PermissionBox kPermissionBoxes[] = {{IDC_PDF_ALLOW_PRINT, vlm::pdfmaker::kAllowPrint},
                                              {IDC_PDF_ALLOW_COPY, vlm::pdfmaker::kAllowCopy},
                                              {IDC_PDF_ALLOW_CHANGE, vlm::pdfmaker::kAllowChange}};

// The checked button's index in first..last, -1 for none.
int CheckedRadio(HWND hDlg, int first, int last) {
    for (int id = first; id <= last; ++id)
        if (::IsDlgButtonChecked(hDlg, id) == BST_CHECKED)
            return id - first;
    return -1;
}
} // namespace

CFormatSettingDlg::CFormatSettingDlg(UINT nIdTemplate, HWND hParent, IJobData* pJob)
    : CVlmDialog(nIdTemplate, hParent, EdInstance()), m_pJob(pJob) {}

INT_PTR CFormatSettingDlg::Run() {
    const INT_PTR result = DoModal();
    if (m_pendingError)
        std::rethrow_exception(m_pendingError);
    return result;
}

BOOL CFormatSettingDlg::OnInitDialog() {
    if (!EdShowingErrors(m_hWnd, [this] { InitValues(); }))
        EndDialog(kInitFailed);
    return TRUE;
}

void CFormatSettingDlg::OnOK() {
    try {
        if (WriteValues())
            EndDialog(IDOK);
    } catch (...) {
        // Raised to the save page once the dialog is gone.
        m_pendingError = std::current_exception();
        EndDialog(IDCANCEL);
    }
}

long CFormatSettingDlg::ReadLong(const char* key) {
    return JobGetLong(m_pJob, key);
}

void CFormatSettingDlg::WriteLong(const char* key, long value) {
    JobSetValue(m_pJob, key, CVariant(value));
}

// JPEG: four presets and the slider, which always holds the quality.
CJpegSettingDlg::CJpegSettingDlg(HWND hParent, IJobData* pJob)
    : CFormatSettingDlg(IDD_JPEG_SETTING, hParent, pJob) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&icc);
    OnCmd(IDC_JPEG_HIGH, [this] { OnPreset(0); });
    OnCmd(IDC_JPEG_STANDARD, [this] { OnPreset(1); });
    OnCmd(IDC_JPEG_COMPRESSION, [this] { OnPreset(2); });
}

void CJpegSettingDlg::InitValues() {
    const long quality = ReadLong(vlm::kKeyJpegComp);
    EdSetDialogTexts(m_hWnd, "JPEG File Setting");
    EdSetText(m_hWnd, IDC_JPEG_QUALITY_GROUP, "Quality");
    EdSetText(m_hWnd, IDC_JPEG_HIGH, "High &Quality");
    EdSetText(m_hWnd, IDC_JPEG_STANDARD, "Sta&ndard");
    EdSetText(m_hWnd, IDC_JPEG_COMPRESSION, "High &Compression");
    EdSetText(m_hWnd, IDC_JPEG_USER, "&User settings");
    SetDlgItemText(IDC_JPEG_LEFT, Formatted("<< %s", "High Compression").c_str());
    SetDlgItemText(IDC_JPEG_RIGHT, Formatted("%s >>", "High Quality").c_str());
    HWND hSlider = GetDlgItem(IDC_JPEG_SLIDER);
    ::SendMessageA(hSlider, TBM_SETRANGE, FALSE,
                   MAKELPARAM(plover::kJpegQualityMin, plover::kJpegQualityMax));
    ::SendMessageA(hSlider, TBM_SETTICFREQ, 10, 0);
    ::SendMessageA(hSlider, TBM_SETPAGESIZE, 0, 10);
    ::SendMessageA(hSlider, TBM_SETPOS, TRUE, plover::JpegQualityOnSlider(quality));
    CheckRadio(m_hWnd, IDC_JPEG_HIGH, IDC_JPEG_USER, plover::JpegPresetFor(quality));
    ShowValue();
}

int CJpegSettingDlg::SliderValue() const {
    return static_cast<int>(::SendMessageA(GetDlgItem(IDC_JPEG_SLIDER), TBM_GETPOS, 0, 0));
}

void CJpegSettingDlg::ShowValue() {
    SetDlgItemText(IDC_JPEG_VALUE, std::to_string(SliderValue()).c_str());
}

void CJpegSettingDlg::OnPreset(int preset) {
    ::SendMessageA(GetDlgItem(IDC_JPEG_SLIDER), TBM_SETPOS, TRUE,
                   plover::JpegPresetQuality(preset));
    ShowValue();
}

BOOL CJpegSettingDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) {
    // Any move of the slider (mouse or keyboard) is the user's own setting.
    if (msg == WM_HSCROLL && reinterpret_cast<HWND>(lParam) == GetDlgItem(IDC_JPEG_SLIDER)) {
        CheckRadio(m_hWnd, IDC_JPEG_HIGH, IDC_JPEG_USER, plover::kJpegUserPreset);
        ShowValue();
        lResult = 0;
        return TRUE;
    }
    return CFormatSettingDlg::OnMessage(msg, wParam, lParam, lResult);
}

BOOL CJpegSettingDlg::WriteValues() {
    WriteLong(vlm::kKeyJpegComp, SliderValue());
    return TRUE;
}

// TIFF: one file per page or one multi-page file, compressed or not.
CTiffSettingDlg::CTiffSettingDlg(HWND hParent, IJobData* pJob)
    : CFormatSettingDlg(IDD_TIFF_SETTING, hParent, pJob) {}

void CTiffSettingDlg::InitValues() {
    const int multiPage = plover::AsFlag(ReadLong(vlm::kKeyTiffMultiPage));
    const int compressed = plover::AsFlag(ReadLong(vlm::kKeyTiffComp));
    EdSetDialogTexts(m_hWnd, "TIFF setting");
    EdSetText(m_hWnd, IDC_TIFF_MULTI_GROUP, "Multi-tiff setting");
    EdSetText(m_hWnd, IDC_TIFF_SINGLE, "&Single page");
    EdSetText(m_hWnd, IDC_TIFF_MULTI, "&Multi-page");
    EdSetText(m_hWnd, IDC_TIFF_COMPRESSION, "&Compression");
    CheckRadio(m_hWnd, IDC_TIFF_SINGLE, IDC_TIFF_MULTI, multiPage);
    ::CheckDlgButton(m_hWnd, IDC_TIFF_COMPRESSION, compressed ? BST_CHECKED : BST_UNCHECKED);
}

BOOL CTiffSettingDlg::WriteValues() {
    WriteLong(vlm::kKeyTiffComp,
              ::IsDlgButtonChecked(m_hWnd, IDC_TIFF_COMPRESSION) == BST_CHECKED ? 1 : 0);
    WriteLong(vlm::kKeyTiffMultiPage, CheckedRadio(m_hWnd, IDC_TIFF_SINGLE, IDC_TIFF_MULTI) == 1);
    return TRUE;
}

// PDF: compression rate, OCR language and switch; the multi-page form adds
// the multi-page choice and "Character Precedence".
CPdfSettingDlg::CPdfSettingDlg(HWND hParent, IJobData* pJob, BOOL bMultiPage)
    : CFormatSettingDlg(bMultiPage ? IDD_PDF_SETTING_MULTI : IDD_PDF_SETTING, hParent, pJob),
      m_bMultiPage(bMultiPage) {
    for (int id : kPasswordControls)
        OnCmd(id, [this] { UpdateSecurityControls(); });
    OnCmd(IDC_PDF_PDFA, [this] { UpdateSecurityControls(); });
}

void CPdfSettingDlg::InitValues() {
    const long compRate = ReadLong(vlm::kKeyPdfCompRate);
    const long languageId = ReadLong(vlm::kKeyPdfOcrLangId);
    const int addOcr = plover::AsFlag(ReadLong(vlm::kKeyPdfAddOcr));
    const int multiPage = m_bMultiPage ? plover::AsFlag(ReadLong(vlm::kKeyPdfMultiPage)) : 0;

    EdSetDialogTexts(m_hWnd, "PDF setting");
    const int lastRate = m_bMultiPage ? IDC_PDF_CHARACTER : IDC_PDF_HIGH;
    if (m_bMultiPage) {
        EdSetText(m_hWnd, IDC_PDF_MULTI_GROUP, "Multi-pdf settings");
        EdSetText(m_hWnd, IDC_PDF_SINGLE, "&Single page");
        EdSetText(m_hWnd, IDC_PDF_MULTI, "&Multi-page");
        EdSetText(m_hWnd, IDC_PDF_COMP_LABEL, "Compression rate");
        EdSetText(m_hWnd, IDC_PDF_CHARACTER, "Character &Precedence");
        EdSetText(m_hWnd, IDC_PDF_OCR_GROUP, "OCR Settings");
        CheckRadio(m_hWnd, IDC_PDF_SINGLE, IDC_PDF_MULTI, multiPage);
    } else {
        EdSetText(m_hWnd, IDC_PDF_COMP_LABEL, "Compression rate :");
    }
    EdSetText(m_hWnd, IDC_PDF_NORMAL, "&Normal");
    EdSetText(m_hWnd, IDC_PDF_HIGH, "&High Compression");
    EdSetText(m_hWnd, IDC_PDF_LANGUAGE_LABEL, "&Language for OCR");
    EdSetText(m_hWnd, IDC_PDF_APPLY_OCR, "&Apply OCR");
    CheckRadio(m_hWnd, IDC_PDF_NORMAL, lastRate,
               plover::PdfCompRateChoice(compRate, m_bMultiPage != FALSE));

    HWND hList = GetDlgItem(IDC_PDF_LANGUAGE);
    for (const plover::OcrLanguageEntry& e : plover::kOcrLanguages) {
        const std::string name = EdText(e.m_pszName);
        const LRESULT i =
            ::SendMessageA(hList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        if (i < 0 || ::SendMessageA(hList, CB_SETITEMDATA, i, e.m_nId) == CB_ERR)
            EdThrowText("failed to make combo box");
    }
    ::SendMessageA(hList, CB_SETCURSEL, plover::OcrLanguageIndex(languageId), 0);
    ::CheckDlgButton(m_hWnd, IDC_PDF_APPLY_OCR, addOcr ? BST_CHECKED : BST_UNCHECKED);
    InitSecurity();
}

void CPdfSettingDlg::InitSecurity() {
    vlm::PdfProtection p;
    JobLoadPdfProtection(p, m_pJob);
    static const struct {
        int m_nId;
        const char* m_pszText;
    } kTexts[] = {
        {IDC_PDF_SECURITY_GROUP, "Security"},
        {IDC_PDF_USER_PW_LABEL, "&Open password"},
        {IDC_PDF_USER_PW2_LABEL, "Con&firm"},
        {IDC_PDF_OWNER_PW_LABEL, "Pe&rmissions password"},
        {IDC_PDF_OWNER_PW2_LABEL, "Conf&irm"},
        {IDC_PDF_PERMISSIONS_LABEL, "Without the permissions password a reader may:"},
        {IDC_PDF_ALLOW_PRINT, "Allow prin&ting"},
        {IDC_PDF_ALLOW_COPY, "Allow cop&ying"},
        {IDC_PDF_ALLOW_CHANGE, "Allow chan&ging"},
        {IDC_PDF_PDFA, "PDF/A (ar&chive)"},
        {IDC_PDF_PDFA_NOTE,
         "PDF/A and passwords exclude each other: a PDF/A file cannot be password protected."},
    };
    for (const auto& t : kTexts)
        EdSetText(m_hWnd, t.m_nId, t.m_pszText);
    for (int id : kPasswordControls)
        ::SendDlgItemMessageA(m_hWnd, id, EM_LIMITTEXT, plover::kPdfPasswordMaxChars, 0);
    // A password that cannot be unsealed shows empty: the user enters it again.
    SetItemTextUtf8(m_hWnd, IDC_PDF_USER_PW, p.m_strUserPassword);
    SetItemTextUtf8(m_hWnd, IDC_PDF_USER_PW2, p.m_strUserPassword);
    SetItemTextUtf8(m_hWnd, IDC_PDF_OWNER_PW, p.m_strOwnerPassword);
    SetItemTextUtf8(m_hWnd, IDC_PDF_OWNER_PW2, p.m_strOwnerPassword);
    for (const PermissionBox& box : kPermissionBoxes)
        Check(m_hWnd, box.m_nId, (static_cast<unsigned>(p.m_nPermissions) & box.m_nBit) != 0);
    Check(m_hWnd, IDC_PDF_PDFA, p.m_bPdfA);
    UpdateSecurityControls();
}

void CPdfSettingDlg::UpdateSecurityControls() {
    bool anyPassword = false;
    for (const PasswordPair& pair : kPasswordPairs)
        anyPassword = anyPassword || !ItemTextW(m_hWnd, pair.m_nEdit).empty() ||
                      !ItemTextW(m_hWnd, pair.m_nConfirm).empty();
    const bool pdfA = IsChecked(m_hWnd, IDC_PDF_PDFA);
    // A stored job with both keeps PDF/A enabled, so that it can be unchecked.
    ::EnableWindow(GetDlgItem(IDC_PDF_PDFA), pdfA || !anyPassword);
    for (int id : kPasswordControls)
        ::EnableWindow(GetDlgItem(id), !pdfA);
    const bool permissions = !pdfA && !ItemTextW(m_hWnd, IDC_PDF_OWNER_PW).empty();
    for (int id : kPermissionControls)
        ::EnableWindow(GetDlgItem(id), permissions);
}

BOOL CPdfSettingDlg::Refuse(int nId, const std::string& text) {
    EdRefuseField(m_hWnd, nId, text);
    return FALSE;
}

BOOL CPdfSettingDlg::CheckSecurity() {
    bool anyPassword = false;
    for (const PasswordPair& pair : kPasswordPairs) {
        const std::wstring text = ItemTextW(m_hWnd, pair.m_nEdit);
        switch (plover::CheckPdfPassword(std::u16string(text.begin(), text.end()))) {
        case plover::PdfPasswordCheck::TooLong:
            return Refuse(pair.m_nEdit,
                          VlmFillIn(EdText("A password may have up to %s characters."),
                                    std::to_string(plover::kPdfPasswordMaxChars)));
        case plover::PdfPasswordCheck::BadCharacter:
            return Refuse(pair.m_nEdit,
                          EdText("The password contains a character that cannot be used."));
        case plover::PdfPasswordCheck::Ok:
            break;
        }
        if (text != ItemTextW(m_hWnd, pair.m_nConfirm))
            return Refuse(pair.m_nConfirm, EdText("The passwords do not match."));
        anyPassword = anyPassword || !text.empty();
    }
    if (anyPassword && IsChecked(m_hWnd, IDC_PDF_PDFA))
        return Refuse(IDC_PDF_PDFA, EdText("A PDF/A file cannot be password protected."));
    return TRUE;
}

void CPdfSettingDlg::WriteSecurity() {
    WriteText(m_pJob, vlm::kKeyPdfUserPassword, ItemTextW(m_hWnd, IDC_PDF_USER_PW));
    WriteText(m_pJob, vlm::kKeyPdfOwnerPassword, ItemTextW(m_hWnd, IDC_PDF_OWNER_PW));
    unsigned permissions = 0;
    for (const PermissionBox& box : kPermissionBoxes)
        if (IsChecked(m_hWnd, box.m_nId))
            permissions |= box.m_nBit;
    WriteLong(vlm::kKeyPdfFlag, static_cast<long>(permissions));
    WriteLong(vlm::kKeyPdfCryptLevel, vlm::pdfmaker::kCryptAes256); // the only level offered
    WriteLong(vlm::kKeyPdfPdfA, IsChecked(m_hWnd, IDC_PDF_PDFA) ? 1 : 0);
}

BOOL CPdfSettingDlg::WriteValues() {
    if (!CheckSecurity())
        return FALSE;
    WriteLong(vlm::kKeyPdfAddOcr, ::IsDlgButtonChecked(m_hWnd, IDC_PDF_APPLY_OCR) == BST_CHECKED);
    const int rate =
        CheckedRadio(m_hWnd, IDC_PDF_NORMAL, m_bMultiPage ? IDC_PDF_CHARACTER : IDC_PDF_HIGH);
    // No button checked (a stored rate the form does not offer): keep it.
    if (rate >= 0)
        WriteLong(vlm::kKeyPdfCompRate, rate);
    if (m_bMultiPage)
        WriteLong(vlm::kKeyPdfMultiPage, CheckedRadio(m_hWnd, IDC_PDF_SINGLE, IDC_PDF_MULTI) == 1);
    WriteSecurity();
    HWND hList = GetDlgItem(IDC_PDF_LANGUAGE);
    if (!hList) {
        EdMessageBox(m_hWnd, EdText("no memory"), "", MB_OK);
        return TRUE;
    }
    // Without a selection (a stored id the list does not hold) the id stays.
    const LRESULT i = ::SendMessageA(hList, CB_GETCURSEL, 0, 0);
    if (i != CB_ERR)
        WriteLong(vlm::kKeyPdfOcrLangId,
                  static_cast<long>(::SendMessageA(hList, CB_GETITEMDATA, i, 0)));
    return TRUE;
}

INT_PTR RunJpegSettingDlg(HWND hParent, IJobData* pJob) {
    return CJpegSettingDlg(hParent, pJob).Run();
}

INT_PTR RunTiffSettingDlg(HWND hParent, IJobData* pJob) {
    return CTiffSettingDlg(hParent, pJob).Run();
}

INT_PTR RunPdfSettingDlg(HWND hParent, IJobData* pJob, BOOL bMultiPage) {
    return CPdfSettingDlg(hParent, pJob, bMultiPage).Run();
}
