// A job made in the editor as a user makes it, then run as the scanner runs
// it: ploverctl.exe opens the New/Editing dialog through the COM class with
// the real pages, the UI robot types the title, picks "Save as file", the
// file type and the folder, sets the scanner through the data source's own
// window (or the client hands the default driver settings), presses OK; the
// store holds what the dialog showed; Start on the simulated VX-410 (or
// kestrel started by hand) runs the job, and the peer tools read what landed
// in the folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "JobEdit_res.h"
#include "SavePage_res.h"
#include "SessionFixture.h"
#include "framework/Handles.h"
#include "uirobot_controls.h"
#include "uirobot_more.h"

using namespace kestreltest;

namespace {

constexpr DWORD kDeadline = 60000; // generous: the machine may be busy
const char kSource[] = "Velmora VX-410 TWAIN";

// The prefix's C: drive as the file system sees it: where a native peer tool
// finds a file this test names.
std::string UnixPath(const std::string& cPath) {
    const char* prefix = getenv("WINEPREFIX");
    if (!prefix || cPath.size() < 3 || cPath[1] != ':')
        return std::string();
    std::string path = std::string(prefix) + "/drive_c" + cPath.substr(2);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

// A native peer tool's output for one file of the prefix. Wine neither waits
// for a native process nor hands it a pipe, so a shell writes the tool's
// output and exit status into a file, renamed when complete, and the test
// waits for that file.
std::string Peer(const std::string& dir, const std::string& command, const std::string& cPath) {
    static int s_nRun = 0;
    const std::string base = dir + "\\peer" + std::to_string(++s_nRun);
    const std::string tmp = UnixPath(base + ".tmp"), done = base + ".out";
    {
        std::ofstream script(base + ".sh", std::ios::binary);
        script << "/usr/bin/" << command << " '" << UnixPath(cPath) << "' >'" << tmp
               << "' 2>&1\necho \"exit=$?\" >>'" << tmp << "'\nmv '" << tmp << "' '"
               << UnixPath(done) << "'\n";
    }
    std::string cmd = "\"Z:\\bin\\sh\" \"" + UnixPath(base + ".sh") + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    EXPECT_TRUE(
        CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        << cmd;
    // The shell's end is seen through its "done" file, not its handles.
    const CHandle process(pi.hProcess), thread(pi.hThread);
    UiWaitUntil([&] { return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; },
                kDeadline);
    std::string out = ReadFileText(done);
    const size_t status = out.rfind("exit=");
    EXPECT_NE(status, std::string::npos) << command << " did not finish";
    if (status == std::string::npos)
        return std::string();
    EXPECT_EQ(out.substr(status), "exit=0\n") << command << "\n" << out;
    out.erase(status);
    return out;
}

// The first section of the plug-in's initial driver settings: what a job
// list tool hands the editor for a new job.
std::string FirstSection(const std::string& text) {
    const size_t next = text.find("\n[", 1);
    return next == std::string::npos ? text : text.substr(0, next + 1);
}

class EditorJob : public KestrelSession {
protected:
    void SetUp() override {
        KestrelSession::SetUp();
        // The administrator lets the PDF options offer one file for all pages.
        ASSERT_EQ(Taskstore("common set Single_PDF i4 1"), 0);
    }

    // ploverctl.exe with these arguments, up to its New/Editing dialog.
    HWND OpenEditor(const std::string& args) {
        EXPECT_TRUE(
            m_editor.Start("\"" + ProgramPath("Task Deck", "ploverctl.exe") + "\" " + args));
        return Dialog("New/Editing");
    }
    // A dialog of the editor's process with that caption.
    HWND Dialog(const char* caption) {
        CUiFindOptions options;
        options.m_dwProcessId = m_editor.m_nPid;
        options.m_strCaption = caption;
        CUiDialogInfo info;
        return UiWaitForDialog(options, kDeadline, info) ? info.m_hWnd : nullptr;
    }
    // Types the title key by key and waits until the box shows it.
    static bool TypeTitle(HWND dlg, const char* title) {
        if (!UiTypeText(dlg, IDC_JOBEDIT_TITLE, title))
            return false;
        return UiWaitUntil([&] { return UiGetText(dlg, IDC_JOBEDIT_TITLE) == title; }, kDeadline);
    }
    // "Save as file" picked: its page, once shown.
    static HWND PickSaveAsFile(HWND dlg) {
        if (!UiSelect(dlg, IDC_JOBEDIT_FUNCTION, "Save as file"))
            return nullptr;
        HWND page = nullptr;
        UiWaitUntil(
            [&] { return (page = UiFindPageWith(dlg, IDC_SAVE_FILETYPE, true)) != nullptr; },
            kDeadline);
        return page;
    }
    // "&Setting...": the data source's own window, its image type and
    // resolution picked for a business card, OK; back in the dialog.
    void SetScanner(HWND dlg, const char* imageType, const char* resolution) {
        ASSERT_TRUE(UiIsEnabled(dlg, IDC_JOBEDIT_SETTING));
        ASSERT_TRUE(UiClick(dlg, IDC_JOBEDIT_SETTING));
        HWND source = Dialog((std::string(kSource) + " Settings").c_str());
        ASSERT_TRUE(source);
        ASSERT_TRUE(UiSelect(source, 1001, imageType));
        ASSERT_TRUE(UiSelect(source, 1002, resolution));
        ASSERT_TRUE(UiSelect(source, 1003, kBusinessCard));
        ASSERT_TRUE(UiClick(source, IDOK));
        ASSERT_TRUE(UiWaitGone(source, kDeadline));
        ASSERT_TRUE(UiWaitUntil([&] { return IsWindowEnabled(dlg) != FALSE; }, kDeadline));
    }
    // The format's "S&etting..." dialog: all pages in one file, OK.
    void AllPagesInOneFile(HWND page, const char* caption, int nMultiId) {
        ASSERT_TRUE(UiIsEnabled(page, IDC_SAVE_FORMAT_SETTING));
        ASSERT_TRUE(UiClick(page, IDC_SAVE_FORMAT_SETTING));
        HWND format = Dialog(caption);
        ASSERT_TRUE(format);
        ASSERT_TRUE(UiClick(format, nMultiId));
        ASSERT_TRUE(UiClick(format, IDOK));
        ASSERT_TRUE(UiWaitGone(format, kDeadline));
    }
    // A folder of the user's own instead of the pictures folder a new job
    // starts with; the file name and type typed and picked on the save page.
    static void FillSavePage(HWND page, const std::string& folder, const char* name,
                             const char* type) {
        ASSERT_EQ(UiGetCheck(page, IDC_SAVE_MYPICTURE), BST_CHECKED);
        ASSERT_FALSE(UiIsEnabled(page, IDC_SAVE_FOLDER));
        ASSERT_TRUE(UiClick(page, IDC_SAVE_MYPICTURE));
        ASSERT_TRUE(UiWaitUntil([&] { return UiIsEnabled(page, IDC_SAVE_FOLDER); }, kDeadline));
        ASSERT_TRUE(UiSetText(page, IDC_SAVE_FOLDER, folder.c_str()));
        ASSERT_TRUE(UiSetText(page, IDC_SAVE_FILENAME, name));
        ASSERT_TRUE(UiSelect(page, IDC_SAVE_FILETYPE, type)) << type;
        // What the page shows is what the store must hold after OK.
        EXPECT_EQ(UiGetText(page, IDC_SAVE_FOLDER), folder);
        const std::vector<std::string> types = UiItems(page, IDC_SAVE_FILETYPE);
        const int shown = UiSelectedIndex(page, IDC_SAVE_FILETYPE);
        ASSERT_TRUE(shown >= 0 && shown < static_cast<int>(types.size()));
        EXPECT_EQ(types[shown], type);
    }
    // OK of the dialog; the editor ends without a box on the way.
    void PressOk(HWND dlg) {
        ASSERT_TRUE(UiClick(GetDlgItem(dlg, IDC_JOBEDIT_BUTTONBAR), IDOK));
        CMessageBoxInfo box;
        EXPECT_EQ(WaitEndAnsweringBoxes(m_editor, kDeadline, &box), 0u);
        EXPECT_TRUE(box.m_strText.empty()) << "the editor showed: " << box.m_strText;
    }
    // The committed values of job n, as the store tool prints them.
    void ExpectStored(int n, const std::vector<std::pair<const char*, std::string>>& values) {
        for (const auto& v : values) {
            std::string out;
            EXPECT_EQ(Taskstore("get " + std::to_string(n) + " \"" + v.first + "\"", &out), 0);
            while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
                out.pop_back();
            EXPECT_EQ(out, v.second) << v.first;
        }
    }
    // The job selected on the panel, sheets fed, Start pressed; kestrel ends well.
    void RunFromThePanel(int n, int sheets, int width, int height, int bitsPerPixel) {
        ASSERT_TRUE(m_pDevice->SetSelectedJob(n));
        FeedSheets(sheets, width, height, bitsPerPixel);
        StartService();
        EXPECT_EQ(PressStartAndWait(), 0u) << ServiceLog();
        ExpectCleanEnd();
    }
    // The same with kestrel started by hand: it ends well without a box.
    void RunByHand(int n, int sheets, int width, int height, int bitsPerPixel) {
        ASSERT_TRUE(m_pDevice->SetSelectedJob(n));
        FeedSheets(sheets, width, height, bitsPerPixel);
        StartService("--no-launch");
        CProcess kestrel;
        ASSERT_TRUE(kestrel.Start(KestrelCommand(false)));
        CMessageBoxInfo box;
        EXPECT_EQ(WaitEndAnsweringBoxes(kestrel, kDeadline, &box), 0u);
        EXPECT_TRUE(box.m_strText.empty()) << "kestrel showed: " << box.m_strText;
        ExpectCleanEnd();
    }
    // What the runner did, for a failure's message.
    std::string RunnerTrace() {
        std::string text = ServiceLog() + "run log:\n";
        for (const std::string& line : RunLog())
            text += "  " + line + "\n";
        return text;
    }
    // The path of the one file the job left in the folder, named with the
    // prefix and extension; "" when there is not just that one.
    std::string OnlyFile(const std::string& folder, const std::string& prefix,
                         const std::string& ext) {
        const std::vector<std::string> files = ListFiles(folder);
        EXPECT_EQ(files.size(), 1u) << RunnerTrace();
        if (files.size() != 1 || files[0].compare(0, prefix.size(), prefix) != 0 ||
            files[0].size() < ext.size() ||
            files[0].compare(files[0].size() - ext.size(), ext.size(), ext) != 0) {
            ADD_FAILURE() << "not one " << prefix << "..." << ext << " file";
            return std::string();
        }
        return folder + "\\" + files[0];
    }
    std::string NewFolder(const char* name) {
        const std::string folder = m_strDir + "\\" + name;
        EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        return folder;
    }

    CProcess m_editor;
};

} // namespace

// The client hands the plug-in's black-and-white settings; the user picks PDF
// with all pages in one file: two sheets become one PDF of two bilevel pages.
TEST_F(EditorJob, PdfJobFromTheDefaultDriverSettingsLandsAsOneBilevelDocument) {
    const std::string initial = m_strDir + "\\initial.ini";
    {
        const std::string text = FirstSection(ReadFileText(WinPath(PLUGIN_INITIAL_SETTINGS)));
        ASSERT_NE(text.find("BitsPerSample=1\r\n"), std::string::npos);
        const CHandle file(
            CreateFileA(initial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file.IsValid());
        DWORD written = 0;
        ASSERT_TRUE(
            WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
        ASSERT_EQ(written, text.size());
    }
    const std::string folder = NewFolder("Invoices");
    HWND dlg = OpenEditor("--prop \"DefaultDriverSetting=@" + initial + "\" DoModal 7");
    ASSERT_TRUE(dlg);
    ASSERT_TRUE(TypeTitle(dlg, "Invoices"));
    HWND page = PickSaveAsFile(dlg);
    ASSERT_TRUE(page);
    ASSERT_NO_FATAL_FAILURE(FillSavePage(page, folder, "invoice", "PDF"));
    ASSERT_NO_FATAL_FAILURE(AllPagesInOneFile(page, "PDF setting", IDC_PDF_MULTI));
    ASSERT_NO_FATAL_FAILURE(PressOk(dlg));

    ExpectStored(7, {{"title", "Invoices"},
                     {"function id", "0"},
                     {"filetype", "2"},
                     {"save_path", folder},
                     {"mypicture", "0"},
                     {"pdf_MultiPage", "1"}});

    ASSERT_NO_FATAL_FAILURE(RunFromThePanel(7, 2, 300, 400, 1));
    const std::string file = OnlyFile(folder, "invoice", ".pdf");
    ASSERT_FALSE(file.empty());
    const std::string info = Peer(m_strDir, "pdfinfo", file);
    const size_t pages = info.find("\nPages:");
    ASSERT_NE(pages, std::string::npos) << info;
    EXPECT_EQ(std::atoi(info.c_str() + pages + 7), 2) << info;
    // "page num type width height color comp bpc ...": one bilevel image a
    // page, A4 at the plug-in's 300 dpi.
    const std::vector<std::string> images = SplitLines(Peer(m_strDir, "pdfimages -list", file));
    ASSERT_EQ(images.size(), 4u);
    for (size_t i = 2; i < 4; ++i) {
        char type[16] = {}, colour[16] = {};
        int pageNo = 0, num = 0, width = 0, height = 0, comp = 0, bpc = 0;
        ASSERT_EQ(sscanf(images[i].c_str(), "%d %d %15s %d %d %15s %d %d", &pageNo, &num, type,
                         &width, &height, colour, &comp, &bpc),
                  8)
            << images[i];
        EXPECT_EQ(pageNo, static_cast<int>(i) - 1);
        EXPECT_EQ(width, 2480);
        EXPECT_EQ(height, 3508);
        EXPECT_STREQ(colour, "gray");
        EXPECT_EQ(comp, 1);
        EXPECT_EQ(bpc, 1);
    }
}

// The scanner set through the data source's own window (colour, 100 dpi, a
// business card), JPEG picked: three sheets become three colour JPEG files.
TEST_F(EditorJob, JpegJobFromTheDataSourceWindowLandsAsOneColourFilePerPage) {
    const std::string folder = NewFolder("Photos");
    HWND dlg = OpenEditor(std::string("--prop \"TwainDriverName=") + kSource + "\" DoModal 9");
    ASSERT_TRUE(dlg);
    ASSERT_TRUE(TypeTitle(dlg, "Photos"));
    HWND page = PickSaveAsFile(dlg);
    ASSERT_TRUE(page);
    ASSERT_NO_FATAL_FAILURE(SetScanner(dlg, "24-bit colour", "100 dpi"));
    ASSERT_NO_FATAL_FAILURE(FillSavePage(page, folder, "photo", "JPEG"));
    ASSERT_NO_FATAL_FAILURE(PressOk(dlg));

    ExpectStored(9, {{"title", "Photos"},
                     {"function id", "0"},
                     {"filetype", "1"},
                     {"save_path", folder},
                     {"mypicture", "0"}});

    ASSERT_NO_FATAL_FAILURE(RunFromThePanel(9, 3, 100, 150, 24));
    const std::vector<std::string> files = ListFiles(folder);
    ASSERT_EQ(files.size(), 3u) << RunnerTrace();
    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        EXPECT_EQ(name.compare(0, 5, "photo"), 0);
        EXPECT_EQ(name.substr(name.size() - 4), ".jpg");
        // Format, colour space, bits a sample, density and size: a business
        // card at 100 dpi.
        EXPECT_EQ(Peer(m_strDir,
                       "identify -units PixelsPerInch -format '%m %[colorspace] %z %x %w %h'",
                       folder + "\\" + name),
                  "JPEG sRGB 8 100 217 358");
    }
}

// Grey at 150 dpi from the data source's window, TIFF with all pages in one
// file, kestrel started by hand: two sheets become one grey TIFF of two pages.
TEST_F(EditorJob, TiffJobRunByHandLandsAsOneGreyMultiPageFile) {
    const std::string folder = NewFolder("Letters");
    HWND dlg = OpenEditor(std::string("--prop \"TwainDriverName=") + kSource + "\" DoModal 12");
    ASSERT_TRUE(dlg);
    ASSERT_TRUE(TypeTitle(dlg, "Letters"));
    HWND page = PickSaveAsFile(dlg);
    ASSERT_TRUE(page);
    ASSERT_NO_FATAL_FAILURE(SetScanner(dlg, "8-bit grey", "150 dpi"));
    ASSERT_NO_FATAL_FAILURE(FillSavePage(page, folder, "letter", "TIFF"));
    ASSERT_NO_FATAL_FAILURE(AllPagesInOneFile(page, "TIFF setting", IDC_TIFF_MULTI));
    ASSERT_NO_FATAL_FAILURE(PressOk(dlg));

    ExpectStored(12, {{"title", "Letters"},
                      {"function id", "0"},
                      {"filetype", "3"},
                      {"save_path", folder},
                      {"mypicture", "0"},
                      {"tiff_MultiPage", "1"}});

    ASSERT_NO_FATAL_FAILURE(RunByHand(12, 2, 200, 300, 8));
    const std::string file = OnlyFile(folder, "letter", ".tif");
    ASSERT_FALSE(file.empty());
    const std::string info = Peer(m_strDir, "tiffinfo", file);
    const std::vector<std::string> lines = SplitLines(info);
    auto count = [&](const std::string& text) {
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.find(text) != std::string::npos;
        });
    };
    EXPECT_EQ(count("TIFF Directory at offset"), 2) << info;
    EXPECT_EQ(count("Bits/Sample: 8"), 2) << info;
    EXPECT_EQ(count("Samples/Pixel: 1"), 2) << info;
    EXPECT_EQ(count("Resolution: 150, 150 pixels/inch"), 2) << info;
    EXPECT_EQ(count("Image Width: 325 Image Length: 537"), 2) << info; // 55 x 91 mm
}
