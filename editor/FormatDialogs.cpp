#include "editor/FormatDialogs.h"
#include <commctrl.h>
#include "SavePage_res.h"
#include "common/JobRecord.h"
#include "common/portable/LocalizeTable.h"
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
      m_bMultiPage(bMultiPage) {}

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
}

BOOL CPdfSettingDlg::WriteValues() {
    WriteLong(vlm::kKeyPdfAddOcr, ::IsDlgButtonChecked(m_hWnd, IDC_PDF_APPLY_OCR) == BST_CHECKED);
    const int rate =
        CheckedRadio(m_hWnd, IDC_PDF_NORMAL, m_bMultiPage ? IDC_PDF_CHARACTER : IDC_PDF_HIGH);
    // No button checked (a stored rate the form does not offer): keep it.
    if (rate >= 0)
        WriteLong(vlm::kKeyPdfCompRate, rate);
    if (m_bMultiPage)
        WriteLong(vlm::kKeyPdfMultiPage, CheckedRadio(m_hWnd, IDC_PDF_SINGLE, IDC_PDF_MULTI) == 1);
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
