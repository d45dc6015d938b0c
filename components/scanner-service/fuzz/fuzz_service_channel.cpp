// The scanner service's side of the request channel: any sequence of client
// messages (garbage codes included), session starts, lost clients and Start
// presses must keep the dispatcher's lock, the device's record of it and the
// replies consistent. Also the shared block's message hand-over with any length.
#include "components/scanner-service/core/ServiceDispatcher.h"
#include "contracts/ServiceChannel.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

struct Rig {
    std::filesystem::path dir;
    std::unique_ptr<vx410sim::CSimDevice> device;
    Rig() {
        dir = std::filesystem::temp_directory_path() /
              ("fuzz-svc-channel-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        device = std::make_unique<vx410sim::CSimDevice>(dir.string());
    }
    ~Rig() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

void Check(bool ok) {
    if (!ok)
        std::abort();
}

bool DeviceSaysRunnerHolds(vx410sim::CSimDevice& dev) {
    vx410sim::DeviceState st;
    Check(dev.Read(st));
    return st.m_bRunnerHolds;
}

void ShmRoundTrip(const uint8_t* data, size_t size, size_t wanted) {
    const size_t claimed = std::min(wanted, size); // a message of that many bytes
    kestrel::ServiceShmBlock block;
    std::memset(&block, 0xA5, sizeof block); // whatever the other side left
    const size_t posted = kestrel::shm::Post(block, kestrel::kDirectionToService, data, claimed);
    Check(posted == std::min(claimed, kestrel::kShmBufferSize));
    Check(kestrel::shm::HasRequest(block) && !kestrel::shm::HasReply(block));
    uint8_t out[kestrel::kShmBufferSize + 16];
    const size_t taken = kestrel::shm::Take(block, out, sizeof out);
    Check(taken == kestrel::kShmBufferSize);
    Check(std::memcmp(out, data, posted) == 0);
    Check(!kestrel::shm::IsFull(block));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Rig rig;
    vx410sim::CSimDevice& dev = *rig.device;
    Check(dev.ClearAll());
    Check(dev.SetRunnerHolds(false));
    scansvc::CServiceDispatcher dispatcher(dev, [](const std::string&) {});

    if (size >= 2) // the first two bytes also drive one shared-block hand-over
        ShmRoundTrip(data + 2, size - 2, static_cast<size_t>(data[0]) << 1 | data[1] >> 7);

    size_t i = 0;
    while (i < size) {
        const uint8_t op = data[i++];
        switch (op % 8) {
        case 0:
            dispatcher.BeginSession();
            break;
        case 1:
            dispatcher.ClientLost("fuzz");
            Check(!dispatcher.IsLocked() && !dispatcher.InSession());
            break;
        case 2:
            dispatcher.EndSession();
            Check(!dispatcher.InSession());
            break;
        case 3: {
            const int job = 1 + (i < size ? data[i++] : 0) % 99;
            Check(dev.SetSelectedJob(job));
            break;
        }
        case 4:
            Check(dev.PressStart());
            if (dispatcher.TakeStartRequest())
                Check(!dispatcher.IsLocked());
            break;
        default: {
            // A message as it arrives on the wire: four little-endian bytes,
            // either a known request or whatever the bytes say.
            uint8_t wire[4] = {};
            if (op % 8 == 7) {
                const size_t n = std::min<size_t>(4, size - i);
                std::memcpy(wire, data + i, n);
                i += n;
            } else {
                const auto enc = kestrel::EncodeServiceMessage(2 + op / 8 % 4);
                std::memcpy(wire, enc.data(), 4);
            }
            const uint32_t code = kestrel::DecodeServiceMessage(wire);
            Check(kestrel::EncodeServiceMessage(code) ==
                  (std::array<uint8_t, 4>{wire[0], wire[1], wire[2], wire[3]}));
            vx410sim::DeviceState before;
            Check(dev.Read(before));
            const scansvc::DispatchResult r = dispatcher.Handle(code);
            Check(r.m_bReply == (code == kestrel::kRequestJobNumber));
            if (r.m_bReply)
                Check(r.m_nReply == static_cast<uint32_t>(before.m_nSelectedJob));
            Check(r.m_bEndSession == (code == kestrel::kRequestLeave));
            if (code == kestrel::kRequestLeave)
                Check(!dispatcher.IsLocked() && !dispatcher.InSession());
            if (code == kestrel::kRequestLock)
                Check(dispatcher.IsLocked());
            if (code == kestrel::kRequestUnlock)
                Check(!dispatcher.IsLocked());
            break;
        }
        }
        // The device's record of the owner always follows the dispatcher.
        Check(DeviceSaysRunnerHolds(dev) == dispatcher.IsLocked());
    }
    return 0;
}
