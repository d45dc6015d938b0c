// The "Open by Application" page: the program the job's files are opened
// with ("app path", a full path of at most 260 characters), chosen in the
// platform's file-open dialog or typed; an empty path is accepted.
#pragma once
#include <string>
#include "editor/FunctionPage.h"

class CAppSettingPage : public CFunctionPage {
public:
    explicit CAppSettingPage(CJobRegGUISettings* pSettings);
    void Load(IJobData* pJob) override;
    void Save(IJobData* pJob) override;
    BOOL Validate(IJobData* pJob) override;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CVlmDataExchange& dx) override;

private:
    void OnSetting();

    std::string m_strAppPath;
};
