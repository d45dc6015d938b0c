// "Add": the destination addresses of the mail page one per line, to add to,
// pick from and delete from; OK gives them back joined by ",".
#pragma once
#include <string>
#include "framework/Dialog.h"

class CMailAddressDlg : public CVlmDialog {
public:
    CMailAddressDlg(HWND hParent, std::string addresses);
    // The list joined by "," after OK.
    const std::string& GetAddresses() const { return m_strAddresses; }

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnOK() override;

private:
    void OnAdd();
    void OnDelete();
    void OnSelectEntry();
    std::string EntryText(int index) const;
    int EntryCount() const;

    std::string m_strAddresses;
    std::string m_strPicked; // the entry last copied into the add box
};
