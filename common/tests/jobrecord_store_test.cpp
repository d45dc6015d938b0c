// Job loading against the real job store component (Taskstore.dll, registered
// in the test prefix), with a private store file.
#include <gtest/gtest.h>
#include "common/JobRecord.h"
#include "framework/ComError.h"
#include "framework/Variant.h"

namespace {
class RealStoreTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        s_strFile = std::string(temp) + "jobrecord_store_test.reg";
        DeleteFileA(s_strFile.c_str());
        SetEnvironmentVariableA("TASKSTORE_FILE", s_strFile.c_str());
    }
    static void TearDownTestSuite() { DeleteFileA(s_strFile.c_str()); }
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        m_pStore = CreateJobStore(23);
        PrepareJobStore(m_pStore, "VX-410", 0);
    }
    void TearDown() override {
        m_pStore.Release();
        CoUninitialize();
    }
    // Writes a job with the given values (plus a title) and commits it.
    void WriteJob(long number, std::initializer_list<std::pair<const char*, long>> ints) {
        CComPtr<IJobData> job;
        ThrowIfFailed(m_pStore->GetJob(number, &job), IID_IJobStore);
        ASSERT_TRUE(job);
        Set(job, "title", CVariant("Job title"));
        Set(job, "function id name", CVariant("Save as file"));
        Set(job, "save_path", CVariant("C:\\Scans"));
        for (auto& kv : ints)
            Set(job, kv.first, CVariant(kv.second));
        ThrowIfFailed(job->Commit(), IID_IJobData);
    }
    static void Set(IJobData* job, const char* key, const CVariant& v) {
        CBstr k(key);
        ThrowIfFailed(job->Setdata(k, v), IID_IJobData);
    }
    JobSettings Load(long number) {
        CComPtr<IJobData> job;
        HRESULT hr = m_pStore->GetJob(number, &job);
        EXPECT_EQ(hr, S_OK);
        JobSettings s;
        JobLoadHooks hooks;
        hooks.m_fnLog = [](const char*) {};
        LoadJobSettings(s, m_pStore, job, hooks);
        return s;
    }
    CComPtr<IJobStore> m_pStore;
    static std::string s_strFile;
};
std::string RealStoreTest::s_strFile;
} // namespace

TEST_F(RealStoreTest, MissingJobIsTheNotFoundSuccessCode) {
    CComPtr<IJobData> job;
    HRESULT hr = m_pStore->GetJob(98, &job);
    EXPECT_EQ(hr, static_cast<HRESULT>(0x00040002));
    EXPECT_EQ(hr & 0xFFFF, 2);
}

// FindJob turns that code into no job; a number outside the store throws.
TEST_F(RealStoreTest, FindJobGivesOnlyExistingJobs) {
    EXPECT_FALSE(FindJob(m_pStore, 98));
    WriteJob(97, {});
    CComPtr<IJobData> found = FindJob(m_pStore, 97);
    ASSERT_TRUE(found);
    EXPECT_EQ(JobGetString(found, "title"), "Job title");
    EXPECT_THROW(FindJob(m_pStore, 0), CComError);
}

TEST_F(RealStoreTest, EdgeCasesOfLoading) {
    StoreSetLong(m_pStore, "MailSize", 10);
    StoreSetLong(m_pStore, "MonitorOpen", 0);
    ThrowIfFailed(m_pStore->Save(), IID_IJobStore);

    WriteJob(1, {{"function id", SCAN_TO_PC}, {"filetype", 7}, {"save", 1}, {"mypicture", 0}});
    JobSettings s = Load(1);
    EXPECT_EQ(s.m_strFileType, "UNKNOWN");
    EXPECT_EQ(s.m_nMailSizeLimit, 10485760);
    EXPECT_FALSE(s.m_bMonitorOpen);
    EXPECT_EQ(s.m_strTitle, "Job title");
    EXPECT_EQ(s.m_strSaveFolder, "C:\\Scans");

    WriteJob(2, {{"function id", SCAN_TO_MAIL},
                 {"filetype", 2},
                 {"pdf_CompRate", 1},
                 {"pdf_OCRLangID", 9},
                 {"pdf_AddOCR", 1},
                 {"save", 1},
                 {"mypicture", 0}});
    s = Load(2);
    EXPECT_EQ(s.m_strFileType, "PDF");
    EXPECT_EQ(s.m_nPdfCompression, 2);
    EXPECT_EQ(s.m_dwOcrLanguage, 4u);
    EXPECT_EQ(s.m_dwOcrSecond, 256u);

    WriteJob(3, {{"function id", SCAN_TO_PC},
                 {"filetype", 2},
                 {"pdf_CompRate", 5},
                 {"pdf_OCRLangID", 3},
                 {"pdf_AddOCR", 0},
                 {"save", 0},
                 {"mypicture", 0}});
    s = Load(3);
    EXPECT_EQ(s.m_nPdfCompression, 0);
    EXPECT_EQ(s.m_dwOcrLanguage, 64u | 0x80000000u);
    EXPECT_EQ(s.m_strSaveFolder, ""); // "save" zero

    WriteJob(4, {{"function id", SCAN_TO_PR}, {"filetype", 1}, {"jpeg_Comp", 20}});
    s = Load(4);
    EXPECT_EQ(s.m_strFileType, "TIFF");
    EXPECT_EQ(s.m_nMultiPage, 0);
    EXPECT_EQ(s.m_nJpegQuality, 75);
}

TEST_F(RealStoreTest, LastJobNumberAndByteBlocks) {
    RecordLastJobNumber(m_pStore, 100);
    EXPECT_EQ(StoreGetLong(m_pStore, "LastJobNum"), 1);
    RecordLastJobNumber(m_pStore, 0);
    EXPECT_EQ(StoreGetLong(m_pStore, "LastJobNum"), 1);
    RecordLastJobNumber(m_pStore, 12);

    std::string driver = "[CustomDsData]\r\nScanType=1\r\nXResolution(0)=300\r\n";
    driver += std::string("\0\x01\xff", 3); // raw bytes survive too
    {
        CComPtr<IJobData> job;
        m_pStore->GetJob(5, &job);
        CVariant block;
        ASSERT_EQ(VlmMakeByteBlock(driver.data(), driver.size(), &block), S_OK);
        Set(job, "driver", block);
        ThrowIfFailed(job->Commit(), IID_IJobData);
    }
    // A fresh store object sees what was made lasting.
    m_pStore.Release();
    m_pStore = CreateJobStore(23);
    PrepareJobStore(m_pStore, "VX-410", 0);
    EXPECT_EQ(StoreGetLong(m_pStore, "LastJobNum"), 12);
    CComPtr<IJobData> job;
    ASSERT_EQ(m_pStore->GetJob(5, &job), S_OK);
    CVariant v;
    CBstr key("driver");
    ASSERT_EQ(job->Getdata(key, v.Receive()), S_OK);
    EXPECT_TRUE(v.vt & VT_ARRAY);
    std::vector<uint8_t> back;
    ASSERT_EQ(VlmReadByteBlock(v, back), S_OK);
    EXPECT_EQ(std::string(back.begin(), back.end()), driver);
}

TEST_F(RealStoreTest, UnconvertibleValueIsAComError) {
    CComPtr<IJobData> job;
    m_pStore->GetJob(6, &job);
    Set(job, "title", CVariant("t"));
    Set(job, "function id", CVariant("not a number"));
    ThrowIfFailed(job->Commit(), IID_IJobData);
    JobSettings s;
    try {
        LoadJobSettings(s, m_pStore, job);
        FAIL() << "no error";
    } catch (const CComError& e) {
        EXPECT_TRUE(IsEqualIID(e.m_iid, IID_IJobData));
        EXPECT_FALSE(e.Message().empty());
    }
}
