// CBunkatsu: splits one page into horizontal x vertical pieces, each its own
// page buffer, delivered as separate pages.
#pragma once
#include <cstdint>
#include <vector>

#include "PageBuffer.h"
#include "PageInfo.h"

class CBunkatsu {
public:
    CBunkatsu(int nHorizontal, int nVertical, int nSwapMode, int nSide);

    // Each count is 1..4: 0 (or less) becomes 1, anything above 3 becomes 4.
    static int ClampCount(int n);

    // Splits the source page; 0 on success, -1 on failure (no image, bad
    // geometry, or a piece buffer that could not be allocated).
    int Split(const VlmImageInfo& source);

    int Count() const { return m_nCount; }
    int Horizontal() const { return m_nHorizontal; }
    int Vertical() const { return m_nVertical; }
    // Piece descriptors in delivery order, valid after a successful Split.
    const std::vector<VlmImageInfo>& Pieces() const { return m_Pieces; }

    // Reverses the piece order when the swap mode asks for it for this side:
    // 3 always, 2 on a back side (1), 1 on a front side (0).
    static bool ShouldSwap(int nSwapMode, int nSide);

private:
    int m_nHorizontal;
    int m_nVertical;
    int m_nCount;
    int m_nSwapMode;
    int m_nSide;
    std::vector<VlmImageInfo> m_Pieces;
    std::vector<CPageBuffer> m_Buffers;
};
