#include "editor/core/AdminRules.h"
#include <algorithm>

namespace plover {

CopyRange EffectiveCopyRange(long callerMin, long callerMax, long highestJobNumber) {
    return {std::max(callerMin, 1L), std::min(callerMax, highestJobNumber)};
}

std::string FormatTwoNumbers(const std::string& text, long first, long second) {
    std::string out;
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == '1' || text[i + 1] == '2')) {
            out += std::to_string(text[i + 1] == '1' ? first : second);
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string CopyrightYears(int firstYear, int lastYear) {
    if (firstYear == lastYear)
        return std::to_string(lastYear);
    return std::to_string(std::min(firstYear, lastYear)) + "-" +
           std::to_string(std::max(firstYear, lastYear));
}

namespace {
// mailServer, mailSize, monitor, writesMonitor, monitorAsZero
constexpr AdminForm kForms[4] = {
    {true, true, false, false, false}, // 1: mail, capacity warnings, backup
    {false, true, true, true, false},  // 2: capacity warnings, monitor, attachment size, backup
    {false, false, false, true, true}, // 3: capacity warnings, backup; monitor written as 0
    {true, true, true, true, false},   // 4: everything
};
} // namespace

const AdminForm* AdminFormFor(int form) {
    return form >= 1 && form <= 4 ? &kForms[form - 1] : nullptr;
}

const SmtpMethod kSmtpMethodList[kSmtpMethods] = {
    {"Standard SMTP", 0},
    {"SMTP authentication(LOGIN)", 1},
    {"POP before SMTP", 2},
    {"SMTP authentication(PLAIN)", 3},
    {"SMTP authentication(CRAM-MD5)", 4},
};

} // namespace plover
