#include "StiArguments.h"

#include <cstring>

namespace kestrel {

namespace {
bool StartsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

bool EqualsNoCase(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b))
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}
} // namespace

StiArguments ParseStiArguments(const std::vector<std::string>& args) {
    StiArguments out;
    for (const std::string& arg : args) {
        if (StartsWith(arg, kStiEventPrefix))
            out.m_strEvent = arg.substr(std::strlen(kStiEventPrefix));
        else if (StartsWith(arg, kStiDevicePrefix))
            out.m_strDevice = arg.substr(std::strlen(kStiDevicePrefix));
        else if (StartsWith(arg, kDeliverRecoveredPrefix))
            out.m_strRecoveredFolder = arg.substr(std::strlen(kDeliverRecoveredPrefix));
    }
    return out;
}

bool IsScannerEvent(const std::string& eventId) {
    return EqualsNoCase(eventId, kStiEventScan) || EqualsNoCase(eventId, kStiEventScan2);
}

} // namespace kestrel
