// Command lines and shared blocks from arbitrary bytes: parsing never reads
// out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "contracts/ServiceChannel.h"
#include "runner/core/StiArguments.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n') {
            args.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    kestrel::StiArguments a = kestrel::ParseStiArguments(args);
    if (a.m_strEvent.size() > size || a.m_strDevice.size() > size)
        __builtin_trap();
    (void)kestrel::IsScannerEvent(a.m_strEvent);

    kestrel::ServiceShmBlock block{};
    std::memcpy(&block, data, size < sizeof block ? size : sizeof block);
    uint8_t out[300];
    if (kestrel::shm::HasRequest(block) || kestrel::shm::HasReply(block)) {
        if (kestrel::shm::Take(block, out, sizeof out) != kestrel::kShmBufferSize)
            __builtin_trap();
        if (kestrel::shm::IsFull(block))
            __builtin_trap();
    }
    kestrel::shm::Post(block, kestrel::kDirectionToClient, data, size);
    if (!kestrel::shm::HasReply(block))
        __builtin_trap();
    if (size >= 4 &&
        kestrel::DecodeServiceMessage(
            kestrel::EncodeServiceMessage(kestrel::DecodeServiceMessage(data)).data()) !=
            kestrel::DecodeServiceMessage(data))
        __builtin_trap();
    return 0;
}
