// Opens one editor dialog straight from the dialog library, without the COM
// class, for tests of a single dialog:
//   dialoghost.exe [--model VX-410] [--panel 0|1] [--mutex NAME] [--twain NAME]
//                  [--fixed N] [--disable ID]... [--testpages 1|2] [--default-driver TEXT]
//                  [--max-jobs N] [--first-year Y] [--last-year Y]
//                  [--attached-mail-size MB] [--warning-size MB] [--check-fit]
//                  edit N | edit2 N | copy SRC [MIN MAX] | version | admin FORM
//                  | page save|save-image|mail|print|app N
//                  | format jpeg|tiff|pdf|pdf-multi N | access | mail-address [LIST]
//                  | fit-probe
// The store is the one the environment names (TASKSTORE_FILE/TASKSTORE_DIR).
// Prints "result=<end code>" or "error=<text>" and exits 0 unless the
// arguments are wrong. --check-fit measures the dialog's texts once it is up
// and closes it (fitcheck.h).
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "common/JobRecord.h"
#include "editor/EditorError.h"
#include "editor/EditorText.h"
#include "editor/FormatDialogs.h"
#include "editor/JobPages.h"
#include "editor/MailAddressDlg.h"
#include "editor/SavePageDialogs.h"
#include "framework/ComInit.h"
#include "fitcheck.h"
#include "jobedit_testpage.h"
#include "pagehost.h"
#include "pagehost_res.h"

namespace {
std::wstring Widen(const char* s) {
    return std::wstring(s, s + std::strlen(s));
}
} // namespace

int main(int argc, char** argv) {
    COleInitialize ole;
    EdSetInstance(::GetModuleHandleW(nullptr));
    EdLocalizeInit();
    CJobRegGUISettings settings;
    const char* model = "VX-410";
    long maxJobs = 0; // the store's own unless given
    int firstYear = 0, lastYear = 0;
    int panelTitleModel = 1;
    BOOL bCheckFit = FALSE;
    int i = 1;
    for (; i + 1 < argc && std::strncmp(argv[i], "--", 2) == 0; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--check-fit") {
            bCheckFit = TRUE;
            --i; // takes no value
        } else if (opt == "--model")
            model = argv[i + 1];
        else if (opt == "--mutex")
            settings.m_strKestrelMutexName = Widen(argv[i + 1]);
        else if (opt == "--twain")
            settings.m_strTwainDriverName = Widen(argv[i + 1]);
        else if (opt == "--fixed")
            settings.m_nFixedFunction = std::atoi(argv[i + 1]);
        else if (opt == "--disable")
            settings.m_DisableFunctionID[std::atol(argv[i + 1])] = 1;
        else if (opt == "--max-jobs")
            maxJobs = std::atol(argv[i + 1]);
        else if (opt == "--first-year")
            firstYear = std::atoi(argv[i + 1]);
        else if (opt == "--last-year")
            lastYear = std::atoi(argv[i + 1]);
        else if (opt == "--attached-mail-size")
            settings.m_nAttachedMailSize = std::atoi(argv[i + 1]);
        else if (opt == "--warning-size")
            settings.m_nWarningSize = std::atoi(argv[i + 1]);
        else if (opt == "--default-driver")
            settings.m_DefaultDriverSetting.assign(argv[i + 1],
                                                   argv[i + 1] + std::strlen(argv[i + 1]));
        else if (opt == "--panel")
            panelTitleModel = std::atoi(argv[i + 1]);
        else if (opt == "--testpages")
            InstallJobEditTestPages(std::atoi(argv[i + 1]));
        else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (i >= argc) {
        std::fprintf(
            stderr,
            "usage: dialoghost [options] edit N|edit2 N|copy SRC [MIN MAX]|version|admin FORM"
            "|page KIND N|format KIND N|access|mail-address [LIST]|fit-probe\n");
        return 2;
    }
    if (bCheckFit && !InstallFitCheck()) {
        std::fprintf(stderr, "the fit check cannot be installed\n");
        return 2;
    }
    const std::string cmd = argv[i];
    const long a1 = i + 1 < argc ? std::atol(argv[i + 1]) : 0;
    try {
        settings.m_pJobStore = CreateJobStore();
        PrepareJobStore(settings.m_pJobStore, model, 0);
        if (maxJobs)
            EdCheck(settings.m_pJobStore->SetMaxJobs(maxJobs));
        settings.m_nPanelTitleModel = panelTitleModel;
        ::GetSystemTime(&settings.m_CopyRight[0]);
        settings.m_CopyRight[1] = settings.m_CopyRight[0];
        if (firstYear)
            settings.m_CopyRight[0].wYear = static_cast<WORD>(firstYear);
        if (lastYear)
            settings.m_CopyRight[1].wYear = static_cast<WORD>(lastYear);
        INT_PTR result = 0;
        if (cmd == "edit" || cmd == "edit2")
            result = RunJobEditDialog(&settings, a1, cmd == "edit");
        else if (cmd == "copy")
            result = i + 3 < argc ? RunCopyDialog(&settings, a1, TRUE, std::atol(argv[i + 2]),
                                                  std::atol(argv[i + 3]))
                                  : RunCopyDialog(&settings, a1, FALSE, 0, 0);
        else if (cmd == "version")
            result = RunVersionDialog(&settings);
        else if (cmd == "page" && i + 2 < argc) {
            const std::string kind = argv[i + 1];
            CComPtr<IJobData> job;
            EdCheck(settings.m_pJobStore->GetJob(std::atol(argv[i + 2]), &job));
            std::unique_ptr<CJobEditPage> page;
            if (kind == "save" || kind == "save-image")
                page = CreateSavePage(&settings, kind == "save-image");
            else if (kind == "mail")
                page = CreateMailPage(&settings);
            else if (kind == "print")
                page = CreatePrintPage(&settings);
            else if (kind == "app")
                page = CreateAppPage(&settings);
            else {
                std::fprintf(stderr, "unknown page %s\n", kind.c_str());
                return 2;
            }
            result = RunPageHost(&settings, job, std::move(page));
        } else if (cmd == "format" && i + 2 < argc) {
            const std::string kind = argv[i + 1];
            CComPtr<IJobData> job;
            EdCheck(settings.m_pJobStore->GetJob(std::atol(argv[i + 2]), &job));
            if (kind == "jpeg")
                result = RunJpegSettingDlg(nullptr, job);
            else if (kind == "tiff")
                result = RunTiffSettingDlg(nullptr, job);
            else if (kind == "pdf" || kind == "pdf-multi")
                result = RunPdfSettingDlg(nullptr, job, kind == "pdf-multi");
            else {
                std::fprintf(stderr, "unknown format %s\n", kind.c_str());
                return 2;
            }
        } else if (cmd == "access")
            result = CAccessSettingDlg(nullptr, "", "").DoModal();
        else if (cmd == "mail-address")
            result = CMailAddressDlg(nullptr, i + 1 < argc ? argv[i + 1] : "").DoModal();
        else if (cmd == "admin")
            result = RunAdminDialog(&settings, static_cast<int>(a1));
        else if (cmd == "fit-probe")
            result = CVlmDialog(IDD_FITPROBE, nullptr, EdInstance()).DoModal();
        else {
            std::fprintf(stderr, "unknown command %s\n", cmd.c_str());
            return 2;
        }
        std::printf("result=%d\n", static_cast<int>(result));
    } catch (const CEditorText& e) {
        std::printf("error=%s\n", e.m_strText.c_str());
    } catch (const CComError& e) {
        std::printf("error=%s\n", e.Message().c_str());
    }
    std::fflush(stdout);
    return 0;
}
