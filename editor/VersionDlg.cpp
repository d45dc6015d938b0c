// CVersionDlg: the model, the host program's version, the copyright years
// and the credits of the JPEG coding that the suite's files use.
#include <windows.h>
#include <string>
#include "AdminDialogs_res.h"
#include "common/portable/LocalizeTable.h"
#include "editor/EditorDialog.h"
#include "editor/EditorError.h"
#include "editor/EditorText.h"
#include "editor/JobPages.h"
#include "editor/VersionInfo.h"
#include "editor/core/AdminRules.h"
#include "framework/Variant.h"

namespace {

// The host program's first icon, or the system's application icon.
// (Icons from LoadIcon are shared and never destroyed.)
HICON HostIcon() {
    HMODULE host = ::GetModuleHandleA(nullptr);
    std::string first;
    ::EnumResourceNamesA(
        host, RT_GROUP_ICON,
        [](HMODULE, LPCSTR, LPSTR name, LONG_PTR param) -> BOOL {
            auto* out = reinterpret_cast<std::string*>(param);
            *out = IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<UINT_PTR>(name))
                                        : std::string(name);
            return FALSE; // the first is enough
        },
        reinterpret_cast<LONG_PTR>(&first));
    HICON icon = first.empty() ? nullptr : ::LoadIconA(host, first.c_str());
    return icon ? icon : ::LoadIconA(nullptr, MAKEINTRESOURCEA(32512)); // IDI_APPLICATION
}

std::string Format(const char* english, const std::string& a, const std::string& b = "") {
    return VlmFillInEach(EdText(english), {a, b});
}

class CVersionDlg : public CEditorDialog {
public:
    explicit CVersionDlg(CJobRegGUISettings* pSettings)
        : CEditorDialog(IDD_VERSION), m_pSettings(pSettings) {}

    void Prepare() {
        if (!m_pSettings->m_pJobStore)
            EdCheck(E_POINTER);
        CBstr model;
        EdCheck(m_pSettings->m_pJobStore->GetModelName(model.Receive()));
        m_strModel = model.ToAnsi();
    }

protected:
    BOOL OnInitDialog() override {
        ::SetWindowTextA(m_hWnd, EdText("Version Information").c_str());
        EdSetText(m_hWnd, IDOK, "OK");
        ::SendDlgItemMessageA(m_hWnd, IDC_VERSION_ICON, STM_SETICON,
                              reinterpret_cast<WPARAM>(HostIcon()), 0);
        SetDlgItemText(IDC_VERSION_LINE,
                       Format("%s Task Deck Version : %s", m_strModel, Version()).c_str());
        const SYSTEMTIME* years = m_pSettings->m_CopyRight;
        SetDlgItemText(IDC_VERSION_COPYRIGHT,
                       Format("Copyright (C) %s Velmora Works Inc.",
                              plover::CopyrightYears(years[0].wYear, years[1].wYear))
                           .c_str());
        EdSetText(m_hWnd, IDC_VERSION_ACK1,
                  "JPEG files are made by the suite's own codec (ITU-T T.81, JFIF).");
        EdSetText(m_hWnd, IDC_VERSION_ACK2,
                  "Its fast DCT follows Y. Arai, T. Agui and M. Nakajima (1988).");
        return TRUE;
    }

private:
    static std::string Version() {
        const std::string version = HostFileVersion();
        return version.empty() ? EdText("unknown") : version;
    }

    CJobRegGUISettings* m_pSettings;
    std::string m_strModel;
};

} // namespace

INT_PTR RunVersionDialog(CJobRegGUISettings* pSettings) {
    CVersionDlg dlg(pSettings);
    dlg.Prepare();
    return dlg.DoModal();
}
