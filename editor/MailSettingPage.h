// The "Send by E-Mail" page: destination addresses ("send", with the address
// list dialog), reply-to address ("from"), subject and body text. Each
// address box holds at most 64 addresses: a change that brings it to 64 ","
// is refused and the box's previous text put back.
#pragma once
#include <string>
#include "editor/FunctionPage.h"

class CMailSettingPage : public CFunctionPage {
public:
    explicit CMailSettingPage(CJobRegGUISettings* pSettings);
    void Load(IJobData* pJob) override;
    void Save(IJobData* pJob) override;
    BOOL Validate(IJobData* pJob) override;

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void DoDataExchange(CVlmDataExchange& dx) override;

private:
    void OnAddressChange(int nId, std::string& previous);
    void OnAdd();

    std::string m_strSend, m_strFrom, m_strSubject, m_strText;
    // Each address box's last accepted text.
    std::string m_strSendShown, m_strFromShown;
    bool m_bSettingText = false;
};
