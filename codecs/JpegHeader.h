// Reading a JPEG stream's markers: the walk from segment to segment, the frame
// header, and the whole header up to the first scan with where its tables
// lie. Shared by the JPEG decoder and the TIFF writer, which points a JPEG
// page's directory into the stream's own tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vlm {

// One marker and the segment that follows it.
struct CJpegSegment {
    uint8_t m_nMarker = 0;
    const uint8_t* m_pData = nullptr; // behind the length field; null for markers without one
    int m_nLength = 0;                // bytes at m_pData
    size_t m_nEnd = 0;                // stream position just past the segment
};

// Walks the markers of a stream from the start-of-image marker on. Fill bytes
// and stray data between segments are skipped. Scan data is not parsed: the
// caller that decodes it moves the position past it (SetPosition).
class CJpegSegments {
public:
    CJpegSegments(const uint8_t* data, size_t size) : m_pData(data), m_nSize(size) {}
    // Checks the start-of-image marker; false (with Error) when it is missing.
    bool Begin();
    // The next marker; false at the end of the data or on a segment that runs
    // past it (Error says which, AtEnd tells the first from the second).
    bool Next(CJpegSegment& segment);
    bool AtEnd() const { return m_bAtEnd; }
    size_t Position() const { return m_nPos; }
    void SetPosition(size_t pos) { m_nPos = pos < m_nSize ? pos : m_nSize; }
    const std::string& Error() const { return m_strError; }

private:
    const uint8_t* m_pData;
    size_t m_nSize;
    size_t m_nPos = 0;
    bool m_bAtEnd = false;
    std::string m_strError;
};

// A frame header (SOF0, SOF1 or SOF2).
struct CJpegFrame {
    struct Component {
        int m_nId = 0, m_nH = 1, m_nV = 1, m_nQuant = 0;
    };
    uint8_t m_nMarker = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nComponents = 0;
    Component m_arrComp[4];
    int m_nHMax = 1;
    int m_nVMax = 1;
};
// 8-bit samples, one or three components, sampling factors 1..4, tables 0..3.
bool ReadJpegFrame(const CJpegSegment& segment, CJpegFrame& frame, std::string* error);

struct CJpegHeader {
    CJpegFrame m_frame;
    bool m_bProgressive = false; // seen, not decodable here
    int m_nDensityUnit = 0;      // JFIF units: 0 aspect only, 1 per inch, 2 per cm
    int m_nXDensity = 0;
    int m_nYDensity = 0;
    int m_nRestartInterval = 0;
    size_t m_nHeaderLength = 0; // bytes up to the end of the first start-of-scan segment
    // Stream positions of the table data (0: not defined): quantisation values
    // behind their precision/number byte, Huffman counts behind their class/number byte.
    uint32_t m_arrQuantAt[4] = {};
    uint32_t m_arrDcAt[4] = {};
    uint32_t m_arrAcAt[4] = {};
    // Per component of the first scan (frame order): its DC and AC table numbers.
    int m_arrScanDc[4] = {};
    int m_arrScanAc[4] = {};
    int m_nScanComponents = 0;

    // Horizontal density in dots per inch (per centimetre converted); 0 unknown.
    int DotsPerInch() const;
};

// Reads the markers up to the first start of scan. Quantisation and Huffman
// tables are checked for size and a valid code set.
bool ReadJpegHeader(const uint8_t* data, size_t size, CJpegHeader& header,
                    std::string* error = nullptr);

} // namespace vlm
