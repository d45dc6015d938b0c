// The state file is hand-editable: any text must parse or be refused, and a
// parsed state must survive a write and a read unchanged.
#include "vx410sim.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    vx410sim::DeviceState s;
    if (!vx410sim::ParseState(text, s))
        return 0;
    vx410sim::DeviceState back;
    if (!vx410sim::ParseState(vx410sim::SerializeState(s), back) || !(back == s))
        std::abort();
    return 0;
}
