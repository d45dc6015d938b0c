#include "CmdlineRecords.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "ProcessDriver.h"

namespace kestreltest {

namespace {
const char kRecorder[] = "cmdline_recorder.exe";
}

bool CopyRecorderTo(const std::string& path) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string built = self;
    built = built.substr(0, built.find_last_of('\\') + 1) + kRecorder;
    return CopyFileA(built.c_str(), path.c_str(), FALSE) != FALSE;
}

int RecordersRunning() {
    return static_cast<int>(RunningProcesses(kRecorder).size());
}

bool WaitRecordersEnd() {
    for (int i = 0; i < 600 && RecordersRunning() > 0; ++i)
        Sleep(100);
    return RecordersRunning() == 0;
}

std::vector<std::string> WaitRecords(const std::string& folder, size_t count) {
    std::vector<std::pair<unsigned long long, std::string>> records;
    for (int i = 0; i < 600; ++i) {
        records.clear();
        for (const std::string& line : SplitLines(ReadFileText(folder + "\\cmdlines.txt"))) {
            const size_t bar = line.find('|');
            if (bar != std::string::npos)
                records.push_back({std::stoull(line.substr(0, bar)), line.substr(bar + 1)});
        }
        if (records.size() >= count)
            break;
        Sleep(100);
    }
    std::stable_sort(records.begin(), records.end());
    std::vector<std::string> out;
    for (const auto& r : records)
        out.push_back(r.second);
    return out;
}

} // namespace kestreltest
