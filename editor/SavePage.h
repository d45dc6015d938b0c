// CSaveSettingPage: where and how a function's images are saved (save at
// all, the pictures folder or another folder, file name, file type with its
// format options, the folder's access setting). "Save as file" and "Open by
// Application" use the form without the save-image box, "Attach to E-mail"
// and "Send by E-Mail" the form with it.
#pragma once
#include <string>
#include "editor/JobPages.h"
#include "framework/ComPtr.h"

class CSaveSettingPage : public CJobEditPage {
public:
    CSaveSettingPage(CJobRegGUISettings* pSettings, BOOL bWithSaveImageBox);

    // From here on the file type, format and access buttons write to the job
    // at once (a page never loaded keeps their values until Save). The
    // values are read when the job belongs to a function of this form, or
    // has no function yet; a job of another function leaves the defaults, as
    // does every key the job does not hold.
    void Load(IJobData* pJob) override;
    void Save(IJobData* pJob) override;
    // Shows the first failed rule in an "Error" box and focuses its control.
    BOOL Validate(IJobData* pJob) override;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CVlmDataExchange& dx) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    void InitControls();
    void UpdateEnabledStates();
    long SelectedFileType() const; // -1 without a selection
    BOOL FormatSettingEnabled(long fileType) const;
    void OnFileTypeChanged();
    void OnFormatSetting();
    void OnBrowse();
    void OnAccessSetting();
    // The job the buttons write to: the page's job once loaded or saved,
    // until then the values Save hands to it, read through to the job.
    IJobData* Job();
    // Runs a button's work; a failure is shown in an "Error" box.
    template <class F> void Guarded(F work);

    BOOL m_bWithSaveImageBox;
    BOOL m_bWritesToJob = FALSE; // loaded or saved: Job() is the job itself
    CComPtr<IJobData> m_pStaged;
    BOOL m_bLoadedFromJob = FALSE;
    int m_nSave = 1;
    int m_nMyPicture = 1;
    std::string m_strFolder;
    std::string m_strFileName;
    long m_nFileType = -1; // the job's "filetype" when loaded, else none
};

// The display name of the user's pictures folder, as "Save &to %s folder"
// shows it.
std::string EdPicturesFolderName();
