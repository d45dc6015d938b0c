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
//                  | each   (one dialog command a line from standard input, each
//                            run in turn after a line "dialog: <command>")
// The store is the one the environment names (TASKSTORE_FILE/TASKSTORE_DIR).
// Prints "result=<end code>" or "error=<text>" and exits 0 unless the
// arguments are wrong. --check-fit measures the dialog's texts once it is up
// and closes it (fitcheck.h); with "each" one process measures many dialogs
// in the same language and DPI.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>
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

struct COptions {
    CJobRegGUISettings settings; // the client's properties; the store is made per dialog
    const char* model = "VX-410";
    long maxJobs = 0; // the store's own unless given
    int firstYear = 0, lastYear = 0;
    int panelTitleModel = 1;
};

// Opens the dialog the words name and returns its end code; 2 is returned
// through bBadArgs for words it does not know. Store and dialog failures are
// raised.
INT_PTR RunDialog(const COptions& options, const std::vector<std::string>& words, BOOL& bBadArgs) {
    CJobRegGUISettings settings = options.settings;
    const std::string& cmd = words[0];
    const auto arg = [&](size_t n) { return n < words.size() ? words[n].c_str() : ""; };
    const long a1 = std::atol(arg(1));
    settings.m_pJobStore = CreateJobStore();
    PrepareJobStore(settings.m_pJobStore, options.model, 0);
    if (options.maxJobs)
        EdCheck(settings.m_pJobStore->SetMaxJobs(options.maxJobs));
    settings.m_nPanelTitleModel = options.panelTitleModel;
    ::GetSystemTime(&settings.m_CopyRight[0]);
    settings.m_CopyRight[1] = settings.m_CopyRight[0];
    if (options.firstYear)
        settings.m_CopyRight[0].wYear = static_cast<WORD>(options.firstYear);
    if (options.lastYear)
        settings.m_CopyRight[1].wYear = static_cast<WORD>(options.lastYear);
    if (cmd == "edit" || cmd == "edit2")
        return RunJobEditDialog(&settings, a1, cmd == "edit");
    if (cmd == "copy")
        return words.size() > 3
                   ? RunCopyDialog(&settings, a1, TRUE, std::atol(arg(2)), std::atol(arg(3)))
                   : RunCopyDialog(&settings, a1, FALSE, 0, 0);
    if (cmd == "version")
        return RunVersionDialog(&settings);
    if ((cmd == "page" || cmd == "format") && words.size() > 2) {
        const std::string kind = arg(1);
        CComPtr<IJobData> job;
        EdCheck(settings.m_pJobStore->GetJob(std::atol(arg(2)), &job));
        if (cmd == "page") {
            std::unique_ptr<CJobEditPage> page;
            if (kind == "save" || kind == "save-image")
                page = CreateSavePage(&settings, kind == "save-image");
            else if (kind == "mail")
                page = CreateMailPage(&settings);
            else if (kind == "print")
                page = CreatePrintPage(&settings);
            else if (kind == "app")
                page = CreateAppPage(&settings);
            if (page)
                return RunPageHost(&settings, job, std::move(page));
        } else if (kind == "jpeg")
            return RunJpegSettingDlg(nullptr, job);
        else if (kind == "tiff")
            return RunTiffSettingDlg(nullptr, job);
        else if (kind == "pdf" || kind == "pdf-multi")
            return RunPdfSettingDlg(nullptr, job, kind == "pdf-multi");
    } else if (cmd == "access")
        return CAccessSettingDlg(nullptr, "", "").DoModal();
    else if (cmd == "mail-address")
        return CMailAddressDlg(nullptr, arg(1)).DoModal();
    else if (cmd == "admin")
        return RunAdminDialog(&settings, static_cast<int>(a1));
    else if (cmd == "fit-probe")
        return CVlmDialog(IDD_FITPROBE, nullptr, EdInstance()).DoModal();
    std::fprintf(stderr, "unknown command %s\n", cmd.c_str());
    bBadArgs = TRUE;
    return 0;
}

// Runs one dialog and prints its result; FALSE for words it does not know.
BOOL RunAndReport(const COptions& options, const std::vector<std::string>& words, BOOL bCheckFit) {
    if (bCheckFit && !InstallFitCheck()) {
        std::fprintf(stderr, "the fit check cannot be installed\n");
        return FALSE;
    }
    BOOL bBadArgs = FALSE;
    try {
        const INT_PTR result = RunDialog(options, words, bBadArgs);
        if (!bBadArgs)
            std::printf("result=%d\n", static_cast<int>(result));
    } catch (const CEditorText& e) {
        std::printf("error=%s\n", e.m_strText.c_str());
    } catch (const CComError& e) {
        std::printf("error=%s\n", e.Message().c_str());
    }
    std::fflush(stdout);
    return !bBadArgs;
}
} // namespace

int main(int argc, char** argv) {
    COleInitialize ole;
    EdSetInstance(::GetModuleHandleW(nullptr));
    EdLocalizeInit();
    COptions options;
    CJobRegGUISettings& settings = options.settings;
    BOOL bCheckFit = FALSE;
    int i = 1;
    for (; i + 1 < argc && std::strncmp(argv[i], "--", 2) == 0; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--check-fit") {
            bCheckFit = TRUE;
            --i; // takes no value
        } else if (opt == "--model")
            options.model = argv[i + 1];
        else if (opt == "--mutex")
            settings.m_strKestrelMutexName = Widen(argv[i + 1]);
        else if (opt == "--twain")
            settings.m_strTwainDriverName = Widen(argv[i + 1]);
        else if (opt == "--fixed")
            settings.m_nFixedFunction = std::atoi(argv[i + 1]);
        else if (opt == "--disable")
            settings.m_DisableFunctionID[std::atol(argv[i + 1])] = 1;
        else if (opt == "--max-jobs")
            options.maxJobs = std::atol(argv[i + 1]);
        else if (opt == "--first-year")
            options.firstYear = std::atoi(argv[i + 1]);
        else if (opt == "--last-year")
            options.lastYear = std::atoi(argv[i + 1]);
        else if (opt == "--attached-mail-size")
            settings.m_nAttachedMailSize = std::atoi(argv[i + 1]);
        else if (opt == "--warning-size")
            settings.m_nWarningSize = std::atoi(argv[i + 1]);
        else if (opt == "--default-driver")
            settings.m_DefaultDriverSetting.assign(argv[i + 1],
                                                   argv[i + 1] + std::strlen(argv[i + 1]));
        else if (opt == "--panel")
            options.panelTitleModel = std::atoi(argv[i + 1]);
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
            "|page KIND N|format KIND N|access|mail-address [LIST]|fit-probe|each\n");
        return 2;
    }
    if (std::strcmp(argv[i], "each") != 0)
        return RunAndReport(options, std::vector<std::string>(argv + i, argv + argc), bCheckFit)
                   ? 0
                   : 2;
    for (std::string line; std::getline(std::cin, line);) {
        std::istringstream in(line);
        const std::vector<std::string> words{std::istream_iterator<std::string>(in), {}};
        if (words.empty())
            continue;
        std::printf("dialog: %s\n", line.c_str());
        if (!RunAndReport(options, words, bCheckFit))
            return 2;
    }
    return 0;
}
