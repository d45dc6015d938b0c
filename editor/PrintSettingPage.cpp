#include "editor/PrintSettingPage.h"

#include "FunctionPages_res.h"
#include "common/VlmLog.h"
#include "editor/EditorError.h"
#include "editor/EditorText.h"

namespace {
// A byte block the print dialog can be prepared from.
bool HoldsBlock(const CVariant& v) {
    return (v.vt & VT_ARRAY) != 0;
}

// The printer in the job, shown as its name. Raises CComError.
void StorePrinter(IJobData* pJob, const CJobPrintDialog& dlg) {
    dlg.Store(pJob);
    JobSetValue(pJob, vlm::kKeyPrinterName, CVariant(dlg.DeviceName().c_str()));
}
} // namespace

CPrintSettingPage::CPrintSettingPage(CJobRegGUISettings* pSettings)
    : CFunctionPage(IDD_PRINT_PAGE, pSettings, SCAN_TO_PR) {}

std::unique_ptr<CJobEditPage> CreatePrintPage(CJobRegGUISettings* pSettings) {
    return std::make_unique<CPrintSettingPage>(pSettings);
}

void CPrintSettingPage::EnsurePrinter(IJobData* pJob) {
    const CVariant mode = JobGetValue(pJob, vlm::kKeyDevMode);
    const CVariant names = JobGetValue(pJob, vlm::kKeyDevName);
    if (HoldsBlock(mode) && HoldsBlock(names)) {
        std::vector<uint8_t> bytes;
        ThrowIfFailed(VlmReadByteBlock(names, bytes), IID_IJobData);
        m_strPrinterName = DevNamesDeviceName(bytes);
        return;
    }
    CJobPrintDialog dlg;
    if (!dlg.GetDefaults()) {
        // Nothing to store: the runner says "Can't initialize printer." if
        // the job still has no printer when it runs.
        CVlmLog::Instance().Write("The print page found no default printer");
        m_strPrinterName.clear();
        return;
    }
    dlg.m_hDC.Close();
    StorePrinter(pJob, dlg);
    m_strPrinterName = dlg.DeviceName();
}

void CPrintSettingPage::Load(IJobData* pJob) {
    m_pJob = pJob;
    m_bLoaded = TRUE;
    if (!IsPageFunction(pJob))
        return;
    EnsurePrinter(pJob);
    m_nPrintSize = JobGetLong(pJob, vlm::kKeyPrintSize) ? 1 : 0;
}

void CPrintSettingPage::Save(IJobData* pJob) {
    if (m_pChosen)
        StorePrinter(pJob, *m_pChosen);
    else
        EnsurePrinter(pJob);
    JobSetValue(pJob, vlm::kKeyPrintSize, CVariant(static_cast<long>(m_nPrintSize)));
}

BOOL CPrintSettingPage::Validate(IJobData*) {
    return TRUE;
}

BOOL CPrintSettingPage::OnInitDialog() {
    EdSetText(m_hWnd, IDC_PRINT_PRINTER_LABEL, "Printer:");
    EdSetText(m_hWnd, IDC_PRINT_SETTING, "&Printer setting...");
    EdSetText(m_hWnd, IDC_PRINT_FORMAT_LABEL, "Print format:");
    EdSetText(m_hWnd, IDC_PRINT_ACTUAL, "A&ctual size");
    EdSetText(m_hWnd, IDC_PRINT_FIT, "F&it to paper");
    OnCmd(IDC_PRINT_SETTING, [this] { OnPrinterSetting(); });
    ShowPrinterName();
    UpdateData(FALSE);
    return TRUE;
}

void CPrintSettingPage::DoDataExchange(CVlmDataExchange& dx) {
    DDX_Radio(dx, IDC_PRINT_ACTUAL, m_nPrintSize);
    CheckControls(dx);
    if (dx.m_bSaveAndValidate && m_nPrintSize < 0)
        m_nPrintSize = 0;
}

void CPrintSettingPage::ShowPrinterName() {
    SetDlgItemText(IDC_PRINT_PRINTER_NAME, m_strPrinterName.c_str());
}

void CPrintSettingPage::OnPrinterSetting() {
    try {
        const bool bFirst = !m_pChosen;
        if (bFirst) {
            m_pChosen = std::make_unique<CJobPrintDialog>();
            if (m_pJob)
                m_pChosen->Restore(m_pJob); // without a usable printer: the default one
        }
        // Owned by the dialog around the page, which waits for it: without
        // an owner that dialog could be closed under it and the choice lost.
        if (!m_pChosen->DoModal(::GetAncestor(m_hWnd, GA_ROOT))) {
            if (bFirst)
                m_pChosen.reset();
            return;
        }
        m_pChosen->m_hDC.Close();
        if (m_bLoaded)
            StorePrinter(m_pJob, *m_pChosen);
        m_strPrinterName = m_pChosen->DeviceName();
        ShowPrinterName();
    } catch (const CComError& e) {
        EdShowError(m_hWnd, e.Message());
    }
}
