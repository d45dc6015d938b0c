// The file format option dialogs the save page's "S&etting..." opens: JPEG
// quality, TIFF multi-page and compression, PDF compression and OCR (with or
// without the multi-page choice). Each reads its job values when it opens and
// writes them back on OK; Cancel changes nothing.
#pragma once
#include <windows.h>
#include <exception>
#include <string>
#include "Taskstore.h"
#include "framework/Dialog.h"

class CFormatSettingDlg : public CVlmDialog {
public:
    CFormatSettingDlg(UINT nIdTemplate, HWND hParent, IJobData* pJob);
    // The end code; 3 when the dialog could not read its values (the user
    // was told). Store failures of OK are raised (CComError).
    INT_PTR Run();

protected:
    BOOL OnInitDialog() final;
    void OnOK() final;
    // Reads the job and fills the controls; failures are raised.
    virtual void InitValues() = 0;
    // Writes the controls' values to the job; FALSE keeps the dialog open.
    virtual BOOL WriteValues() = 0;
    // Sets the localised texts of the OK and Cancel buttons and the caption.
    long ReadLong(const char* key);
    void WriteLong(const char* key, long value);

    IJobData* m_pJob;

private:
    // A store failure of OK, raised again once the dialog has ended.
    std::exception_ptr m_pendingError;
};

class CJpegSettingDlg : public CFormatSettingDlg {
public:
    CJpegSettingDlg(HWND hParent, IJobData* pJob);

protected:
    void InitValues() override;
    BOOL WriteValues() override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

private:
    void ShowValue();
    int SliderValue() const;
    void OnPreset(int preset);
};

class CTiffSettingDlg : public CFormatSettingDlg {
public:
    CTiffSettingDlg(HWND hParent, IJobData* pJob);

protected:
    void InitValues() override;
    BOOL WriteValues() override;
};

// Two forms: bMultiPage offers the multi-page choice and the third
// compression rate ("Single_PDF" is 1 in the store).
class CPdfSettingDlg : public CFormatSettingDlg {
public:
    CPdfSettingDlg(HWND hParent, IJobData* pJob, BOOL bMultiPage);

protected:
    void InitValues() override;
    BOOL WriteValues() override;

private:
    // The Security group and the PDF/A box.
    void InitSecurity();
    // PDF/A and passwords exclude each other; the permissions need a
    // permissions password.
    void UpdateSecurityControls();
    // FALSE after telling the user what is wrong (the field has the focus).
    BOOL CheckSecurity();
    void WriteSecurity();
    BOOL Refuse(int nId, const std::string& text);

    BOOL m_bMultiPage;
};

INT_PTR RunJpegSettingDlg(HWND hParent, IJobData* pJob);
INT_PTR RunTiffSettingDlg(HWND hParent, IJobData* pJob);
INT_PTR RunPdfSettingDlg(HWND hParent, IJobData* pJob, BOOL bMultiPage);
