// The VX-410 data source's settings: the capability model that TWAIN
// negotiation reads and writes, and the "[CustomDsData]" profile text.
// Portable (no Windows API), so that negotiation rules are tested natively.
#pragma once

#include "contracts/vlmtwain.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vx410ds {

// A page size the feeder takes, in millimetres.
struct PageSizeInfo {
    TW_UINT16 m_nCode; // TWSS_
    const char* m_pszProfileName;
    double m_dWidthMm;
    double m_dLengthMm;
};
const std::vector<PageSizeInfo>& PageSizes();
const PageSizeInfo* FindPageSize(int twss);

constexpr int kFeederMaxWidthMm = 216;  // legal width
constexpr int kFeederMaxLengthMm = 356; // legal length
constexpr int kMinResolution = 50;
constexpr int kMaxResolution = 600;

const std::vector<int>& Resolutions();
const std::vector<std::string>& HalftoneNames();

struct CDsSettings {
    int m_nPixelType = TWPT_BW;
    int m_nXRes = 200;
    int m_nYRes = 200;
    int m_nPageSize = TWSS_A4LETTER;
    bool m_bDuplex = false;
    int m_nXferCount = -1;
    bool m_bAutoScan = true;
    bool m_bIndicators = true;
    int m_nJobControl = TWJC_NONE;
    int m_nCompression = TWCP_NONE;
    int m_nJpegQuality = 75;
    int m_nHalftone = 0; // index into HalftoneNames(); 0 = plain black and white
    int m_nUnits = TWUN_INCHES;
    bool m_bExtImageInfo = false;
    int m_nXferMech = TWSX_NATIVE;
    // vendor capabilities
    int m_nDetectPageSize = 0;
    int m_nBlankSkip = 0;
    int m_nManualFeed = 0;
    int m_nMargin = 0;
    int m_nDropOut = 0;
    int m_nJobSepType = 0;
    int m_nAutoJobSep = 0;
    int m_nTextEnhance = 0;
    int m_nColorEnhance = 0;
    int m_nWindow = 0;
    int m_nWindowCountFront = 1;
    int m_nWindowCountBack = 1;
    int m_nTextEnhanceMode = 0;
    int m_nFeederAuto = 0;
    int m_nDocumentPlace = 2;
    int m_nDisableItem = 0;
    bool m_bVendorFlag = false;
    // Profile keys this source does not interpret (gamma tables, image
    // processing switches) travel through load and save unchanged.
    std::map<std::string, std::string> m_extra;

    int BitDepth() const {
        return m_nPixelType == TWPT_RGB ? 24 : m_nPixelType == TWPT_GRAY ? 8 : 1;
    }
    bool operator==(const CDsSettings&) const = default;
};

// One value of a capability: numbers (FIX32 values are real numbers here)
// or, for string item types, text.
struct CapValue {
    double m_dValue = 0;
    std::string m_strText;
};

// What a MSG_GET / GETCURRENT / GETDEFAULT / RESET answers, before it is
// packed into a TWAIN container.
struct CapAnswer {
    TW_UINT16 m_nConType = TWON_ONEVALUE;
    TW_UINT16 m_nItemType = TWTY_INT32;
    std::vector<CapValue> m_items; // one-value: 1; enumeration / array: all
    TW_UINT32 m_nCurrentIndex = 0;
    TW_UINT32 m_nDefaultIndex = 0;
    double m_dMin = 0, m_dMax = 0, m_dStep = 0, m_dDefault = 0, m_dCurrent = 0; // range
};

// Outcome of a negotiation call: a TWRC_ code and the TWCC_ code for failures.
struct CapResult {
    TW_UINT16 m_nRc = TWRC_SUCCESS;
    TW_UINT16 m_nCc = TWCC_SUCCESS;
};

// The capability table of the VX-410 source.
class CCapModel {
public:
    explicit CCapModel(CDsSettings& settings) : m_settings(settings) {}

    bool IsSupported(TW_UINT16 cap) const;
    std::vector<TW_UINT16> SupportedCaps() const;
    // TWQC_ flags for MSG_QUERYSUPPORT.
    TW_INT32 QuerySupport(TW_UINT16 cap) const;

    CapResult Get(TW_UINT16 cap, TW_UINT16 msg, CapAnswer& out) const;
    // MSG_SET with one value; values outside the allowed set are refused
    // (TWCC_BADVALUE), except resolutions, which snap to the nearest offered
    // one and answer TWRC_CHECKSTATUS as TWAIN allows.
    CapResult Set(TW_UINT16 cap, TW_UINT16 itemType, const CapValue& value);
    CapResult Reset(TW_UINT16 cap, CapAnswer& out);

private:
    CDsSettings& m_settings;
};

// Physical size of the selected page in inches (TWSS_NONE: the largest sheet).
void PageInches(const CDsSettings& s, double& widthIn, double& lengthIn);

// "[CustomDsData]" profile text. SaveProfileText gives the section with
// CR LF line ends; MergeProfileSection replaces (or appends) that section
// in an existing file's text and keeps the other sections.
std::string SaveProfileText(const CDsSettings& s, const std::string& section);
std::string MergeProfileSection(const std::string& fileText, const std::string& sectionText,
                                const std::string& section);
// Loads the section from a whole file's text. A missing section or a bad
// value fails with a text and leaves the settings unchanged.
bool LoadProfileText(const std::string& fileText, const std::string& section, CDsSettings& s,
                     std::string* pError);

} // namespace vx410ds
