// CCITT bilevel coding: the Group 4 (ITU-T T.6) encoder used for TIFF and
// PDF pages, and decoders for modified Huffman, T.4 (1-D and 2-D) and T.6.
// Bits are most significant first on both sides; a 1 bit is black unless the
// caller says otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/PageView.h"

namespace vlm {

// The byte with its bits in the opposite order (TIFF FillOrder 2 data).
uint8_t ReverseByte(uint8_t b);

// T.6 data of a whole page, MSB first, ending with EOFB. Rows are 1-bit, MSB
// first, `stride` bytes apart. Empty on invalid arguments.
std::vector<uint8_t> EncodeG4(const uint8_t* bits, int width, int height, size_t stride,
                              bool blackIsOne);
// The same for a bilevel page view, coded row by row where its rows lie.
std::vector<uint8_t> EncodeG4(const CPageView& page);

// Row-by-row Group 4 encoder: memory depends on the width only.
class CG4Encoder {
public:
    static constexpr int kTooManyChanges = -4500;

    // maxChanges limits the changing elements of one row (0: no limit).
    bool Begin(int width, int maxChanges = 0);
    // 0, or kTooManyChanges when the row has more changing elements than allowed
    // (nothing of that row is emitted then).
    int EncodeRow(const uint8_t* row, bool blackIsOne);
    // Appends EOFB and pads the last byte with zero bits.
    void Finish();

    // Completed bytes so far; the caller may write them out and clear the vector.
    std::vector<uint8_t>& Output() { return m_vecOut; }

private:
    void PutBits(uint32_t code, int len);
    void PutRun(int run, bool black);

    int m_nWidth = 0;
    int m_nMaxChanges = 0;
    std::vector<int> m_vecRef; // changing elements of the reference line + sentinels
    std::vector<int> m_vecCur;
    std::vector<uint8_t> m_vecOut;
    uint64_t m_nAcc = 0; // pending bits, MSB aligned
    int m_nAccBits = 0;
};

// Fills `out` with the changing elements of a row (positions where the colour
// differs from the pixel before; the pixel before the row is white) and
// returns their count. `out` needs room for width + 1 entries.
int FindChangingElements(const uint8_t* row, int width, bool blackIsOne, int* out);

// Where coded data comes from; the decoder pulls it through a bounded window.
class IByteSource {
public:
    virtual ~IByteSource() = default;
    // Up to n bytes; 0 at the end or on a read failure.
    virtual size_t Read(uint8_t* dst, size_t n) = 0;
};

class CMemorySource : public IByteSource {
public:
    CMemorySource(const uint8_t* data, size_t size) : m_pData(data), m_nSize(size) {}
    size_t Read(uint8_t* dst, size_t n) override;

private:
    const uint8_t* m_pData;
    size_t m_nSize;
    size_t m_nPos = 0;
};

enum class FaxCoding {
    ModifiedHuffman, // TIFF compression 2: 1-D rows, each starting on a byte
    T4,              // TIFF compression 3: EOL before each row, 1-D or 2-D
    T6               // TIFF compression 4
};

struct FaxParams {
    FaxCoding coding = FaxCoding::T6;
    int width = 0;
    bool t4TwoD = false;   // T4Options bit 0
    bool lsbFirst = false; // FillOrder 2
};

// Decodes `rows` rows into `out` (1 = black run, rows `stride` bytes apart,
// bits beyond the width cleared). Returns false on any code error; the row
// that failed is in ErrorRow().
class CFaxDecoder {
public:
    static constexpr size_t kWindow = 120000;
    static constexpr size_t kWindowStep = 60000;

    bool Decode(IByteSource& src, const FaxParams& params, int rows, uint8_t* out, size_t stride);
    int ErrorRow() const { return m_nErrorRow; }
    // The last run lengths decoded before an error (oldest first), at most ten.
    std::vector<int> LastRuns() const;

private:
    struct CBitReader;
    bool DecodeRun1D(CBitReader& br, int* changes, int& nChanges);
    bool Decode2D(CBitReader& br, const int* ref, int* changes, int& nChanges);
    int ReadRun(CBitReader& br, bool black);

    int m_nWidth = 0;
    const void* m_pTables = nullptr; // the decoding tables, fetched once per page
    int m_nErrorRow = -1;
    int m_arrRuns[16] = {}; // ring of the last run lengths
    int m_nRunCount = 0;
};

} // namespace vlm
