// The save settings page, its access setting dialog and the file format
// option dialogs, driven as a user would: dialoghost shows the page in a
// frame whose OK saves, validates and commits the job; the test types,
// picks, presses buttons, reads the message boxes and then reads what the
// store committed.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

#include "JobEdit_res.h"
#include "SavePage_res.h"
#include "StoreFolderTest.h"
#include "uirobot.h"
#include "uirobot_controls.h"
#include "uirobot_more.h"

using namespace kestreltest;

namespace {
constexpr DWORD kDeadline = 30000;
const char kHostName[] = "dialoghost-savepage.exe";
const std::string kHost = ProgramPath("Task Deck", kHostName);

// The host is copied beside the catalogue, where the editor looks for it.
class HostInstall : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(CopyFileA(WinPath(VLM_DIALOGHOST).c_str(), kHost.c_str(), FALSE))
            << GetLastError();
    }
    void TearDown() override { DeleteFileA(kHost.c_str()); }
};
const auto* g_install = ::testing::AddGlobalTestEnvironment(new HostInstall);

class SavePageTest : public CStoreFolderTest {
protected:
    SavePageTest() : CStoreFolderTest("savepage") {}
    void TearDown() override {
        if (m_host.m_hProcess && m_host.Running())
            m_host.Wait(0);
        CStoreFolderTest::TearDown();
    }

    // A job as the New/Editing dialog would hand it over, committed.
    void PutJob(long number, const std::function<void(IJobData*)>& fill) {
        CComPtr<IJobData> job = m_store.Job(number);
        fill(job);
        ThrowIfFailed(job->Commit(), IID_IJobData);
    }
    void PutCommon(const char* key, long value) {
        StoreSetLong(m_store.m_pStore, key, value);
        ThrowIfFailed(m_store.m_pStore->Save(), IID_IJobStore);
    }
    static void Set(IJobData* job, const char* key, long value) {
        JobSetValue(job, key, CVariant(value));
    }
    static void Set(IJobData* job, const char* key, const char* text) {
        JobSetValue(job, key, CVariant(text));
    }
    static void SetDriver(IJobData* job, const std::string& text) {
        CVariant v;
        ASSERT_HRESULT_SUCCEEDED(VlmMakeByteBlock(text.data(), text.size(), v.Receive()));
        JobSetValue(job, "driver", v);
    }
    // Starts the page of job number in its frame; m_hFrame and m_hPage.
    void Open(const char* kind, long number) {
        ASSERT_TRUE(m_host.Start("\"" + kHost + "\" page " + kind + " " + std::to_string(number)));
        CUiFindOptions options;
        options.m_dwProcessId = m_host.m_nPid;
        options.m_strCaption = "Page";
        CUiDialogInfo frame;
        ASSERT_TRUE(UiWaitForDialog(options, kDeadline, frame)) << "no page frame";
        m_hFrame = frame.m_hWnd;
        m_hPage = FindWindowExA(m_hFrame, nullptr, "#32770", nullptr);
        ASSERT_NE(m_hPage, nullptr);
    }
    // Waits for a dialog of the host with this caption.
    HWND Dialog(const char* caption) {
        CUiFindOptions options;
        options.m_dwProcessId = m_host.m_nPid;
        options.m_strCaption = caption;
        CUiDialogInfo info;
        if (!UiWaitForDialog(options, kDeadline, info))
            return nullptr;
        return info.m_hWnd;
    }
    // OK of the frame refused: the "Error" box's text (the box is closed).
    std::string RefusedWith(const char* caption = "Error") {
        UiClick(m_hFrame, IDOK);
        HWND box = Dialog(caption);
        if (!box)
            return "(no error box)";
        const CUiDialogInfo info = UiReadDialog(box);
        const std::string text = UiJoinTexts(info, "");
        UiPressButton(info, "OK");
        EXPECT_TRUE(UiWaitGone(box, kDeadline));
        EXPECT_TRUE(IsWindow(m_hFrame)) << "the frame must stay open";
        return text;
    }
    // OK of the frame (or of the dialog's button bar) accepted: the host ends
    // (and has committed).
    void Accept(HWND okOwner = nullptr) {
        UiClick(okOwner ? okOwner : m_hFrame, IDOK);
        CMessageBoxInfo box;
        EXPECT_EQ(WaitEndAnsweringBoxes(m_host, kDeadline, &box), 0u)
            << "unexpected box: " << box.m_strText;
        EXPECT_TRUE(box.m_strText.empty()) << box.m_strText;
    }
    void Cancel() {
        UiClick(m_hFrame, IDCANCEL);
        EXPECT_EQ(m_host.Wait(kDeadline), 0u);
    }
    bool Enabled(int id) { return UiIsEnabled(m_hPage, id); }
    void Pick(int id, const char* entry, HWND dlg = nullptr) {
        ASSERT_TRUE(UiSelect(dlg ? dlg : m_hPage, id, entry)) << entry;
    }
    // The type list's selection as the page shows it.
    std::string FileTypeShown() {
        const auto items = UiItems(m_hPage, IDC_SAVE_FILETYPE);
        const int i = UiSelectedIndex(m_hPage, IDC_SAVE_FILETYPE);
        return i >= 0 && i < static_cast<int>(items.size()) ? items[i] : "";
    }
    // Opens a format dialog through "S&etting..." and waits for it.
    HWND OpenFormat(const char* caption) {
        EXPECT_TRUE(UiWaitUntil([&] { return Enabled(IDC_SAVE_FORMAT_SETTING); }, kDeadline));
        UiClick(m_hPage, IDC_SAVE_FORMAT_SETTING);
        return Dialog(caption);
    }
    HWND OpenAccess() {
        UiClick(m_hPage, IDC_SAVE_ACCESS);
        return Dialog("Access setting");
    }
    void Close(HWND dlg, int button) {
        UiClick(dlg, button);
        EXPECT_TRUE(UiWaitGone(dlg, kDeadline));
    }

    CProcess m_host;
    HWND m_hFrame = nullptr;
    HWND m_hPage = nullptr;
};

const char kLettersShown[] = "\\ /  * ? < > : | \"    ";

// A "Save as file" job that saves to a folder.
void SaveAsFileJob(IJobData* job) {
    JobSetValue(job, "function id", CVariant(0L));
    JobSetValue(job, "save", CVariant(1L));
    JobSetValue(job, "mypicture", CVariant(0L));
    JobSetValue(job, "save_path", CVariant("C:\\Scans"));
    JobSetValue(job, "filename", CVariant("scan"));
    JobSetValue(job, "filetype", CVariant(2L));
}
} // namespace

TEST_F(SavePageTest, EachRuleRefusesWithItsTextUntilTheValuesPass) {
    PutJob(3, [](IJobData* job) {
        SaveAsFileJob(job);
        Set(job, "filename", "scan?");
        SetDriver(job, "[CustomDsData]\r\nDetectPageType=1\r\n");
    });
    Open("save", 3);
    EXPECT_EQ(UiGetText(m_hPage, IDC_SAVE_FILENAME), "scan?");
    EXPECT_EQ(RefusedWith(),
              std::string(kLettersShown) + "These letters are invalid for file name.");

    // 230 + "\" + 8 = 239 characters pass the length rule, one more fails it.
    const std::string folder = "C:\\" + std::string(227, 'f');
    ASSERT_EQ(folder.size(), 230u);
    UiSetText(m_hPage, IDC_SAVE_FOLDER, folder.c_str());
    UiSetText(m_hPage, IDC_SAVE_FILENAME, "scan_abcd");
    EXPECT_EQ(RefusedWith(),
              "Total character number of the file name and the saved Folder name is over the "
              "limitation.");
    UiSetText(m_hPage, IDC_SAVE_FILENAME, "scan_abc");

    // Saving to a folder needs the folder.
    UiSetText(m_hPage, IDC_SAVE_FOLDER, "");
    EXPECT_EQ(RefusedWith(), "Input Save Location");
    UiSetText(m_hPage, IDC_SAVE_FOLDER, folder.c_str());

    // JPEG while the driver detects the page type.
    Pick(IDC_SAVE_FILETYPE, "JPEG");
    EXPECT_EQ(RefusedWith(), "Cannot create a JPEG file for a Detect Color or Binary Image.");
    Pick(IDC_SAVE_FILETYPE, "TIFF");
    Accept();

    CComPtr<IJobData> job = Committed(3);
    EXPECT_EQ(JobGetString(job, "filename"), "scan_abc");
    EXPECT_EQ(JobGetString(job, "save_path"), folder);
    EXPECT_EQ(JobGetLong(job, "filetype"), 3);
    EXPECT_EQ(JobGetValue(job, "save").vt, VT_I4);
    EXPECT_EQ(JobGetLong(job, "save"), 1);
    EXPECT_EQ(JobGetLong(job, "mypicture"), 0);
}

TEST_F(SavePageTest, ThePicturesFolderNeedsNoFolderAndNoSaveNeedsNone) {
    PutJob(4, [](IJobData* job) {
        SaveAsFileJob(job);
        Set(job, "save_path", "");
        Set(job, "function id", 4L);
    });
    Open("save-image", 4);
    EXPECT_EQ(RefusedWith(), "Input Save Location");
    UiClick(m_hPage, IDC_SAVE_MYPICTURE);
    ASSERT_TRUE(UiWaitUntil([&] { return UiGetCheck(m_hPage, IDC_SAVE_MYPICTURE) == BST_CHECKED; },
                            kDeadline));
    Accept();
    EXPECT_EQ(JobGetLong(Committed(4), "mypicture"), 1);

    Open("save-image", 4);
    UiClick(m_hPage, IDC_SAVE_MYPICTURE);
    UiClick(m_hPage, IDC_SAVE_IMAGE);
    ASSERT_TRUE(UiWaitUntil([&] { return UiGetCheck(m_hPage, IDC_SAVE_IMAGE) == BST_UNCHECKED; },
                            kDeadline));
    Accept();
    CComPtr<IJobData> job = Committed(4);
    EXPECT_EQ(JobGetLong(job, "save"), 0);
    EXPECT_EQ(JobGetLong(job, "mypicture"), 0);
    EXPECT_EQ(JobGetString(job, "save_path"), "");
}

struct DriverCase {
    const char* m_pszDriver;
    const char* m_pszRefusal; // nullptr: JPEG passes
};

class SavePageJpegDriverTest : public SavePageTest,
                               public ::testing::WithParamInterface<DriverCase> {};

TEST_P(SavePageJpegDriverTest, JpegIsRefusedForPageTypeDetectionAndBinaryImages) {
    const DriverCase& c = GetParam();
    PutJob(5, [&](IJobData* job) {
        SaveAsFileJob(job);
        Set(job, "filetype", 1L);
        SetDriver(job, c.m_pszDriver);
    });
    Open("save", 5);
    EXPECT_EQ(FileTypeShown(), "JPEG");
    if (c.m_pszRefusal) {
        EXPECT_EQ(RefusedWith(), c.m_pszRefusal);
        Cancel();
        EXPECT_EQ(JobGetString(Committed(5), "filename"), "scan");
    } else {
        Accept();
        EXPECT_EQ(JobGetLong(Committed(5), "filetype"), 1);
    }
}

const char kDetect[] = "Cannot create a JPEG file for a Detect Color or Binary Image.";
const char kBinary[] = "Cannot create JPEG file with binary mode.";
INSTANTIATE_TEST_SUITE_P(
    DriverTexts, SavePageJpegDriverTest,
    ::testing::Values(
        DriverCase{"[CustomDsData]\r\nDetectPageType=1\r\nSamplesPerPixel=3\r\n", kDetect},
        DriverCase{"[CustomDsData]\r\nDetectPageTypeApp=0\r\nDetectPageType=1\r\n", nullptr},
        DriverCase{"[CustomDsData]\r\nSamplesPerPixel=1\r\nBitsPerSample=1\r\n", kBinary},
        DriverCase{"[CustomDsData]\r\nSamplesPerPixel=1\r\nBitsPerSample=1\r\n"
                   "SamplesPerPixel(1)=3\r\nBitsPerSample(1)=8\r\n",
                   nullptr},
        DriverCase{"", nullptr}));

TEST_F(SavePageTest, EnabledStatesFollowTheBoxesAndTheFileType) {
    // A print job: the page of another function shows its defaults.
    PutJob(6, [](IJobData* job) {
        SaveAsFileJob(job);
        Set(job, "function id", 2L);
        Set(job, "filetype", 3L);
    });
    Open("save-image", 6);
    EXPECT_EQ(UiGetCheck(m_hPage, IDC_SAVE_IMAGE), BST_CHECKED);
    EXPECT_EQ(UiGetCheck(m_hPage, IDC_SAVE_MYPICTURE), BST_CHECKED);
    EXPECT_EQ(UiGetText(m_hPage, IDC_SAVE_FOLDER), "");
    EXPECT_EQ(UiGetText(m_hPage, IDC_SAVE_FILENAME), "");
    EXPECT_EQ(UiItems(m_hPage, IDC_SAVE_FILETYPE),
              (std::vector<std::string>{"PDF", "BMP", "TIFF", "JPEG"}));
    EXPECT_EQ(FileTypeShown(), "PDF");
    // The pictures folder's name stands in the label.
    const std::string label = UiGetText(m_hPage, IDC_SAVE_MYPICTURE);
    EXPECT_EQ(label.rfind("Save &to ", 0), 0u) << label;
    EXPECT_GT(label.size(), std::string("Save &to  folder").size()) << label;
    EXPECT_EQ(label.find("%s"), std::string::npos) << label;
    EXPECT_EQ(UiGetText(m_hPage, IDC_SAVE_FOLDER_LABEL), "Sa&ve in folder");
    EXPECT_EQ(UiGetText(m_hPage, IDC_SAVE_BROWSE), "&Browse...");

    auto folderRow = [&] {
        return Enabled(IDC_SAVE_FOLDER_LABEL) && Enabled(IDC_SAVE_FOLDER) &&
               Enabled(IDC_SAVE_BROWSE) && Enabled(IDC_SAVE_ACCESS);
    };
    auto folderRowOff = [&] {
        return !Enabled(IDC_SAVE_FOLDER_LABEL) && !Enabled(IDC_SAVE_FOLDER) &&
               !Enabled(IDC_SAVE_BROWSE) && !Enabled(IDC_SAVE_ACCESS);
    };
    auto saveRow = [&] {
        return Enabled(IDC_SAVE_MYPICTURE) && Enabled(IDC_SAVE_FILENAME) &&
               Enabled(IDC_SAVE_FILETYPE);
    };
    EXPECT_TRUE(folderRowOff());
    EXPECT_TRUE(saveRow());
    EXPECT_TRUE(Enabled(IDC_SAVE_FORMAT_SETTING)); // PDF
    EXPECT_TRUE(UiIsVisible(m_hPage, IDC_SAVE_ACCESS));

    UiClick(m_hPage, IDC_SAVE_MYPICTURE);
    EXPECT_TRUE(UiWaitUntil(folderRow, kDeadline));
    UiClick(m_hPage, IDC_SAVE_IMAGE);
    EXPECT_TRUE(UiWaitUntil(
        [&] {
            return folderRowOff() && !Enabled(IDC_SAVE_MYPICTURE) && !Enabled(IDC_SAVE_FILENAME) &&
                   !Enabled(IDC_SAVE_FILETYPE);
        },
        kDeadline));
    UiClick(m_hPage, IDC_SAVE_IMAGE);
    EXPECT_TRUE(UiWaitUntil([&] { return folderRow() && saveRow(); }, kDeadline));

    // "S&etting..." by file type; JPEG only when the store allows its options.
    Pick(IDC_SAVE_FILETYPE, "BMP");
    EXPECT_TRUE(UiWaitUntil([&] { return !Enabled(IDC_SAVE_FORMAT_SETTING); }, kDeadline));
    Pick(IDC_SAVE_FILETYPE, "TIFF");
    EXPECT_TRUE(UiWaitUntil([&] { return Enabled(IDC_SAVE_FORMAT_SETTING); }, kDeadline));
    Pick(IDC_SAVE_FILETYPE, "JPEG");
    EXPECT_TRUE(UiWaitUntil([&] { return !Enabled(IDC_SAVE_FORMAT_SETTING); }, kDeadline));
    PutCommon("jpeg_CmpDlg", 1);
    Pick(IDC_SAVE_FILETYPE, "PDF");
    Pick(IDC_SAVE_FILETYPE, "JPEG");
    EXPECT_TRUE(UiWaitUntil([&] { return Enabled(IDC_SAVE_FORMAT_SETTING); }, kDeadline));
    PutCommon("jpeg_CmpDlg", 2);
    Pick(IDC_SAVE_FILETYPE, "BMP");
    Pick(IDC_SAVE_FILETYPE, "JPEG");
    EXPECT_TRUE(UiWaitUntil([&] { return !Enabled(IDC_SAVE_FORMAT_SETTING); }, kDeadline));
    Cancel();
}

TEST_F(SavePageTest, TheFormWithoutTheBoxKeepsItsValueAndLimitsTheFileName) {
    PutJob(7, [](IJobData* job) {
        SaveAsFileJob(job);
        Set(job, "function id", 3L);
        Set(job, "save", 0L);
        Set(job, "filetype", 0L);
    });
    Open("save", 7);
    EXPECT_FALSE(UiIsVisible(m_hPage, IDC_SAVE_IMAGE));
    EXPECT_FALSE(Enabled(IDC_SAVE_IMAGE));
    EXPECT_EQ(FileTypeShown(), "BMP");
    // "save" is clear: the rest follows it although its box is hidden.
    EXPECT_FALSE(Enabled(IDC_SAVE_FILENAME));
    EXPECT_EQ(SendMessageA(GetDlgItem(m_hPage, IDC_SAVE_FILENAME), EM_GETLIMITTEXT, 0, 0), 32);
    // A longer name stored by another program is kept, not refused silently.
    const std::string longName(40, 'n');
    UiSetText(m_hPage, IDC_SAVE_FILENAME, longName.c_str());
    Accept();
    CComPtr<IJobData> job = Committed(7);
    EXPECT_EQ(JobGetLong(job, "save"), 0);
    EXPECT_EQ(JobGetLong(job, "filetype"), 0);
    EXPECT_EQ(JobGetString(job, "save_path"), "C:\\Scans");
    EXPECT_EQ(JobGetString(job, "filename"), longName);
}

TEST_F(SavePageTest, AccessSettingStoresTheUserAndTheSealedPassword) {
    PutJob(8, [](IJobData* job) {
        SaveAsFileJob(job);
        Set(job, "username", "alice");
        Set(job, "password", "old-secret");
    });
    Open("save", 8);
    HWND dlg = OpenAccess();
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(UiGetText(dlg, IDC_ACCESS_USER), "alice");
    HWND password = GetDlgItem(dlg, IDC_ACCESS_PASSWORD);
    EXPECT_EQ(SendMessageA(password, EM_GETPASSWORDCHAR, 0, 0), '*');
    EXPECT_EQ(SendMessageA(password, EM_GETLIMITTEXT, 0, 0), 32);
    EXPECT_EQ(SendMessageA(GetDlgItem(dlg, IDC_ACCESS_USER), EM_GETLIMITTEXT, 0, 0), 32);
    // Cancel keeps what was there.
    UiSetText(dlg, IDC_ACCESS_USER, "mallory");
    Close(dlg, IDCANCEL);
    dlg = OpenAccess();
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(UiGetText(dlg, IDC_ACCESS_USER), "alice");
    UiSetText(dlg, IDC_ACCESS_USER, "DOMAIN\\bob");
    UiSetText(dlg, IDC_ACCESS_PASSWORD, "n3w-Secret!");
    Close(dlg, IDOK);
    Accept();

    CComPtr<IJobData> job = Committed(8);
    EXPECT_EQ(JobGetString(job, "username"), "DOMAIN\\bob");
    EXPECT_EQ(JobGetString(job, "password"), "n3w-Secret!");
    const std::string file = StoreFile();
    EXPECT_EQ(file.find("n3w-Secret!"), std::string::npos) << "password in clear text";
    EXPECT_NE(file.find("\"password\"=hex(40000008):"), std::string::npos);
}

TEST_F(SavePageTest, JpegDialogPresetsSliderAndValue) {
    PutCommon("jpeg_CmpDlg", 1);
    PutJob(9, [](IJobData* job) {
        SaveAsFileJob(job);
        Set(job, "filetype", 1L);
        Set(job, "jpeg_Comp", 75L);
    });
    Open("save", 9);
    HWND dlg = OpenFormat("JPEG File Setting");
    ASSERT_NE(dlg, nullptr);
    HWND slider = GetDlgItem(dlg, IDC_JPEG_SLIDER);
    EXPECT_EQ(UiGetCheck(dlg, IDC_JPEG_STANDARD), BST_CHECKED);
    EXPECT_EQ(UiGetText(dlg, IDC_JPEG_VALUE), "75");
    EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMIN, 0, 0), 0);
    EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMAX, 0, 0), 100);
    EXPECT_EQ(UiGetText(dlg, IDC_JPEG_LEFT), "<< High Compression");
    EXPECT_EQ(UiGetText(dlg, IDC_JPEG_RIGHT), "High Quality >>");

    UiClick(dlg, IDC_JPEG_HIGH);
    EXPECT_TRUE(UiWaitUntil([&] { return UiGetText(dlg, IDC_JPEG_VALUE) == "90"; }, kDeadline));
    EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 90);
    UiClick(dlg, IDC_JPEG_COMPRESSION);
    EXPECT_TRUE(UiWaitUntil([&] { return UiGetText(dlg, IDC_JPEG_VALUE) == "10"; }, kDeadline));

    // The user moves the slider onto 90 with the keyboard: still the user's own.
    SendMessageA(slider, TBM_SETPOS, TRUE, 80);
    PostMessageA(slider, WM_KEYDOWN, VK_NEXT, 0);
    EXPECT_TRUE(UiWaitUntil([&] { return UiGetText(dlg, IDC_JPEG_VALUE) == "90"; }, kDeadline));
    EXPECT_EQ(UiGetCheck(dlg, IDC_JPEG_USER), BST_CHECKED);
    EXPECT_EQ(UiGetCheck(dlg, IDC_JPEG_HIGH), BST_UNCHECKED);
    Close(dlg, IDOK);

    // Cancel of a later change keeps 90.
    dlg = OpenFormat("JPEG File Setting");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(UiGetCheck(dlg, IDC_JPEG_HIGH), BST_CHECKED);
    UiClick(dlg, IDC_JPEG_COMPRESSION);
    EXPECT_TRUE(UiWaitUntil([&] { return UiGetText(dlg, IDC_JPEG_VALUE) == "10"; }, kDeadline));
    Close(dlg, IDCANCEL);
    Accept();
    EXPECT_EQ(JobGetLong(Committed(9), "jpeg_Comp"), 90);
}

TEST_F(SavePageTest, JpegDialogShowsOtherValuesAsUserSettings) {
    PutCommon("jpeg_CmpDlg", 1);
    PutJob(10, [](IJobData* job) {
        SaveAsFileJob(job);
        Set(job, "filetype", 1L);
        Set(job, "jpeg_Comp", 80L);
    });
    Open("save", 10);
    HWND dlg = OpenFormat("JPEG File Setting");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(UiGetCheck(dlg, IDC_JPEG_USER), BST_CHECKED);
    EXPECT_EQ(UiGetText(dlg, IDC_JPEG_VALUE), "80");
    Close(dlg, IDOK);
    Accept();
    EXPECT_EQ(JobGetLong(Committed(10), "jpeg_Comp"), 80);
}

TEST_F(SavePageTest, TiffDialogReadsFlagsAndWritesZeroOrOne) {
    PutJob(11, [](IJobData* job) {
        SaveAsFileJob(job);
        Set(job, "filetype", 3L);
        Set(job, "tiff_MultiPage", 5L);
        Set(job, "tiff_Comp", 0L);
    });
    Open("save", 11);
    HWND dlg = OpenFormat("TIFF setting");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(UiGetCheck(dlg, IDC_TIFF_MULTI), BST_CHECKED);
    EXPECT_EQ(UiGetCheck(dlg, IDC_TIFF_COMPRESSION), BST_UNCHECKED);
    Close(dlg, IDOK);
    EXPECT_TRUE(IsWindow(m_hFrame));
    dlg = OpenFormat("TIFF setting");
    ASSERT_NE(dlg, nullptr);
    UiClick(dlg, IDC_TIFF_COMPRESSION);
    UiClick(dlg, IDC_TIFF_SINGLE);
    EXPECT_TRUE(
        UiWaitUntil([&] { return UiGetCheck(dlg, IDC_TIFF_SINGLE) == BST_CHECKED; }, kDeadline));
    Close(dlg, IDOK);
    Accept();
    CComPtr<IJobData> job = Committed(11);
    EXPECT_EQ(JobGetLong(job, "tiff_MultiPage"), 0);
    EXPECT_EQ(JobGetLong(job, "tiff_Comp"), 1);
}

TEST_F(SavePageTest, PdfDialogWithoutMultiPageOffersTwoRatesAndTheLanguages) {
    PutJob(12, [](IJobData* job) {
        SaveAsFileJob(job);
        Set(job, "pdf_CompRate", 2L);
        Set(job, "pdf_OCRLangID", 2L);
        Set(job, "pdf_AddOCR", 0L);
        Set(job, "pdf_MultiPage", 1L);
    });
    Open("save", 12);
    HWND dlg = OpenFormat("PDF setting");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(GetDlgItem(dlg, IDC_PDF_CHARACTER), nullptr);
    EXPECT_EQ(GetDlgItem(dlg, IDC_PDF_MULTI), nullptr);
    EXPECT_EQ(UiGetCheck(dlg, IDC_PDF_HIGH), BST_CHECKED);
    EXPECT_EQ(UiItems(dlg, IDC_PDF_LANGUAGE),
              (std::vector<std::string>{"Japanese and English", "Japanese", "English", "Spanish",
                                        "French", "German", "Italian", "Dutch",
                                        "Simplified Chinese", "Traditional Chinese"}));
    EXPECT_EQ(UiSelectedIndex(dlg, IDC_PDF_LANGUAGE), 0);
    EXPECT_EQ(UiGetCheck(dlg, IDC_PDF_APPLY_OCR), BST_UNCHECKED);
    Close(dlg, IDOK);
    Accept();
    CComPtr<IJobData> job = Committed(12);
    EXPECT_EQ(JobGetLong(job, "pdf_CompRate"), 1);
    EXPECT_EQ(JobGetLong(job, "pdf_OCRLangID"), 2);
    EXPECT_EQ(JobGetLong(job, "pdf_AddOCR"), 0);
    EXPECT_EQ(JobGetLong(job, "pdf_MultiPage"), 1); // not this form's

    Open("save", 12);
    dlg = OpenFormat("PDF setting");
    ASSERT_NE(dlg, nullptr);
    Pick(IDC_PDF_LANGUAGE, "German", dlg);
    UiClick(dlg, IDC_PDF_APPLY_OCR);
    UiClick(dlg, IDC_PDF_NORMAL);
    EXPECT_TRUE(
        UiWaitUntil([&] { return UiGetCheck(dlg, IDC_PDF_NORMAL) == BST_CHECKED; }, kDeadline));
    Close(dlg, IDOK);
    Accept();
    job = Committed(12);
    EXPECT_EQ(JobGetLong(job, "pdf_CompRate"), 0);
    EXPECT_EQ(JobGetLong(job, "pdf_OCRLangID"), 5);
    EXPECT_EQ(JobGetLong(job, "pdf_AddOCR"), 1);
}

TEST_F(SavePageTest, PdfDialogWithMultiPageKeepsAnUnlistedLanguage) {
    PutCommon("Single_PDF", 1);
    PutJob(13, [](IJobData* job) {
        SaveAsFileJob(job);
        Set(job, "pdf_CompRate", 2L);
        Set(job, "pdf_OCRLangID", 42L);
        Set(job, "pdf_AddOCR", 3L);
        Set(job, "pdf_MultiPage", 0L);
    });
    Open("save", 13);
    HWND dlg = OpenFormat("PDF setting");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(UiGetCheck(dlg, IDC_PDF_CHARACTER), BST_CHECKED);
    EXPECT_EQ(UiGetCheck(dlg, IDC_PDF_SINGLE), BST_CHECKED);
    EXPECT_EQ(UiGetCheck(dlg, IDC_PDF_APPLY_OCR), BST_CHECKED);
    EXPECT_EQ(UiSelectedIndex(dlg, IDC_PDF_LANGUAGE), -1);
    UiClick(dlg, IDC_PDF_MULTI);
    EXPECT_TRUE(
        UiWaitUntil([&] { return UiGetCheck(dlg, IDC_PDF_MULTI) == BST_CHECKED; }, kDeadline));
    Close(dlg, IDOK);
    Accept();
    CComPtr<IJobData> job = Committed(13);
    EXPECT_EQ(JobGetLong(job, "pdf_CompRate"), 2);
    EXPECT_EQ(JobGetLong(job, "pdf_MultiPage"), 1);
    EXPECT_EQ(JobGetLong(job, "pdf_OCRLangID"), 42);
    EXPECT_EQ(JobGetLong(job, "pdf_AddOCR"), 1);
}

TEST_F(SavePageTest, PdfSecurityKeepsSealedPasswordsRefusesBadOnesAndExcludesPdfA) {
    PutJob(14, SaveAsFileJob);
    Open("save", 14);
    HWND dlg = OpenFormat("PDF setting");
    ASSERT_NE(dlg, nullptr);
    // Never set: no passwords, everything allowed, the boxes waiting for a
    // permissions password, PDF/A free to choose.
    EXPECT_EQ(SendDlgItemMessageA(dlg, IDC_PDF_USER_PW, EM_GETPASSWORDCHAR, 0, 0), '*');
    EXPECT_EQ(SendDlgItemMessageA(dlg, IDC_PDF_OWNER_PW2, EM_GETLIMITTEXT, 0, 0), 32);
    for (int id : {IDC_PDF_ALLOW_PRINT, IDC_PDF_ALLOW_COPY, IDC_PDF_ALLOW_CHANGE}) {
        EXPECT_EQ(UiGetCheck(dlg, id), BST_CHECKED) << id;
        EXPECT_FALSE(UiIsEnabled(dlg, id)) << id;
    }
    EXPECT_TRUE(UiIsEnabled(dlg, IDC_PDF_PDFA));

    // Each refusal names its fault and puts the focus on the field.
    auto refused = [&](int focus) {
        UiClick(dlg, IDOK);
        HWND box = Dialog("Error");
        if (!box)
            return std::string("(no error box)");
        const CUiDialogInfo info = UiReadDialog(box);
        UiPressButton(info, "OK");
        EXPECT_TRUE(UiWaitGone(box, kDeadline));
        EXPECT_TRUE(
            UiWaitUntil([&] { return UiFocusOf(dlg) == GetDlgItem(dlg, focus); }, kDeadline))
            << "focus not on " << focus;
        return UiJoinTexts(info, "");
    };
    UiSetText(dlg, IDC_PDF_USER_PW, "Op3n-Sesame");
    UiSetText(dlg, IDC_PDF_USER_PW2, "Op3n-Sesam");
    EXPECT_EQ(refused(IDC_PDF_USER_PW2), "The passwords do not match.");
    UiSetText(dlg, IDC_PDF_USER_PW2, "Op3n-Sesame");
    UiSetText(dlg, IDC_PDF_OWNER_PW, std::string(33, 'k').c_str());
    EXPECT_EQ(refused(IDC_PDF_OWNER_PW), "A password may have up to 32 characters.");
    UiSetText(dlg, IDC_PDF_OWNER_PW, "Own3r\x01Key");
    EXPECT_EQ(refused(IDC_PDF_OWNER_PW), "The password contains a character that cannot be used.");
    UiSetText(dlg, IDC_PDF_OWNER_PW, "Own3r-Key");
    UiSetText(dlg, IDC_PDF_OWNER_PW2, "Own3r-Key");
    EXPECT_TRUE(UiWaitUntil([&] { return UiIsEnabled(dlg, IDC_PDF_ALLOW_COPY); }, kDeadline));
    EXPECT_FALSE(UiIsEnabled(dlg, IDC_PDF_PDFA));
    UiClick(dlg, IDC_PDF_ALLOW_COPY);
    EXPECT_TRUE(UiWaitUntil([&] { return UiGetCheck(dlg, IDC_PDF_ALLOW_COPY) == BST_UNCHECKED; },
                            kDeadline));
    Close(dlg, IDOK);
    Accept();

    CComPtr<IJobData> job = Committed(14);
    EXPECT_EQ(JobGetString(job, "pdf_UserPassword"), "Op3n-Sesame");
    EXPECT_EQ(JobGetString(job, "pdf_OwnerPassword"), "Own3r-Key");
    EXPECT_EQ(JobGetLong(job, "pdf_Flag"), 5); // printing and changing
    EXPECT_EQ(JobGetLong(job, "pdf_CryptLevel"), 0);
    EXPECT_EQ(JobGetLong(job, "pdf_PDFA"), 0);
    std::string file = StoreFile();
    EXPECT_EQ(file.find("Op3n-Sesame"), std::string::npos) << "password in clear text";
    EXPECT_EQ(file.find("Own3r-Key"), std::string::npos) << "password in clear text";
    EXPECT_NE(file.find("\"pdf_UserPassword\"=hex(40000008):"), std::string::npos);
    EXPECT_NE(file.find("\"pdf_OwnerPassword\"=hex(40000008):"), std::string::npos);

    // Reopened, the dialog shows what was stored. Emptying the passwords
    // frees PDF/A, which then locks the passwords out.
    Open("save", 14);
    dlg = OpenFormat("PDF setting");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(UiGetText(dlg, IDC_PDF_USER_PW), "Op3n-Sesame");
    EXPECT_EQ(UiGetText(dlg, IDC_PDF_OWNER_PW2), "Own3r-Key");
    EXPECT_EQ(UiGetCheck(dlg, IDC_PDF_ALLOW_COPY), BST_UNCHECKED);
    EXPECT_EQ(UiGetCheck(dlg, IDC_PDF_ALLOW_PRINT), BST_CHECKED);
    EXPECT_FALSE(UiIsEnabled(dlg, IDC_PDF_PDFA));
    for (int id : {IDC_PDF_USER_PW, IDC_PDF_USER_PW2, IDC_PDF_OWNER_PW, IDC_PDF_OWNER_PW2})
        UiSetText(dlg, id, "");
    EXPECT_TRUE(UiWaitUntil([&] { return UiIsEnabled(dlg, IDC_PDF_PDFA); }, kDeadline));
    UiClick(dlg, IDC_PDF_PDFA);
    // The dialog disables the password boxes one after the other.
    EXPECT_TRUE(UiWaitUntil(
        [&] { return !UiIsEnabled(dlg, IDC_PDF_USER_PW) && !UiIsEnabled(dlg, IDC_PDF_OWNER_PW2); },
        kDeadline));
    EXPECT_FALSE(UiIsEnabled(dlg, IDC_PDF_ALLOW_PRINT));
    Close(dlg, IDOK);
    Accept();
    job = Committed(14);
    EXPECT_EQ(JobGetLong(job, "pdf_PDFA"), 1);
    EXPECT_EQ(JobGetString(job, "pdf_UserPassword"), "");
    EXPECT_EQ(JobGetString(job, "pdf_OwnerPassword"), "");
}

TEST_F(SavePageTest, CancelCommitsNothingOfWhatThePageAndItsDialogsChanged) {
    PutCommon("jpeg_CmpDlg", 1);
    PutJob(14, [](IJobData* job) {
        SaveAsFileJob(job);
        Set(job, "filetype", 3L);
        Set(job, "tiff_Comp", 0L);
    });
    const std::string before = StoreFile();
    Open("save", 14);
    UiSetText(m_hPage, IDC_SAVE_FILENAME, "changed");
    HWND dlg = OpenFormat("TIFF setting");
    ASSERT_NE(dlg, nullptr);
    UiClick(dlg, IDC_TIFF_COMPRESSION);
    Close(dlg, IDOK);
    dlg = OpenAccess();
    ASSERT_NE(dlg, nullptr);
    UiSetText(dlg, IDC_ACCESS_USER, "eve");
    Close(dlg, IDOK);
    Pick(IDC_SAVE_FILETYPE, "JPEG");
    Cancel();
    EXPECT_EQ(StoreFile(), before);
}

namespace {
BOOL CALLBACK FindTree(HWND hWnd, LPARAM lParam) {
    char cls[64] = {};
    GetClassNameA(hWnd, cls, sizeof cls);
    if (lstrcmpiA(cls, "SysTreeView32") != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(lParam) = hWnd;
    return FALSE;
}
} // namespace

TEST_F(SavePageTest, BrowseStartsAtTheFolderFollowsTheSelectionAndTakesTheChoice) {
    PutJob(15, SaveAsFileJob);
    Open("save", 15);
    auto openBrowser = [&] {
        UiClick(m_hPage, IDC_SAVE_BROWSE);
        // The browser is the host's dialog that shows the title.
        HWND browser = nullptr;
        UiWaitUntil(
            [&] {
                CUiFindOptions options;
                options.m_dwProcessId = m_host.m_nPid;
                for (const CUiDialogInfo& d : UiFindDialogs(options))
                    for (const std::string& t : d.m_texts)
                        if (t == "Please select save location.")
                            browser = d.m_hWnd;
                return browser != nullptr;
            },
            kDeadline);
        return browser;
    };
    auto statusShows = [&](HWND browser, const char* path) {
        return UiWaitUntil(
            [&] {
                for (const std::string& t : UiReadDialog(browser).m_texts)
                    if (_stricmp(t.c_str(), path) == 0)
                        return true;
                return false;
            },
            kDeadline);
    };

    // Cancel leaves the folder as it was.
    UiSetText(m_hPage, IDC_SAVE_FOLDER, "C:\\windows\\system32");
    HWND browser = openBrowser();
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(statusShows(browser, "C:\\windows\\system32")) << UiDescribe(UiReadDialog(browser));
    UiClick(browser, IDCANCEL);
    EXPECT_TRUE(UiWaitGone(browser, kDeadline));
    EXPECT_EQ(UiGetText(m_hPage, IDC_SAVE_FOLDER), "C:\\windows\\system32");

    // The user moves to the parent folder: the status line follows, OK takes it.
    browser = openBrowser();
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(statusShows(browser, "C:\\windows\\system32"));
    HWND tree = nullptr;
    EnumChildWindows(browser, FindTree, reinterpret_cast<LPARAM>(&tree));
    ASSERT_NE(tree, nullptr);
    const LPARAM selected = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    const LPARAM parent = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_PARENT, selected);
    ASSERT_NE(parent, 0);
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, parent);
    EXPECT_TRUE(statusShows(browser, "C:\\windows")) << UiDescribe(UiReadDialog(browser));
    UiClick(browser, IDOK);
    EXPECT_TRUE(UiWaitGone(browser, kDeadline));
    EXPECT_EQ(_stricmp(UiGetText(m_hPage, IDC_SAVE_FOLDER).c_str(), "C:\\windows"), 0)
        << UiGetText(m_hPage, IDC_SAVE_FOLDER);
    Accept();
    EXPECT_EQ(_stricmp(JobGetString(Committed(15), "save_path").c_str(), "C:\\windows"), 0);
}

// In the New/Editing dialog the page of a newly chosen function is made
// without the job: what its buttons set must still reach the job at OK.
TEST_F(SavePageTest, InTheEditDialogAnotherFunctionsPageKeepsItsDialogsValues) {
    PutJob(20, [](IJobData* job) {
        SaveAsFileJob(job);
        Set(job, "title", "Invoices");
        SetDriver(job, "[CustomDsData]\r\nSamplesPerPixel=3\r\nBitsPerSample=8\r\n");
    });
    ASSERT_TRUE(m_host.Start("\"" + kHost + "\" edit 20"));
    HWND edit = Dialog("New/Editing");
    ASSERT_NE(edit, nullptr);
    Pick(IDC_JOBEDIT_FUNCTION, "Attach to E-mail", edit);
    ASSERT_TRUE(UiWaitUntil(
        [&] {
            m_hPage = UiFindPageWith(edit, IDC_SAVE_IMAGE, true);
            return m_hPage && UiIsVisible(m_hPage, IDC_SAVE_IMAGE);
        },
        kDeadline));
    // The defaults of a page that was not loaded.
    EXPECT_EQ(UiGetCheck(m_hPage, IDC_SAVE_MYPICTURE), BST_CHECKED);
    EXPECT_EQ(FileTypeShown(), "PDF");

    Pick(IDC_SAVE_FILETYPE, "TIFF");
    HWND dlg = OpenFormat("TIFF setting");
    ASSERT_NE(dlg, nullptr);
    UiClick(dlg, IDC_TIFF_MULTI);
    UiClick(dlg, IDC_TIFF_COMPRESSION);
    EXPECT_TRUE(UiWaitUntil([&] { return UiGetCheck(dlg, IDC_TIFF_COMPRESSION) == BST_CHECKED; },
                            kDeadline));
    Close(dlg, IDOK);
    UiClick(m_hPage, IDC_SAVE_MYPICTURE);
    ASSERT_TRUE(UiWaitUntil([&] { return Enabled(IDC_SAVE_ACCESS); }, kDeadline));
    UiSetText(m_hPage, IDC_SAVE_FOLDER, "C:\\Out");
    UiSetText(m_hPage, IDC_SAVE_FILENAME, "mail");
    dlg = OpenAccess();
    ASSERT_NE(dlg, nullptr);
    UiSetText(dlg, IDC_ACCESS_USER, "carol");
    UiSetText(dlg, IDC_ACCESS_PASSWORD, "pw");
    Close(dlg, IDOK);

    HWND bar = UiFindPageWith(edit, IDOK, true);
    ASSERT_NE(bar, nullptr);
    Accept(bar);

    CComPtr<IJobData> job = Committed(20);
    EXPECT_EQ(JobGetLong(job, "function id"), 4);
    EXPECT_EQ(JobGetLong(job, "filetype"), 3);
    EXPECT_EQ(JobGetLong(job, "tiff_MultiPage"), 1);
    EXPECT_EQ(JobGetLong(job, "tiff_Comp"), 1);
    EXPECT_EQ(JobGetString(job, "username"), "carol");
    EXPECT_EQ(JobGetString(job, "password"), "pw");
    EXPECT_EQ(JobGetString(job, "save_path"), "C:\\Out");
    EXPECT_EQ(JobGetString(job, "filename"), "mail");
    EXPECT_EQ(JobGetLong(job, "mypicture"), 0);
}

TEST_F(SavePageTest, MnemonicsAndTabReachTheControlsInOrder) {
    PutJob(21, [](IJobData* job) {
        SaveAsFileJob(job);
        Set(job, "function id", 1L);
    });
    Open("save-image", 21);
    auto item = [&](int id) { return GetDlgItem(m_hPage, id); };
    // Alt+letter as the keyboard sends it to the focused control.
    auto alt = [&](char letter) { PostMessageA(UiFocusOf(m_hFrame), WM_SYSCHAR, letter, 1 << 29); };
    auto tab = [&] { PostMessageA(UiFocusOf(m_hFrame), WM_KEYDOWN, VK_TAB, 0); };
    auto focusIs = [&](int id) {
        return UiWaitUntil([&] { return UiFocusOf(m_hFrame) == item(id); }, kDeadline);
    };

    alt('m');
    EXPECT_TRUE(focusIs(IDC_SAVE_FILENAME)) << "Alt+M";
    alt('y');
    EXPECT_TRUE(focusIs(IDC_SAVE_FILETYPE)) << "Alt+Y";
    alt('v');
    EXPECT_TRUE(focusIs(IDC_SAVE_FOLDER)) << "Alt+V";
    for (int id : {IDC_SAVE_BROWSE, IDC_SAVE_ACCESS, IDC_SAVE_FILENAME, IDC_SAVE_FILETYPE,
                   IDC_SAVE_FORMAT_SETTING}) {
        tab();
        EXPECT_TRUE(focusIs(id)) << "Tab to " << id;
    }
    alt('g');
    EXPECT_TRUE(focusIs(IDC_SAVE_IMAGE)) << "Alt+G";
    Cancel();
}

// The whole program as the job list tool drives it: DoModal2 through COM
// opens the New/Editing dialog with this page, whose rule keeps it open.
TEST_F(SavePageTest, ThroughTheComClassTheEditDialogShowsThePagesRefusal) {
    PutJob(22, [](IJobData* job) {
        SaveAsFileJob(job);
        Set(job, "title", "Binary");
        Set(job, "filetype", 1L);
        SetDriver(job, "[CustomDsData]\r\nSamplesPerPixel=1\r\nBitsPerSample=1\r\n");
    });
    ASSERT_TRUE(m_host.Start("\"" + ProgramPath("Task Deck", "ploverctl.exe") + "\" DoModal2 22"));
    HWND edit = Dialog("New/Editing");
    ASSERT_NE(edit, nullptr);
    ASSERT_TRUE(UiWaitUntil(
        [&] {
            m_hPage = UiFindPageWith(edit, IDC_SAVE_FILETYPE, true);
            return m_hPage != nullptr;
        },
        kDeadline));
    EXPECT_EQ(FileTypeShown(), "JPEG");
    HWND bar = UiFindPageWith(edit, IDOK, true);
    ASSERT_NE(bar, nullptr);
    UiClick(bar, IDOK);
    HWND box = Dialog("Error");
    ASSERT_NE(box, nullptr);
    const CUiDialogInfo info = UiReadDialog(box);
    ASSERT_FALSE(info.m_texts.empty());
    EXPECT_EQ(info.m_texts.back(), "Cannot create JPEG file with binary mode.");
    UiPressButton(info, "OK");
    EXPECT_TRUE(UiWaitGone(box, kDeadline));
    EXPECT_TRUE(IsWindow(edit));

    Pick(IDC_SAVE_FILETYPE, "PDF");
    Accept(bar);
    EXPECT_EQ(JobGetLong(Committed(22), "filetype"), 2);
}

// A value the dialog cannot read ends it before it shows, with the reason in
// an "Error" box; the page stays as it was.
TEST_F(SavePageTest, AFormatDialogThatCannotReadItsValuesEndsWithTheReason) {
    PutJob(23, [](IJobData* job) {
        SaveAsFileJob(job);
        Set(job, "filetype", 3L);
        Set(job, "tiff_Comp", "very");
    });
    Open("save", 23);
    HWND box = OpenFormat("Error");
    ASSERT_NE(box, nullptr);
    const CUiDialogInfo info = UiReadDialog(box);
    EXPECT_FALSE(info.m_texts.empty());
    // Owned by the dialog that failed, which is not shown.
    HWND owner = GetWindow(box, GW_OWNER);
    ASSERT_NE(owner, nullptr);
    EXPECT_NE(owner, m_hFrame);
    EXPECT_FALSE(IsWindowVisible(owner));
    UiPressButton(info, "OK");
    EXPECT_TRUE(UiWaitGone(box, kDeadline));
    EXPECT_TRUE(UiWaitUntil([&] { return !IsWindow(owner); }, kDeadline));
    Accept();
    EXPECT_EQ(JobGetString(Committed(23), "tiff_Comp"), "very");
}
