#include "common/portable/RecoveryRecord.h"

#include <cstdio>
#include <cstdlib>

namespace vlm {

namespace {

const char kSection[] = "[Recovered scan]";

} // namespace

std::string RecoveryLine(const char* key, const std::string& value) {
    std::string line = std::string(key) + "=" + value;
    for (char& c : line)
        if (c == '\r' || c == '\n')
            c = ' ';
    return line + "\r\n";
}

std::string RecoveryLine(const char* key, long value) {
    return RecoveryLine(key, std::to_string(value));
}

std::string RecoveryJobLines(const RecoveryRecord& r) {
    return RecoveryLine("Job", r.m_nJob) + RecoveryLine("Title", r.m_strTitle) +
           RecoveryLine("FunctionId", r.m_nFunctionId) + RecoveryLine("Function", r.m_strFunction) +
           RecoveryLine("FileType", r.m_strFileType);
}

std::string RecoveryManifestText(const RecoveryRecord& r) {
    std::string text = std::string(kSection) + "\r\n" + RecoveryJobLines(r) +
                       RecoveryLine("Pages", r.m_nPages) + RecoveryLine("Time", r.m_strTime) +
                       RecoveryLine("Reason", r.m_strReason);
    for (const std::string& f : r.m_Files)
        text += RecoveryLine("File", f);
    return text;
}

RecoveryRecord ParseRecoveryRecord(const std::string& text) {
    RecoveryRecord r;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        const long number = std::strtol(value.c_str(), nullptr, 10);
        if (key == "Job")
            r.m_nJob = number;
        else if (key == "Title")
            r.m_strTitle = value;
        else if (key == "FunctionId")
            r.m_nFunctionId = number;
        else if (key == "Function")
            r.m_strFunction = value;
        else if (key == "FileType")
            r.m_strFileType = value;
        else if (key == "Pages")
            r.m_nPages = static_cast<int>(number);
        else if (key == "Time")
            r.m_strTime = value;
        else if (key == "Reason")
            r.m_strReason = value;
        else if (key == "File" && !value.empty())
            r.m_Files.push_back(value);
        else if (key == "Recovery")
            r.m_strRecoveryFolder = value;
        else if (key == "SaveTemp")
            r.m_strSaveTemp = value;
    }
    return r;
}

std::string SafeFileNamePart(const std::string& title, size_t maxLength) {
    std::string out;
    for (char c : title) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool bad =
            u < 32 || u == 127 || std::string("<>:\"/\\|?*").find(c) != std::string::npos;
        out += bad ? '_' : c;
        if (out.size() == maxLength)
            break;
    }
    while (!out.empty() && (out.back() == '.' || out.back() == ' '))
        out.pop_back();
    return out;
}

std::string RecoveryFolderName(const RecoveryRecord& r) {
    // The time comes from a run file too, which may be damaged: it must not
    // lead the folder out of the recovery root.
    const std::string title = SafeFileNamePart(r.m_strTitle), time = SafeFileNamePart(r.m_strTime);
    std::string name = std::to_string(r.m_nJob);
    for (const std::string* part : {&title, &time})
        if (!part->empty())
            name += " " + *part;
    return name;
}

bool ParseRecoveryTime(const std::string& text, int f[6]) {
    // Exactly "dddd-dd-dd dd.dd.dd": no signs or spaces in place of digits.
    static const char kPattern[] = "dddd-dd-dd dd.dd.dd";
    if (text.size() != sizeof kPattern - 1)
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (kPattern[i] == 'd' ? text[i] < '0' || text[i] > '9' : text[i] != kPattern[i])
            return false;
    const int at[6] = {0, 5, 8, 11, 14, 17};
    for (int k = 0; k < 6; ++k)
        f[k] = std::atoi(text.substr(at[k], k == 0 ? 4 : 2).c_str());
    return f[1] >= 1 && f[1] <= 12 && f[2] >= 1 && f[2] <= 31 && f[3] < 24 && f[4] < 60 &&
           f[5] < 60;
}

std::string FormatRecoveryTime(int year, int month, int day, int hour, int minute, int second) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d.%02d.%02d", year, month, day, hour,
                  minute, second);
    return text;
}

} // namespace vlm
