// PDF/A-2b parts of the writer: the document information strings and dates
// that the XMP metadata repeats, the metadata packet, the sRGB profile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace vlm::pdf {

constexpr char kProducer[] = "Velmora Works PDF maker";
constexpr char kCreator[] = "VX-410 Task Deck";

// One moment in local time with its offset, in the document information's
// form (D:20261208194500+01'00') and in the XMP form (2026-12-08T19:45:00+01:00).
struct DocumentDate {
    std::string pdf, xmp;
};
DocumentDate DateOf(time_t when);

// The XMP packet identifying PDF/A-2b, with the same producer, creator tool
// and dates as the document information.
std::string ArchiveMetadata(const DocumentDate& date);

// The sRGB ICC profile of the output intent, built into the program.
extern const uint8_t g_srgbProfile[];
extern const size_t g_srgbProfileSize;
constexpr char kSrgbCondition[] = "sRGB IEC61966-2.1";

} // namespace vlm::pdf
