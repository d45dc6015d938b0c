#include "editor/TitleCheck.h"
#include "editor/EditorError.h"
#include "editor/EditorText.h"
#include "contracts/DeviceCommand.h"
#include "editor/core/PanelTitle.h"
#include "framework/Dialog.h"
#include "framework/Variant.h"

namespace {
std::string ModelName(CJobRegGUISettings* pSettings) {
    CBstr model;
    EdCheck(pSettings->m_pJobStore->GetModelName(model.Receive()));
    return model.ToAnsi();
}
} // namespace

size_t EdTitleLimit(const CJobRegGUISettings* pSettings) {
    return pSettings->m_nPanelTitleModel ? devcmd::kTitleMaxBytes : 40;
}

BOOL EdTitleCheck(HWND owner, CJobRegGUISettings* pSettings, const std::string& title) {
    const bool japanese = PRIMARYLANGID(::GetUserDefaultLangID()) == LANG_JAPANESE;
    const plover::PanelTitleRule rule = plover::PanelTitleRuleFor(ModelName(pSettings), japanese);
    if (plover::PanelTitleFits(title, rule, [](unsigned char lead, unsigned char trail) {
            if (!::IsDBCSLeadByte(lead))
                return false;
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            wchar_t wide[2] = {};
            return ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, pair, 2, wide, 2) == 1;
        })) {
        pSettings->m_nTitleWarningShown = 0;
        return TRUE;
    }
    if (!pSettings->m_nTitleWarningShown) {
        pSettings->m_nTitleWarningShown = 1;
        EdMessageBox(owner,
                     EdText("Characters that cannot be displayed on the scanner are included. "
                            "Please reenter."),
                     "Warning", MB_OK | MB_ICONWARNING);
    }
    return FALSE;
}

BOOL EdConfirmTitle(HWND hDlg, int nTitleBoxId, CJobRegGUISettings* pSettings, BOOL bFreshWarning) {
    if (!pSettings->m_nPanelTitleModel)
        return TRUE;
    HWND hTitle = ::GetDlgItem(hDlg, nTitleBoxId);
    // Whole: a title stored by another program may exceed the box's limit.
    const std::string title = VlmWindowText(hTitle);
    if (title.empty() &&
        EdMessageBox(hDlg, EdText("The job title is not input in edit box. Are You Sure?"),
                     "Warning", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) {
        ::SetFocus(hTitle);
        return FALSE;
    }
    if (bFreshWarning)
        pSettings->m_nTitleWarningShown = 0;
    if (!EdTitleCheck(hDlg, pSettings, title)) {
        ::SetFocus(hTitle);
        return FALSE;
    }
    return TRUE;
}
