// A fresh state folder per test, removed afterwards.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "vx410sim.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace vx410sim::test {

class CTempFolder {
public:
    CTempFolder() {
        static std::atomic<int> s_nNext{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        m_path = std::filesystem::temp_directory_path() /
                 ("vx410sim-test-" + std::to_string(stamp) + "-" + std::to_string(s_nNext++));
        std::filesystem::create_directories(m_path);
    }
    ~CTempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string Path() const { return m_path.string(); }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// A fresh state folder that the whole process uses (VX410SIM_DIR), for tests
// that reach the simulator through devlink or the tools.
class CSimFolder : public CTempFolder {
public:
    CSimFolder() { SetVariable(Path().c_str()); }
    ~CSimFolder() { SetVariable(nullptr); }
    CSimDevice Device() const { return CSimDevice(Path()); }
    DeviceState State() const {
        DeviceState s;
        Device().Read(s);
        return s;
    }
    bool Set(const std::function<void(DeviceState&)>& fn) const {
        return Device().Update([&](DeviceState& s) {
            fn(s);
            return true;
        });
    }

private:
    // The process environment: devlink.dll does not share the test's C runtime.
    static void SetVariable(const char* value) {
#ifdef _WIN32
        SetEnvironmentVariableA("VX410SIM_DIR", value);
#else
        if (value)
            setenv("VX410SIM_DIR", value, 1);
        else
            unsetenv("VX410SIM_DIR");
#endif
    }
};

} // namespace vx410sim::test
