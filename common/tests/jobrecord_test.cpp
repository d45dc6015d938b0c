// Loading a job into JobSettings, against an in-memory store.
#include <gtest/gtest.h>
#include "common/JobRecord.h"
#include "fake_store.h"
#include "framework/ComError.h"

namespace {
class JobLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pStore = new CFakeStore;
        m_pJob = new CFakeJob;
        m_pJob->Set("title", "Invoices");
        m_pJob->Set("function id", SCAN_TO_PC);
        m_pJob->Set("function id name", "Save as file");
        m_pJob->Set("mypicture", 0L);
        m_pJob->Set("save_path", "C:\\Scans");
        m_pJob->Set("username", "u");
        m_pJob->Set("password", "p");
        m_pJob->Set("filename", "inv_");
        m_pJob->Set("save", 1L);
        m_pStore->Set("MailSize", 10);
        m_pStore->Set("MonitorOpen", 1);
        m_hooks.m_fnLog = [this](const char* text) { m_log.push_back(text); };
        m_hooks.m_fnPicturesFolder = [] { return std::string("C:\\Pictures"); };
    }
    void TearDown() override {
        m_pStore->Release();
        m_pJob->Release();
    }
    JobSettings Load() {
        JobSettings s;
        LoadJobSettings(s, m_pStore, m_pJob, m_hooks);
        return s;
    }
    CFakeStore* m_pStore = nullptr;
    CFakeJob* m_pJob = nullptr;
    JobLoadHooks m_hooks;
    std::vector<std::string> m_log;
};
} // namespace

TEST(JobSettingsDefaults, BeforeLoading) {
    JobSettings s;
    EXPECT_EQ(s.m_nTiffComp, 1);
    EXPECT_EQ(s.m_nJpegQuality, 75);
    EXPECT_EQ(s.m_nMultiPage, 0);
    EXPECT_EQ(s.m_nPdfCompression, 0);
    EXPECT_EQ(s.m_dwOcrLanguage, 2u);
    EXPECT_EQ(s.m_dwOcrSecond, 0u);
}

TEST_F(JobLoadTest, CommonValuesAndSaveSettings) {
    m_pJob->Set("filetype", 0L);
    JobSettings s = Load();
    EXPECT_EQ(s.m_strTitle, "Invoices");
    EXPECT_EQ(s.m_nMailSizeLimit, 10485760);
    EXPECT_EQ(s.m_nFunctionId, SCAN_TO_PC);
    EXPECT_TRUE(s.m_bMonitorOpen);
    EXPECT_EQ(s.m_strFunctionName, "Save as file");
    EXPECT_EQ(s.m_strSaveFolder, "C:\\Scans");
    EXPECT_EQ(s.m_strUserName, "u");
    EXPECT_EQ(s.m_strPassword, "p");
    EXPECT_EQ(s.m_strFilePrefix, "inv_");
    EXPECT_EQ(s.m_strFileType, "BMP");
    EXPECT_TRUE(s.m_bSave);
    // BMP reads no format keys.
    EXPECT_EQ(m_pJob->m_reads.count("tiff_Comp"), 0u);
    EXPECT_EQ(m_pJob->m_reads.count("jpeg_Comp"), 0u);
}

TEST_F(JobLoadTest, UnknownFileTypeReadsNoFormatKeys) {
    m_pJob->Set("filetype", 7L);
    JobSettings s = Load();
    EXPECT_EQ(s.m_strFileType, "UNKNOWN");
    for (const char* key : {"tiff_Comp", "tiff_MultiPage", "pdf_MultiPage", "pdf_OCRLangID",
                            "pdf_AddOCR", "pdf_CompRate", "jpeg_Comp"})
        EXPECT_EQ(m_pJob->m_reads.count(key), 0u) << key;
    EXPECT_EQ(s.m_nTiffComp, 1);
    EXPECT_EQ(s.m_nJpegQuality, 75);
}

TEST_F(JobLoadTest, PdfMappings) {
    m_pJob->Set("filetype", 2L);
    m_pJob->Set("pdf_MultiPage", 5L);
    m_pJob->Set("pdf_AddOCR", 1L);
    struct {
        long rate;
        int code;
    } rates[] = {{0, 0}, {5, 0}, {1, 2}, {2, 3}};
    for (auto r : rates) {
        m_pJob->Set("pdf_CompRate", r.rate);
        EXPECT_EQ(Load().m_nPdfCompression, r.code) << r.rate;
    }
    m_pJob->Set("pdf_OCRLangID", 9L);
    JobSettings s = Load();
    EXPECT_EQ(s.m_dwOcrLanguage, 4u);
    EXPECT_EQ(s.m_dwOcrSecond, 256u);
    EXPECT_EQ(s.m_nMultiPage, 1);
    m_pJob->Set("pdf_OCRLangID", 42L);
    s = Load();
    EXPECT_EQ(s.m_dwOcrLanguage, 2u);
    EXPECT_EQ(s.m_dwOcrSecond, 0u);
    EXPECT_EQ(m_log.back(), "Add OCR");

    m_pJob->Set("pdf_OCRLangID", 3L);
    m_pJob->Set("pdf_AddOCR", 0L);
    s = Load();
    EXPECT_EQ(s.m_dwOcrLanguage, 64u | 0x80000000u);
    EXPECT_EQ(m_log.back(), "Not Add OCR ");
    m_pJob->Set("pdf_UserPassword", "secret");
    s = Load();
    EXPECT_EQ(s.m_PdfProtection.m_strUserPassword, "secret");
    EXPECT_EQ(s.m_PdfProtection.m_nPermissions, 7); // never set: all allowed
    EXPECT_FALSE(s.m_PdfProtection.m_bPdfA);
    EXPECT_FALSE(s.m_PdfProtection.m_bPasswordUnreadable);
    m_pJob->Set("pdf_Flag", 0L);
    m_pJob->Set("pdf_PDFA", 1L);
    m_pJob->m_failures["pdf_OwnerPassword"] = 0x00040003; // sealed bytes the store cannot open
    s = Load();
    EXPECT_EQ(s.m_PdfProtection.m_nPermissions, 0);
    EXPECT_TRUE(s.m_PdfProtection.m_bPdfA);
    EXPECT_TRUE(s.m_PdfProtection.m_bPasswordUnreadable);
    EXPECT_EQ(s.m_PdfProtection.m_strOwnerPassword, "");
}

TEST_F(JobLoadTest, TiffAndJpegValues) {
    m_pJob->Set("filetype", 3L);
    m_pJob->Set("tiff_Comp", 0L);
    m_pJob->Set("tiff_MultiPage", 4L);
    JobSettings s = Load();
    EXPECT_EQ(s.m_strFileType, "TIFF");
    EXPECT_EQ(s.m_nTiffComp, 0);
    EXPECT_EQ(s.m_nMultiPage, 1);
    m_pJob->Set("filetype", 1L);
    m_pJob->Set("jpeg_Comp", 40L);
    EXPECT_EQ(Load().m_nJpegQuality, 40);
}

TEST_F(JobLoadTest, PrintJobForcesTiff) {
    m_pJob->Set("function id", SCAN_TO_PR);
    m_pJob->Set("filetype", 2L);
    m_pJob->Set("pdf_MultiPage", 1L);
    JobSettings s = Load();
    EXPECT_EQ(s.m_strFileType, "TIFF");
    EXPECT_EQ(s.m_nMultiPage, 0);
    EXPECT_EQ(s.m_strFilePrefix, "");
    for (const char* key : {"filetype", "save", "save_path", "mypicture", "filename"})
        EXPECT_EQ(m_pJob->m_reads.count(key), 0u) << key;
}

TEST_F(JobLoadTest, SaveZeroEmptiesTheFolderAndMyPictureReplacesIt) {
    m_pJob->Set("filetype", 0L);
    m_pJob->Set("save", 0L);
    JobSettings s = Load();
    EXPECT_FALSE(s.m_bSave);
    EXPECT_EQ(s.m_strSaveFolder, "");
    m_pJob->Set("save", 1L);
    m_pJob->Set("mypicture", 1L);
    s = Load();
    EXPECT_EQ(s.m_strSaveFolder, "C:\\Pictures");
    EXPECT_EQ(m_pJob->m_reads.count("save_path"), 1u); // only from the first load
}

TEST_F(JobLoadTest, FailuresRaiseComErrorsWithTheInterface) {
    m_pJob->Set("filetype", 0L);
    m_pJob->m_failures["filename"] = E_ACCESSDENIED;
    try {
        Load();
        FAIL() << "no error";
    } catch (const CComError& e) {
        EXPECT_EQ(e.m_hr, E_ACCESSDENIED);
        EXPECT_TRUE(IsEqualIID(e.m_iid, IID_IJobData));
    }
    m_pJob->m_failures.clear();
    m_pStore->m_failures["MonitorOpen"] = 0x80040007;
    try {
        Load();
        FAIL() << "no error";
    } catch (const CComError& e) {
        EXPECT_TRUE(IsEqualIID(e.m_iid, IID_IJobStore));
        EXPECT_EQ(e.Message(), "vender defined error 7");
    }
    m_pStore->m_failures.clear();
    // A value that cannot be converted is a COM error too.
    m_pJob->Set("function id", "not a number");
    EXPECT_THROW(Load(), CComError);
}

TEST_F(JobLoadTest, LastJobNumberIsClamped) {
    RecordLastJobNumber(m_pStore, 0);
    EXPECT_EQ(m_pStore->m_values["LastJobNum"].vt, VT_I4);
    EXPECT_EQ(m_pStore->m_values["LastJobNum"].lVal, 1);
    RecordLastJobNumber(m_pStore, 100);
    EXPECT_EQ(m_pStore->m_values["LastJobNum"].lVal, 1);
    RecordLastJobNumber(m_pStore, 57);
    EXPECT_EQ(m_pStore->m_values["LastJobNum"].lVal, 57);
    EXPECT_EQ(m_pStore->m_nSaves, 3);
}
