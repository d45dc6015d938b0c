// The request channel between the runner (kestrel) and the scanner service:
// message codes, the 32-bit little-endian message encoding, the pipe path, the
// 268-byte shared block used where there are no named pipes, and the names of
// the objects beside the channel. Both ends include this; portable.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace kestrel {

enum ServiceRequest : uint32_t {
    kRequestJobNumber = 2, // reply: 32-bit job number selected on the panel
    kRequestLock = 3,      // the service leaves the scanner to the job
    kRequestUnlock = 4,    // the service may use the scanner again
    kRequestLeave = 5,     // the client closes the channel right after this
};

inline const char* ServiceRequestName(uint32_t code) {
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

inline std::array<uint8_t, 4> EncodeServiceMessage(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

inline uint32_t DecodeServiceMessage(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// Full pipe path for a channel name: "\\.\pipe\" + name.
inline std::string ServicePipePath(const std::string& name) {
    return "\\\\.\\pipe\\" + name;
}

// Named mutexes beside the channel. The service holds the first while it
// runs (one service per channel; a client waiting on a service that died
// sees it abandoned). A shared-block client holds the second while attached,
// so the service notices a client that dies.
inline std::string ServiceAliveMutexName(const std::string& channel) {
    return channel + " Service Alive";
}
inline std::string ServiceClientMutexName(const std::string& channel) {
    return channel + " Client Alive";
}

// The shared block. Flags are single bytes touched by two processes, so every
// access goes through the helpers below (atomic, with release/acquire order
// between the message bytes and the full flag).
struct ServiceShmBlock {
    uint8_t full;        // 1 while a message waits in the buffer
    uint8_t buffer[256]; // message bytes
    uint8_t reserved1[3];
    uint32_t direction; // 0 client to service, 1 service to client
    uint8_t session;    // set by the client on attach, cleared by the service
    uint8_t reserved2[3];
};
static_assert(sizeof(ServiceShmBlock) == 268, "shared block layout is fixed");
static_assert(offsetof(ServiceShmBlock, buffer) == 1, "shared block layout is fixed");
static_assert(offsetof(ServiceShmBlock, direction) == 260, "shared block layout is fixed");
static_assert(offsetof(ServiceShmBlock, session) == 264, "shared block layout is fixed");

constexpr size_t kShmBlockSize = sizeof(ServiceShmBlock);
constexpr size_t kShmBufferSize = sizeof(ServiceShmBlock::buffer);
constexpr uint32_t kDirectionToService = 0;
constexpr uint32_t kDirectionToClient = 1;

namespace shm {
namespace detail {
template <class T> std::atomic_ref<T> Ref(const T& v) {
    return std::atomic_ref<T>(const_cast<T&>(v));
}
} // namespace detail

inline bool SessionActive(const ServiceShmBlock& b) {
    return detail::Ref(b.session).load(std::memory_order_acquire) != 0;
}

// Client: attach when no session is active (atomic test-and-set).
inline bool TryAttach(ServiceShmBlock& b) {
    uint8_t expected = 0;
    return detail::Ref(b.session).compare_exchange_strong(expected, 1, std::memory_order_acq_rel);
}

// Service: end the session (the client's waits then fail).
inline void EndSession(ServiceShmBlock& b) {
    detail::Ref(b.session).store(0, std::memory_order_release);
}

inline bool IsFull(const ServiceShmBlock& b) {
    return detail::Ref(b.full).load(std::memory_order_acquire) != 0;
}

// A message from the client waits for the service.
inline bool HasRequest(const ServiceShmBlock& b) {
    return IsFull(b) &&
           detail::Ref(b.direction).load(std::memory_order_acquire) == kDirectionToService;
}

// A reply from the service waits for the client.
inline bool HasReply(const ServiceShmBlock& b) {
    return IsFull(b) &&
           detail::Ref(b.direction).load(std::memory_order_acquire) == kDirectionToClient;
}

// Copies at most 256 bytes into the buffer, sets direction and full.
inline size_t Post(ServiceShmBlock& b, uint32_t direction, const void* data, size_t len) {
    const size_t n = std::min(len, kShmBufferSize);
    if (n)
        std::memcpy(b.buffer, data, n);
    detail::Ref(b.direction).store(direction, std::memory_order_release);
    detail::Ref(b.full).store(1, std::memory_order_release);
    return n;
}

// Copies at most min(len, 256) bytes out and clears full.
inline size_t Take(ServiceShmBlock& b, void* out, size_t len) {
    const size_t n = std::min(len, kShmBufferSize);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (n)
        std::memcpy(out, b.buffer, n);
    detail::Ref(b.full).store(0, std::memory_order_release);
    return n;
}
} // namespace shm

} // namespace kestrel
