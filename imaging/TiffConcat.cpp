// ConcatTiff: appending a page file's pages to a multi-page file, moving every
// offset of the appended pages by the target's old size.
#include "TiffIo.h"

#include <algorithm>
#include <map>
#include <set>
#include <vector>

namespace vlm {

using namespace tiffio;

namespace {

// Tags whose values are file offsets and move with the data they point to.
bool IsOffsetTag(uint16_t tag) {
    return tag == kTagStripOffsets || tag == kTagFreeOffsets || tag == kTagTileOffsets ||
           tag == kTagJpegIfOffset || tag == kTagJpegQTables || tag == kTagJpegDcTables ||
           tag == kTagJpegAcTables;
}
// Tags that point to further directories, which this routine does not walk.
bool IsSubDirectoryTag(uint16_t tag) {
    return tag == kTagSubIfds || tag == kTagExifIfd || tag == kTagGpsIfd || tag == kTagInteropIfd;
}

// Reads a little-endian TIFF's chain. Returns false for anything malformed.
struct CChain {
    std::vector<uint64_t> ifds;
    uint64_t lastLink = 4; // position of the last next-IFD field
};

bool WalkChain(std::FILE* f, uint64_t fileSize, CChain& chain) {
    uint8_t hdr[8];
    if (fileSize < 8 || !ReadAt(f, 0, hdr, 8))
        return false;
    if (hdr[0] != 'I' || hdr[1] != 'I' || hdr[2] != 42 || hdr[3] != 0)
        return false;
    uint64_t off = GetLE32(hdr + 4);
    chain.lastLink = 4;
    std::set<uint64_t> seen;
    while (off != 0) {
        uint8_t b[4];
        if (seen.count(off) || off < 8 || off + 2 > fileSize || seen.size() >= kMaxPages ||
            !ReadAt(f, off, b, 2))
            return false;
        seen.insert(off);
        uint64_t n = b[0] | b[1] << 8;
        if (n == 0 || off + 2 + 12 * n + 4 > fileSize || !ReadAt(f, off + 2 + 12 * n, b, 4))
            return false;
        chain.ifds.push_back(off);
        chain.lastLink = off + 2 + 12 * n;
        off = GetLE32(b);
    }
    return !chain.ifds.empty();
}

// Collects every 4-byte field of the page file that must move by `base`.
bool PlanRelocation(std::FILE* f, uint64_t size, const CChain& chain, uint64_t base,
                    std::map<uint64_t, uint32_t>& patches) {
    for (size_t k = 0; k < chain.ifds.size(); ++k) {
        const uint64_t off = chain.ifds[k];
        uint8_t b[2];
        if (!ReadAt(f, off, b, 2))
            return false;
        const uint32_t n = b[0] | b[1] << 8;
        std::vector<uint8_t> ifd(12 * n + 4);
        if (!ReadAt(f, off + 2, ifd.data(), ifd.size()))
            return false;
        if (k + 1 < chain.ifds.size())
            patches[off + 2 + 12 * n] = static_cast<uint32_t>(chain.ifds[k + 1] + base);
        bool hasWidth = false, hasStrips = false;
        std::vector<uint32_t> stripOffsets, stripCounts;
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* e = &ifd[12 * i];
            const uint16_t tag = static_cast<uint16_t>(e[0] | e[1] << 8);
            const uint16_t type = static_cast<uint16_t>(e[2] | e[3] << 8);
            const uint32_t count = GetLE32(e + 4);
            const uint64_t bytes = static_cast<uint64_t>(count) * TiffTypeSize(type);
            const uint64_t valuePos = off + 2 + 12 * i + 8;
            if (IsSubDirectoryTag(tag))
                return false;
            uint64_t dataPos = valuePos;
            if (bytes > 4) {
                dataPos = GetLE32(e + 8);
                if (dataPos + bytes > size)
                    return false;
                patches[valuePos] = static_cast<uint32_t>(dataPos + base);
            }
            if (tag == kTagImageWidth)
                hasWidth = true;
            if (!IsOffsetTag(tag) && tag != kTagStripByteCounts)
                continue;
            if (type != kTypeLong && !(type == kTypeShort && tag == kTagStripByteCounts))
                return false; // a SHORT offset could not hold the moved value
            std::vector<uint8_t> vals(static_cast<size_t>(bytes));
            if (bytes > 4) {
                if (!ReadAt(f, dataPos, vals.data(), vals.size()))
                    return false;
            } else {
                std::copy(e + 8, e + 8 + vals.size(), vals.begin()); // count 0: no values
            }
            std::vector<uint32_t>* keep = tag == kTagStripOffsets      ? &stripOffsets
                                          : tag == kTagStripByteCounts ? &stripCounts
                                                                       : nullptr;
            for (uint32_t c = 0; c < count; ++c) {
                uint32_t v =
                    type == kTypeShort ? vals[2 * c] | vals[2 * c + 1] << 8 : GetLE32(&vals[4 * c]);
                if (keep)
                    keep->push_back(v);
                if (tag == kTagStripByteCounts)
                    continue;
                if (v > size)
                    return false;
                patches[dataPos + 4ull * c] = static_cast<uint32_t>(v + base);
            }
            if (tag == kTagStripOffsets)
                hasStrips = true;
        }
        if (!hasWidth || !hasStrips || stripOffsets.size() != stripCounts.size())
            return false;
        for (size_t s = 0; s < stripOffsets.size(); ++s)
            if (static_cast<uint64_t>(stripOffsets[s]) + stripCounts[s] > size)
                return false;
    }
    return true;
}

} // namespace

int ConcatTiff(const char* targetPath, const char* pagePath) {
    RunLog("ConcatTiff 001");
    if (!targetPath || !pagePath)
        return 1;
    CFilePtr target(std::fopen(targetPath, "r+b"));
    CFilePtr page(std::fopen(pagePath, "rb"));
    if (!target || !page)
        return 1;
    uint64_t size1 = 0, size2 = 0;
    if (!FileSize(target.get(), size1) || !FileSize(page.get(), size2))
        return -1;
    const uint64_t total = size1 + size2 + 100;
    RunLog("File Sise Total = %d, file1size = %d, file2size = %d, file1sizeH = %d, "
           "file2sizeH = %d",
           static_cast<int>(static_cast<uint32_t>(total)),
           static_cast<int>(static_cast<uint32_t>(size1)),
           static_cast<int>(static_cast<uint32_t>(size2)), static_cast<int>(size1 >> 32),
           static_cast<int>(size2 >> 32));
    if (total >= (1ull << 31)) {
        RunLog("Tiff File Sise Over");
        return 2;
    }
    CChain targetChain, pageChain;
    if (!WalkChain(target.get(), size1, targetChain) || !WalkChain(page.get(), size2, pageChain))
        return 1;
    std::map<uint64_t, uint32_t> patches;
    if (!PlanRelocation(page.get(), size2, pageChain, size1, patches))
        return 1;

    // Append the page file with its fields already moved; the target's chain
    // is linked to it only when everything else is on disk.
    bool ok = Seek(target.get(), size1) && Seek(page.get(), 0);
    auto it = patches.begin();
    uint8_t piece[1024];
    for (uint64_t pos = 0; ok && pos < size2;) {
        size_t k = static_cast<size_t>(std::min<uint64_t>(sizeof(piece), size2 - pos));
        if (std::fread(piece, 1, k, page.get()) != k) {
            ok = false;
            break;
        }
        // A field may straddle two pieces: patch byte by byte.
        while (it != patches.end() && it->first + 4 <= pos)
            ++it;
        for (auto p = it; p != patches.end() && p->first < pos + k; ++p)
            for (int b = 0; b < 4; ++b) {
                uint64_t at = p->first + b;
                if (at >= pos && at < pos + k)
                    piece[at - pos] = static_cast<uint8_t>(p->second >> (8 * b));
            }
        if (std::fwrite(piece, 1, k, target.get()) != k)
            ok = false;
        pos += k;
    }
    uint8_t link[4];
    PutLE32(link, static_cast<uint32_t>(pageChain.ifds[0] + size1));
    ok = ok && std::fflush(target.get()) == 0 && Seek(target.get(), targetChain.lastLink) &&
         std::fwrite(link, 1, 4, target.get()) == 4 && std::fflush(target.get()) == 0;
    if (!ok) {
        Truncate(target.get(), size1); // best effort: drop the unlinked tail
        return -1;
    }
    if (std::fclose(target.release()) != 0)
        return -1;
    return 0;
}

} // namespace vlm
