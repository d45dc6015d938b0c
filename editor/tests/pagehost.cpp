#include "pagehost.h"
#include "editor/EditorError.h"
#include "editor/EditorText.h"
#include "pagehost_res.h"

namespace {
class CPageHostDlg : public CVlmDialog {
public:
    CPageHostDlg(IJobData* pJob, std::unique_ptr<CJobEditPage> page)
        : CVlmDialog(IDD_PAGEHOST, nullptr, EdInstance()), m_pJob(pJob), m_page(std::move(page)) {}

protected:
    BOOL OnInitDialog() override {
        m_page->Attach(m_pJob);
        m_page->Load(m_pJob);
        if (!m_page->Create(m_hWnd))
            EdThrowText("The page cannot be made.");
        RECT page = {};
        ::GetWindowRect(m_page->GetSafeHwnd(), &page);
        ::SetWindowPos(m_page->GetSafeHwnd(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ::ShowWindow(m_page->GetSafeHwnd(), SW_SHOW);
        // The buttons under the page, the frame around both.
        const int w = page.right - page.left, h = page.bottom - page.top;
        RECT btn = {};
        ::GetWindowRect(GetDlgItem(IDOK), &btn);
        const int bw = btn.right - btn.left, bh = btn.bottom - btn.top;
        ::SetWindowPos(GetDlgItem(IDOK), nullptr, w - 2 * bw - 16, h + 8, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER);
        ::SetWindowPos(GetDlgItem(IDCANCEL), nullptr, w - bw - 8, h + 8, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER);
        RECT frame = {0, 0, w, h + bh + 16};
        ::AdjustWindowRectEx(&frame, ::GetWindowLongA(m_hWnd, GWL_STYLE), FALSE,
                             ::GetWindowLongA(m_hWnd, GWL_EXSTYLE));
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                       SWP_NOMOVE | SWP_NOZORDER);
        return TRUE;
    }

    void OnOK() override {
        try {
            if (!m_page->UpdateData(TRUE))
                return;
            m_page->Save(m_pJob);
            if (!m_page->Validate(m_pJob))
                return;
            EdCheck(m_pJob->Commit());
            EndDialog(IDOK);
        } catch (const CEditorText& e) {
            EdShowError(m_hWnd, e.m_strText);
        } catch (const CComError& e) {
            EdShowError(m_hWnd, e.Message());
        }
    }

private:
    IJobData* m_pJob;
    std::unique_ptr<CJobEditPage> m_page;
};
} // namespace

INT_PTR RunPageHost(CJobRegGUISettings*, IJobData* pJob, std::unique_ptr<CJobEditPage> page) {
    CPageHostDlg dlg(pJob, std::move(page));
    return dlg.DoModal();
}
