// The runner <-> scanner service request channel: message codes, the 32-bit
// little-endian message encoding and the 268-byte shared block used where no
// named pipes exist. Shared by the client (kestrel) and the scanner service.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrel {

enum ServiceRequest : uint32_t {
    kRequestJobNumber = 2, // reply: 32-bit job number selected on the panel
    kRequestLock = 3,      // the service leaves the scanner to the job
    kRequestUnlock = 4,    // the service may use the scanner again
    kRequestLeave = 5,     // the client closes the channel right after this
};

const char* ServiceRequestName(uint32_t code);

std::array<uint8_t, 4> EncodeServiceMessage(uint32_t value);
uint32_t DecodeServiceMessage(const uint8_t* bytes);

// Full pipe path for a channel name: "\\.\pipe\" + name.
std::string ServicePipePath(const std::string& name);

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
bool SessionActive(const ServiceShmBlock& b);
// Client: attach when no session is active (atomic test-and-set).
bool TryAttach(ServiceShmBlock& b);
// Service: end the session (the client's waits then fail).
void EndSession(ServiceShmBlock& b);
bool IsFull(const ServiceShmBlock& b);
// A message from the client waits for the service.
bool HasRequest(const ServiceShmBlock& b);
// A reply from the service waits for the client.
bool HasReply(const ServiceShmBlock& b);
// Copies at most 256 bytes into the buffer, sets direction and full.
size_t Post(ServiceShmBlock& b, uint32_t direction, const void* data, size_t len);
// Copies at most min(len, 256) bytes out and clears full.
size_t Take(ServiceShmBlock& b, void* out, size_t len);
} // namespace shm

} // namespace kestrel
