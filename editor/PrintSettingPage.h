// The "Print" page: the job's printer, chosen in the platform's print dialog
// and kept in the job as the dialog's DEVMODE and DEVNAMES blocks with its
// flags and page values, and the print format (actual size or fit to paper).
// A print job without a printer gets the system's default printer.
#pragma once
#include <memory>
#include <string>
#include "common/JobPrinter.h"
#include "editor/FunctionPage.h"

class CPrintSettingPage : public CFunctionPage {
public:
    explicit CPrintSettingPage(CJobRegGUISettings* pSettings);
    void Load(IJobData* pJob) override;
    void Save(IJobData* pJob) override;
    BOOL Validate(IJobData* pJob) override;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CVlmDataExchange& dx) override;

private:
    // Without "devmode" or "devname" in the job, the default printer is
    // written to it. Raises CComError.
    void EnsurePrinter(IJobData* pJob);
    void OnPrinterSetting();
    void ShowPrinterName();

    BOOL m_bLoaded = FALSE; // the print dialog's choice goes to the job at once
    // The printer chosen in the print dialog, which starts from the job's.
    // A page that was not loaded (another function's page until the user
    // picked "Print") keeps it until Save hands it to the job.
    std::unique_ptr<CJobPrintDialog> m_pChosen;
    std::string m_strPrinterName;
    int m_nPrintSize = 0; // 0 actual size, 1 fit to paper
};
