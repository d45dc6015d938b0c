#include "ServiceChannel.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace kestrel {

const char* ServiceRequestName(uint32_t code) {
    switch (code) {
    case kRequestJobNumber:
        return "job number";
    case kRequestLock:
        return "lock";
    case kRequestUnlock:
        return "unlock";
    case kRequestLeave:
        return "leave";
    default:
        return "unknown";
    }
}

std::array<uint8_t, 4> EncodeServiceMessage(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

uint32_t DecodeServiceMessage(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

std::string ServicePipePath(const std::string& name) {
    return "\\\\.\\pipe\\" + name;
}

namespace shm {
namespace {
template <class T> std::atomic_ref<T> Ref(const T& v) {
    return std::atomic_ref<T>(const_cast<T&>(v));
}
} // namespace

bool SessionActive(const ServiceShmBlock& b) {
    return Ref(b.session).load(std::memory_order_acquire) != 0;
}

bool TryAttach(ServiceShmBlock& b) {
    uint8_t expected = 0;
    return Ref(b.session).compare_exchange_strong(expected, 1, std::memory_order_acq_rel);
}

void EndSession(ServiceShmBlock& b) {
    Ref(b.session).store(0, std::memory_order_release);
}

bool IsFull(const ServiceShmBlock& b) {
    return Ref(b.full).load(std::memory_order_acquire) != 0;
}

bool HasRequest(const ServiceShmBlock& b) {
    return IsFull(b) && Ref(b.direction).load(std::memory_order_acquire) == kDirectionToService;
}

bool HasReply(const ServiceShmBlock& b) {
    return IsFull(b) && Ref(b.direction).load(std::memory_order_acquire) == kDirectionToClient;
}

size_t Post(ServiceShmBlock& b, uint32_t direction, const void* data, size_t len) {
    const size_t n = std::min(len, kShmBufferSize);
    if (n)
        std::memcpy(b.buffer, data, n);
    Ref(b.direction).store(direction, std::memory_order_release);
    Ref(b.full).store(1, std::memory_order_release);
    return n;
}

size_t Take(ServiceShmBlock& b, void* out, size_t len) {
    const size_t n = std::min(len, kShmBufferSize);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (n)
        std::memcpy(out, b.buffer, n);
    Ref(b.full).store(0, std::memory_order_release);
    return n;
}
} // namespace shm

} // namespace kestrel
