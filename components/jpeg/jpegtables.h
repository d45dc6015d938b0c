// Tables of the JPEG standard (ITU-T T.81 Annex K) used by encoder and decoder.
#pragma once

#include <cstdint>

namespace vlm::jpeg::detail {

// Natural (row-major) index of each zigzag position.
extern const uint8_t kZigzagToNatural[64 + 16];

extern const uint8_t kStdLumaQuant[64];
extern const uint8_t kStdChromaQuant[64];

extern const uint8_t kDcLumaBits[16];
extern const uint8_t kDcLumaValues[12];
extern const uint8_t kDcChromaBits[16];
extern const uint8_t kDcChromaValues[12];
extern const uint8_t kAcLumaBits[16];
extern const uint8_t kAcLumaValues[162];
extern const uint8_t kAcChromaBits[16];
extern const uint8_t kAcChromaValues[162];

// Scale factors of the AAN fast DCT: 1 for k = 0, sqrt(2) cos(k pi / 16) otherwise.
extern const double kAanScale[8];

} // namespace vlm::jpeg::detail
