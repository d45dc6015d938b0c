#include "RegText.h"
#include "TestProtector.h"

#include <gtest/gtest.h>

using namespace taskstore;

namespace {

std::string Format(const CStoreData& d, const IValueProtector* p = nullptr) {
    std::string text;
    CRegError err;
    EXPECT_TRUE(FormatRegText(d, text, err, p)) << err.m_strText;
    return text;
}

CStoreData Parse(const std::string& text, const IValueProtector* p = nullptr) {
    CStoreData d;
    CRegError err;
    EXPECT_TRUE(ParseRegText(text, d, err, p)) << "line " << err.m_nLine << ": " << err.m_strText;
    return d;
}

CRegError ParseFailure(const std::string& text) {
    CStoreData d;
    CRegError err;
    EXPECT_FALSE(ParseRegText(text, d, err));
    return err;
}

std::vector<uint8_t> AllBytes() {
    std::vector<uint8_t> v;
    for (int i = 0; i < 256; ++i)
        v.push_back(uint8_t(i));
    return v;
}

const std::string kHead = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string kJob =
    "[HKEY_CURRENT_USER\\Software\\Velmora Works\\Taskstore\\VX-410\\Jobs\\001]\r\n";

} // namespace

TEST(TaskValue, IntegersAreCutToTheirTypeWidth) {
    EXPECT_EQ(CTaskValue::Integer(kVtI2, 70000).m_nValue, 4464);
    EXPECT_EQ(CTaskValue::Integer(kVtI2, 0xFFFF).m_nValue, -1);
    EXPECT_EQ(CTaskValue::Integer(kVtUi2, -1).m_nValue, 65535);
    EXPECT_EQ(CTaskValue::Integer(kVtI1, 200).m_nValue, -56);
    EXPECT_EQ(CTaskValue::Integer(kVtI4, 0x80000000LL).m_nValue, INT32_MIN);
    EXPECT_EQ(CTaskValue::Integer(kVtI8, INT64_MIN).m_nValue, INT64_MIN);
    EXPECT_NE(CTaskValue::Integer(kVtI2, 1),
              CTaskValue::Integer(kVtI4, 1)); // the type is part of the value
}

TEST(TaskValue, Utf8ConversionRejectsMalformedInput) {
    std::u16string w;
    EXPECT_TRUE(Utf8ToUtf16("a\xC3\xA9\xF0\x9F\x98\x80", w));
    EXPECT_EQ(w, (std::u16string{u'a', 0xE9, 0xD83D, 0xDE00}));
    for (const char* bad :
         {"\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\xF4\x90\x80\x80", "\xFF", "\x80"})
        EXPECT_FALSE(Utf8ToUtf16(bad, w)) << bad;
    std::string s;
    EXPECT_FALSE(Utf16ToUtf8(std::u16string{0xD800}, s));
    EXPECT_FALSE(Utf16ToUtf8(std::u16string{0xDC00, u'a'}, s));
}

TEST(RegText, EveryValueKindRoundTripsExactly) {
    CStoreData d;
    CModelData& m = d.Model("VX-410");
    m.m_common["LastJobNum"] = CTaskValue::Integer(kVtI4, 3);
    m.m_common["MailSize"] = CTaskValue::Integer(kVtI4, -2);
    CValueMap& job = m.m_jobs[7];
    job["save"] = CTaskValue::Integer(kVtI2, 1);
    job["neg"] = CTaskValue::Integer(kVtI2, -2);
    job["i1"] = CTaskValue::Integer(kVtI1, -5);
    job["ui1"] = CTaskValue::Integer(kVtUi1, 250);
    job["ui2"] = CTaskValue::Integer(kVtUi2, 65000);
    job["ui4"] = CTaskValue::Integer(kVtUi4, 4000000000LL);
    job["i8"] = CTaskValue::Integer(kVtI8, INT64_MIN + 5);
    job["ui8"] = CTaskValue::Integer(kVtUi8, -1);
    job["int"] = CTaskValue::Integer(kVtInt, 42);
    job["uint"] = CTaskValue::Integer(kVtUint, 43);
    job["bool"] = CTaskValue::Integer(kVtBool, -1);
    job["title"] = CTaskValue::Text(u"Invoices \"Q1\" \\ C:\\scan\\");
    job["text"] = CTaskValue::Text(u"line one\r\nline two\ttab");
    job["unicode"] = CTaskValue::Text(u"\u00e9\u65e5\U0001F600");
    job["lone"] = CTaskValue::Text(std::u16string{u'a', 0xD800, u'b'});
    job["nul"] = CTaskValue::Text(std::u16string{u'a', 0, u'b', 0});
    job["empty"] = CTaskValue::Text(u"");
    job["driver"] = CTaskValue::Bytes(AllBytes());
    job["devmode"] = CTaskValue::Bytes({});
    job["devname"] = CTaskValue::Bytes({1, 2, 3}, kVtArray | kVtUi1);
    d.Model("VX-420").m_jobs[1000]["title"] = CTaskValue::Text(u"big");
    d.Model("odd %\\[]name");

    std::string text = Format(d);
    CStoreData back = Parse(text);
    EXPECT_TRUE(back == d);
    EXPECT_EQ(Format(back), text);
    EXPECT_NE(back.FindModel("odd %\\[]name"), nullptr);
    EXPECT_EQ(back.FindModel("VX-410")->m_jobs.at(7).at("save").m_nVarType, kVtI2);
}

TEST(RegText, WritesTheDocumentedForm) {
    CStoreData d;
    CValueMap& job = d.Model("VX-410").m_jobs[3];
    job["title"] = CTaskValue::Text(u"A \"b\"");
    job["save"] = CTaskValue::Integer(kVtI2, 1);
    job["function id"] = CTaskValue::Integer(kVtI4, 2);
    job["driver"] = CTaskValue::Bytes({0x5b, 0x43});
    job["text"] = CTaskValue::Text(u"x\n");
    d.Model("VX-410").m_common["MailSize"] = CTaskValue::Integer(kVtI4, 10);
    const std::string root = "[HKEY_CURRENT_USER\\Software\\Velmora Works\\Taskstore";
    EXPECT_EQ(Format(d), kHead + root + "]\r\n\r\n" + root + "\\VX-410]\r\n\r\n" + root +
                             "\\VX-410\\Common]\r\n\"MailSize\"=dword:0000000a\r\n\r\n" + root +
                             "\\VX-410\\Jobs\\003]\r\n"
                             "\"driver\"=hex:5b,43\r\n"
                             "\"function id\"=dword:00000002\r\n"
                             "\"save\"=hex(80000002):01,00\r\n"
                             "\"text\"=hex(1):78,00,0a,00,00,00\r\n"
                             "\"title\"=\"A \\\"b\\\"\"\r\n");
}

TEST(RegText, LongBlocksAreWrappedAndReadBack) {
    CStoreData d;
    d.Model("M").m_jobs[1]["driver"] = CTaskValue::Bytes(std::vector<uint8_t>(5000, 0xAB));
    std::string text = Format(d);
    size_t longest = 0, start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        longest = std::max(longest, nl - start);
    EXPECT_LE(longest, 82u);
    EXPECT_TRUE(Parse(text) == d);
}

TEST(RegText, ToleratesWhatOtherRegistryWritersProduce) {
    // LF lines, comments, blank lines, upper-case hex, standard registry types,
    // names in other case, a repeated value (the last one counts).
    std::string text = "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n; comment\n\n"
                       "[hkey_current_user\\software\\velmora works\\taskstore\\VX-410\\jobs\\1]\n"
                       "\"a\"=hex(4):01,00,00,00\n"
                       "\"b\"=hex(b):FF,FF,FF,FF,FF,FF,FF,FF\n"
                       "\"c\"=hex(2):41,00,00,00\n"
                       "\"d\"=hex(3):01,\\\n   02\n"
                       "\"e\" = dword:1\n"
                       "\"e\"=dword:2\n";
    CStoreData d = Parse(text);
    const CValueMap& job = d.FindModel("vx-410")->m_jobs.at(1);
    EXPECT_EQ(job.at("a"), CTaskValue::Integer(kVtI4, 1));
    EXPECT_EQ(job.at("b"), CTaskValue::Integer(kVtI8, -1));
    EXPECT_EQ(job.at("C"), CTaskValue::Text(u"A"));
    EXPECT_EQ(job.at("d"), CTaskValue::Bytes({1, 2}));
    EXPECT_EQ(job.at("e"), CTaskValue::Integer(kVtI4, 2));

    // The same content as a UTF-16LE file with a byte-order mark.
    std::string wide = "\xFF\xFE";
    for (char c :
         std::string("Windows Registry Editor Version 5.00\r\n" + kJob + "\"t\"=\"x\"\r\n")) {
        wide.push_back(c);
        wide.push_back('\0');
    }
    EXPECT_EQ(Parse(wide).FindModel("VX-410")->m_jobs.at(1).at("t"), CTaskValue::Text(u"x"));
}

TEST(RegText, ErrorsNameTheLine) {
    struct Case {
        std::string text;
        int line;
        const char* fragment;
    } cases[] = {
        {"", 1, "first line"},
        {"REGEDIT4\r\n", 1, "first line"},
        {kHead + "[HKEY_CURRENT_USER\\Software\\Other]\r\n", 3, "not under"},
        {kHead + "\"a\"=dword:1\r\n", 3, "values belong"},
        {kHead + "[HKEY_CURRENT_USER\\Software\\Velmora Works\\Taskstore\\M]\r\n\"a\"=dword:1\r\n",
         4, "values belong"},
        {kHead + kJob + "\"a\"=dword:123456789\r\n", 4, "dword"},
        {kHead + kJob + "\"a\"=dword:xyz\r\n", 4, "dword"},
        {kHead + kJob + "\"a=\"x\"\r\n", 4, "="},
        {kHead + kJob + "\"a\"=\"x\r\n", 4, "quoted"},
        {kHead + kJob + "\"a\"=\"x\" junk\r\n", 4, "quoted"},
        {kHead + kJob + "\"a\"=\"bad \\q escape\"\r\n", 4, "quoted"},
        {kHead + kJob + "\"\"=dword:1\r\n", 4, "name"},
        {kHead + kJob + "\"a\"=hex:1,2,\\", 4, "end of the file"},
        {kHead + kJob + "\"a\"=hex:1,2,\\\r\n", 4, "hex bytes"},
        {kHead + kJob + "\"a\"=hex:1,,2\r\n", 4, "hex bytes"},
        {kHead + kJob + "\"a\"=hex:123\r\n", 4, "hex bytes"},
        {kHead + kJob + "\"a\"=hex(1):41\r\n", 4, "even"},
        {kHead + kJob + "\"a\"=hex(7):41,00\r\n", 4, "unsupported value type"},
        {kHead + kJob + "\"a\"=hex(80000002):01\r\n", 4, "wrong number of bytes"},
        {kHead + kJob + "\"a\"=hex(80000008):01\r\n", 4, "unsupported value type"},
        {kHead + kJob + "\"a\"=-\r\n", 4, "unsupported value form"},
        {kHead + kJob + "\"a\"=\"\xC0\xAF\"\r\n", 4, "UTF-8"},
        {kHead + kJob + "garbage\r\n", 4, "expected"},
        {kHead + "[-HKEY_CURRENT_USER\\Software\\Velmora Works\\Taskstore\\M]\r\n", 3, "deletion"},
        {kHead + "[HKEY_CURRENT_USER\\Software\\Velmora Works\\Taskstore\\M\\Jobs\\0]\r\n", 3,
         "out of range"},
        {kHead + "[HKEY_CURRENT_USER\\Software\\Velmora Works\\Taskstore\\M\\Jobs\\x1]\r\n", 3,
         "job number"},
        {kHead + "[HKEY_CURRENT_USER\\Software\\Velmora Works\\Taskstore\\M\\Other]\r\n", 3,
         "unknown key"},
        {kHead + "[HKEY_CURRENT_USER\\Software\\Velmora Works\\Taskstore\\M%zz]\r\n", 3, "model"},
        {kHead + "[HKEY_CURRENT_USER\\Software\\Velmora Works\\Taskstore\\M\r\n", 3, "]"},
    };
    for (const Case& c : cases) {
        CRegError err = ParseFailure(c.text);
        EXPECT_EQ(err.m_nLine, c.line) << c.text;
        EXPECT_NE(err.m_strText.find(c.fragment), std::string::npos) << err.m_strText;
    }
}

TEST(RegText, ParseFailureLeavesTheTargetAlone) {
    CStoreData d;
    d.Model("M").m_jobs[1]["a"] = CTaskValue::Integer(kVtI4, 1);
    CStoreData before = d;
    CRegError err;
    EXPECT_FALSE(ParseRegText(kHead + kJob + "\"a\"=dword:2\r\nbroken\r\n", d, err));
    EXPECT_TRUE(d == before);
}

TEST(RegText, SecretsAreSealedAndOpenedAgain) {
    CTestProtector prot;
    CStoreData d;
    d.Model("VX-410").m_common["password"] = CTaskValue::Text(u"smtp-secret");
    d.Model("VX-410").m_jobs[2]["Password"] = CTaskValue::Text(u"share-secret");
    d.Model("VX-410").m_jobs[2]["pdf_UserPassword"] = CTaskValue::Text(u"pdf-secret");
    d.Model("VX-410").m_jobs[2]["username"] = CTaskValue::Text(u"alice");
    std::string text = Format(d, &prot);
    EXPECT_EQ(text.find("secret"), std::string::npos);
    EXPECT_NE(text.find("\"username\"=\"alice\""), std::string::npos);
    EXPECT_NE(text.find("hex(40000008):53,45,41,4c"), std::string::npos);
    EXPECT_TRUE(Parse(text, &prot) == d);
}

TEST(RegText, SecretsOfAnotherUserAreKeptByteForByte) {
    CTestProtector prot;
    CStoreData d;
    d.Model("M").m_jobs[1]["password"] = CTaskValue::Text(u"pw");
    std::string text = Format(d, &prot);

    CTestProtector stranger;
    stranger.m_bRefuseUnseal = true;
    CStoreData seen = Parse(text, &stranger);
    const CTaskValue& v = seen.FindModel("M")->m_jobs.at(1).at("password");
    EXPECT_EQ(v.m_kind, ValueKind::Sealed);
    EXPECT_EQ(Format(seen, &stranger), text); // written back untouched
    EXPECT_TRUE(Parse(Format(seen, &stranger), &prot) == d);
}

TEST(RegText, ASecretThatCannotBeSealedIsNotWrittenInClear) {
    CTestProtector prot;
    prot.m_bRefuseSeal = true;
    CStoreData d;
    d.Model("M").m_common["password"] = CTaskValue::Text(u"pw");
    std::string text;
    CRegError err;
    EXPECT_FALSE(FormatRegText(d, text, err, &prot));
    EXPECT_NE(err.m_strText.find("password"), std::string::npos);
}
