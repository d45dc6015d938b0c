// The parts of the TWAIN session and driver adapter that need no Windows API:
// the state table, name tables for the logs, FIX32 conversion, resolution
// lists, and the code mappings of the driver's settings.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "contracts/vlmtwain.h"

namespace vlmscan {

// "4(SOURCE_OPEN)" etc.; null for a state outside 1..7.
const char* StateName(int nState);
// "TWRC_SUCCESS" ... or "<bad rc:%d>".
std::string ReturnCodeName(unsigned rc);
// "TWCC_SUCCESS" ... "<bad cc:7>".
std::string ConditionCodeName(unsigned cc);
std::string DatName(unsigned dat); // "DAT_CAPABILITY" or the number
std::string MsgName(unsigned msg); // "MSG_GET" or the number
std::string CapName(unsigned cap); // "ICAP_COMPRESSION", "CCAP_VLM_WINDOW" or the number

// One finished triplet, as the state table sees it.
struct STriplet {
    uint32_t DG = 0;
    uint16_t DAT = 0;
    uint16_t MSG = 0;
    uint16_t RC = 0;
    uint16_t CC = 0;              // condition code read after a failure
    uint16_t EventMessage = 0;    // TW_EVENT.TWMessage of MSG_PROCESSEVENT
    uint16_t PendingCount = 0;    // TW_PENDINGXFERS.Count after MSG_ENDXFER
    bool bCloseRequested = false; // the source asked to be closed
};
struct SStateStep {
    int nState;    // the new state (unchanged when no row applies)
    bool bSuccess; // the triplet counts as a success
    bool bClearCloseRequested;
    bool bError;              // a row of the table failed: log "*** Error ***"
    bool bFetchExtendedError; // an image transfer was cancelled by the source
};
// Data-source triplets (sent with the source's identity as destination) and
// source-manager triplets (DAT_PARENT, DAT_IDENTITY) share this table.
SStateStep NextState(int nState, const STriplet& t);

// Capability containers as the source hands them back. Every reader checks
// the container's real size (cb, from the block itself) against what the
// container claims, and never reads past it.

// One item as a number: FIX32 as whole + fraction / 65536; 0 for strings,
// frames and unknown types.
double ItemAsReal(unsigned itemType, const uint8_t* p);

// The current value of a MSG_GETCURRENT answer (one-value, enumeration or
// range), copied to pOut as an item of itemType (TwainItemSize bytes at
// most). False for an unknown item or container type or a short container.
bool ReadCurrentItem(const uint8_t* p, size_t cb, unsigned conType, unsigned itemType, void* pOut);

// A capability's values as the source answered MSG_GET.
struct SCapValues {
    int nConType = 0; // TWON_ENUMERATION, TWON_RANGE, TWON_ONEVALUE or 0
    int nItemType = 0;
    std::vector<double> Items;        // numeric items (FIX32 as real)
    std::vector<std::string> Strings; // string items
    int nCurrentIndex = 0;
    int nDefaultIndex = 0;
    double dMin = 0, dMax = 0, dStep = 0, dCurrent = 0;
};
// Fills *pOut from a MSG_GET answer. Returns TWON_ENUMERATION or TWON_RANGE
// for a list; a one-value fills only nConType, nItemType and dCurrent and
// returns 0 (it is no list), as does anything unreadable.
int ReadCapValues(const uint8_t* p, size_t cb, unsigned conType, SCapValues* pOut);

// TW_FIX32 <-> real. Rounds half away from zero at 1/65536.
struct SFix32 {
    int16_t Whole;
    uint16_t Frac;
};
SFix32 ToFix32(double v);
double FromFix32(SFix32 f);
inline uint32_t PackFix32(SFix32 f) {
    return uint32_t(uint16_t(f.Whole)) | (uint32_t(f.Frac) << 16);
}
inline SFix32 UnpackFix32(uint32_t v) {
    return SFix32{static_cast<int16_t>(v & 0xFFFF), static_cast<uint16_t>(v >> 16)};
}

// Resolution list of a range: the minimum, every step of 50 below the
// maximum, then the first step at or above it.
std::vector<uint16_t> ResolutionsFromRange(int nMin, int nMax);
// Index of nValue in the list, 0 when absent.
int IndexOf(const std::vector<uint16_t>& list, int nValue);

// Drop-out codes 0..6 <-> (CCAP_VLM_DROPOUT, 0x8032). FALSE (and 0,0) for
// any other code.
bool DropOutToPair(int nCode, int* pDropOut, int* pEnhance);
// A nonzero drop-out wins; else enhancement 1..3 gives 4..6. *pValid is
// false for values outside the table (returned unchanged).
int DropOutFromPair(int nDropOut, int nEnhance, bool* pValid);

// Image type codes.
enum : int { kImageBW = 1100, kImageGray = 1800, kImageColor = 3800 };
enum : int { kPixelBW = 0, kPixelGray = 1, kPixelRGB = 2 };
struct SImageTypeSetting {
    int nPixelType;
    int nBitDepth;      // 0: leave as it is
    int nTextEnhance;   // written to CCAP_VLM_TEXTENHANCE when >= 0
    int nHalftoneIndex; // 0: no halftone name
};
SImageTypeSetting ImageTypeSetting(int nCode);
// From what the source reports back.
int ImageTypeCode(int nPixelType, bool bTextEnhance, int nTextEnhanceMode, int nHalftoneIndex);

// Feeder codes 0, 1, 2, 4, 8.
struct SFeederState {
    bool bDocPlaceReadable = false;
    int nDocPlace = 0;
    bool bDuplexOn = false;
    bool bFeederEnabledCurrent = true;
    bool bFeederAutoReadable = false;
    bool bBlankSkipReadable = false;
    int nBlankSkip = 0;
};
int FeederCode(const SFeederState& s);
struct SFeederOffer {
    std::vector<bool> FeederEnabledItems; // empty: the source has no CAP_FEEDERENABLED
    bool bDuplex = false;
    bool bFeederAutoReadable = false;
    bool bBlankSkipReadable = false;
};
std::vector<uint16_t> FeederList(const SFeederOffer& o);

// The side counter: types 1, 4 and 8 alternate front and back.
class CSide {
public:
    void Reset(int nType) {
        m_nType = nType;
        m_nCount = 0;
        m_nSide = 0;
    }
    int Advance() {
        ++m_nCount;
        m_nSide = (m_nType == 1 || m_nType == 4 || m_nType == 8) ? ((m_nCount % 2) ? 0 : 1) : 0;
        return m_nSide;
    }
    int Type() const { return m_nType; }
    int Count() const { return m_nCount; }
    int Side() const { return m_nSide; }

private:
    int m_nType = 0;
    int m_nCount = 0;
    int m_nSide = 0;
};

// The extended error text: "0x%08X", blanks, the source's text from byte 12.
// Prepares the 1024-byte buffer the source writes into.
void PrepareExtendedErrorBuffer(char (&buf)[1024], uint32_t code);
// The source's product name without the maker and "TWAIN", for the box.
std::string DriverDisplayName(const std::string& strProduct);
// Case-insensitive comparison of product names (ASCII letters).
bool ProductNameEquals(const char* a, const char* b);

} // namespace vlmscan
