// The VX-410's initial driver settings as VX410.dll carries them: two
// "[CustomDsData]" sections of the same keys in the driver settings form
// (key=value lines ended by CR LF, a gamma table's ".Length" line right
// before the table), black and white first, then colour.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

struct CSection {
    std::string m_strName;
    std::vector<std::pair<std::string, std::string>> m_lines;
    std::map<std::string, std::string> m_values;
};

std::string ReadSettings() {
    std::ifstream in(VX410_SETTINGS_FILE, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Splits at CR LF; a bare LF or CR, a line without '=' outside a header,
// or a key given twice in one section is reported as a failure.
std::vector<CSection> ParseSections(const std::string& text) {
    std::vector<CSection> sections;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "text after the last line break: " << text.substr(at, 40);
            break;
        }
        const std::string line = text.substr(at, end - at);
        at = end + 2;
        if (line.find_first_of("\r\n") != std::string::npos) {
            ADD_FAILURE() << "a line broken without CR LF: " << line.substr(0, 40);
            continue;
        }
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
            sections.push_back(CSection{line.substr(1, line.size() - 2), {}, {}});
            continue;
        }
        const size_t eq = line.find('=');
        if (sections.empty() || eq == std::string::npos || eq == 0) {
            ADD_FAILURE() << "not a key=value line of a section: " << line.substr(0, 40);
            continue;
        }
        CSection& s = sections.back();
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        EXPECT_TRUE(s.m_values.emplace(key, value).second) << "twice: " << key;
        s.m_lines.emplace_back(key, value);
    }
    return sections;
}

const char* const kTables[] = {"GammaGray", "GammaGrayBack", "GammaRed",       "GammaGreen",
                               "GammaBlue", "GammaRedBack",  "GammaGreenBack", "GammaBlueBack"};

// Every key the model's settings name, without the side and window indexes.
const char* const kKeys[] = {"ScanType",
                             "TwainScanMode",
                             "ManualTimeout",
                             "NopageTimeout",
                             "ScanAhead",
                             "SubWindowCount",
                             "WindowCountFront",
                             "WindowCountBack",
                             "PageSize",
                             "XResolution",
                             "YResolution",
                             "ScanOrientation",
                             "DataOrientation",
                             "SnapCoords",
                             "XPositionInch",
                             "YPositionInch",
                             "ImageWidthInch",
                             "ImageLengthInch",
                             "SamplesPerPixel",
                             "BitsPerSample",
                             "PhotoMetric",
                             "ScanBitsPerPixel",
                             "Dither",
                             "ColorReductMethod",
                             "ColorMap",
                             "BrightnessAuto",
                             "BrightnessManual",
                             "ContrastAuto",
                             "ContrastManual",
                             "PreviewMode",
                             "PreviewSpeed",
                             "DetectJobSep",
                             "ManualFeedEx",
                             "TransparencyType",
                             "Units",
                             "GammaGrayLength",
                             "GammaRedLength",
                             "GammaGreenLength",
                             "GammaBlueLength",
                             "Gamma",
                             "TagBlankSkip",
                             "BlankSkipSlice",
                             "TagAutoSize",
                             "TagGomiErase",
                             "TagNotchErase",
                             "MedianFilter",
                             "ReverseScanType",
                             "TagScanWait",
                             "TagBatchPartition",
                             "Deskew",
                             "CropDetect",
                             "CropMethod",
                             "Margin",
                             "Marginmm",
                             "UserPreference",
                             "EdgeEmphasis",
                             "EdgeEmphasisIntensity",
                             "ColorEmphasis",
                             "DropOut",
                             "AEAdjustment",
                             "FilterEnhancedColor",
                             "PanelType",
                             "PanelMode",
                             "PrescanMode",
                             "TagPreScan",
                             "BorderModeMethod",
                             "BorderMarginMM",
                             "TagSpreadSize",
                             "TagRotationPage"};

std::string BaseKey(const std::string& key) {
    return key.substr(0, key.find('('));
}

bool HasKey(const CSection& s, const std::string& base) {
    for (const auto& kv : s.m_lines)
        if (BaseKey(kv.first) == base)
            return true;
    return false;
}

// "1050/127" inches in millimetres.
double FractionMm(const std::string& text) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos)
        return -1;
    return std::atof(text.substr(0, slash).c_str()) / std::atof(text.substr(slash + 1).c_str()) *
           25.4;
}

class InitialSettings : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string text = ReadSettings();
        ASSERT_FALSE(text.empty()) << VX410_SETTINGS_FILE;
        for (unsigned char c : text)
            ASSERT_TRUE(c == '\r' || c == '\n' || (c >= 0x20 && c < 0x7F)) << int(c);
        m_sections = ParseSections(text);
        ASSERT_EQ(m_sections.size(), 2u);
    }
    const CSection& Bw() const { return m_sections[0]; }
    const CSection& Colour() const { return m_sections[1]; }

    std::vector<CSection> m_sections;
};

TEST_F(InitialSettings, TwoSectionsOfTheSameKeys) {
    for (const CSection& s : m_sections) {
        EXPECT_EQ(s.m_strName, "CustomDsData");
        for (const char* key : kKeys)
            EXPECT_TRUE(HasKey(s, key)) << key;
        for (const char* table : kTables) {
            const std::string kind = std::string(table).substr(5); // "Gray", "RedBack", ...
            EXPECT_TRUE(s.m_values.count("GammaMode" + kind)) << kind;
            EXPECT_TRUE(s.m_values.count("GammaFactor" + kind)) << kind;
        }
    }
    ASSERT_EQ(Bw().m_lines.size(), Colour().m_lines.size());
    for (size_t i = 0; i < Bw().m_lines.size(); ++i)
        EXPECT_EQ(Bw().m_lines[i].first, Colour().m_lines[i].first) << "line " << i;
}

TEST_F(InitialSettings, BlackAndWhiteThenColour) {
    const std::map<std::string, std::pair<std::string, std::string>> differ = {
        {"SamplesPerPixel", {"1", "3"}}, {"BitsPerSample", {"1", "8"}},
        {"XResolution", {"300", "200"}}, {"YResolution", {"300", "200"}},
        {"ScanAhead", {"1", "0"}},
    };
    for (const auto& [key, values] : differ) {
        EXPECT_EQ(Bw().m_values.at(key), values.first) << key;
        EXPECT_EQ(Colour().m_values.at(key), values.second) << key;
    }
    for (const CSection& s : m_sections) {
        EXPECT_EQ(s.m_values.at("PageSize"), "A4 - 210 x 297 mm");
        EXPECT_EQ(s.m_values.at("ScanType"), "3");
        EXPECT_EQ(s.m_values.at("NopageTimeout"), "250");
        // The window is the whole A4 page.
        EXPECT_NEAR(FractionMm(s.m_values.at("ImageWidthInch(0)(0)")), 210.0, 1e-9);
        EXPECT_NEAR(FractionMm(s.m_values.at("ImageLengthInch(0)(0)")), 297.0, 1e-9);
        // Bits per pixel agree with the samples.
        EXPECT_EQ(std::atoi(s.m_values.at("ScanBitsPerPixel").c_str()),
                  std::atoi(s.m_values.at("SamplesPerPixel").c_str()) *
                      std::atoi(s.m_values.at("BitsPerSample").c_str()));
    }
}

TEST_F(InitialSettings, GammaTablesAreIdentityTablesOf256Values) {
    for (const CSection& s : m_sections) {
        for (const char* table : kTables) {
            size_t i = 0;
            while (i < s.m_lines.size() && s.m_lines[i].first != table)
                ++i;
            ASSERT_LT(i, s.m_lines.size()) << table;
            ASSERT_GT(i, 0u);
            EXPECT_EQ(s.m_lines[i - 1].first, std::string(table) + ".Length");
            EXPECT_EQ(s.m_lines[i - 1].second, "256");
            std::string expected;
            for (int v = 0; v < 256; ++v)
                expected += (v ? " " : "") + std::to_string(v);
            EXPECT_EQ(s.m_lines[i].second, expected) << table;
        }
        for (const char* length :
             {"GammaGrayLength", "GammaRedLength", "GammaGreenLength", "GammaBlueLength"})
            EXPECT_EQ(s.m_values.at(length), "256") << length;
    }
}

} // namespace
