// Rules of the copy, version and administrator dialogs that need no window:
// the copy destination range, the copyright line, the administrator forms
// and the SMTP methods. Portable.
#pragma once
#include <string>

namespace plover {

// The destination range of a copy: the caller's bounds limited to the
// store's job numbers (1..highest).
struct CopyRange {
    long lower;
    long upper;
    bool Contains(long n) const { return n >= lower && n <= upper; }
};
CopyRange EffectiveCopyRange(long callerMin, long callerMax, long highestJobNumber);

// Replaces "%1" and "%2" in a (localised) message by the two numbers.
std::string FormatTwoNumbers(const std::string& text, long first, long second);

// The copyright line's years: "2006-2008" for two years, "2008" for one.
// Years given in the wrong order are shown in the right one.
std::string CopyrightYears(int firstYear, int lastYear);

// The administrator dialog's forms 1..4 and what each shows and writes.
struct AdminForm {
    bool mailServer;    // server, method, access setting, TLS certificate choice
    bool mailSize;      // the attachment size box
    bool monitor;       // "Show Monitor Dialog Setting"
    bool writesMonitor; // "MonitorOpen" is written at OK
    bool monitorAsZero; // ... as 0, whatever it was
};
// Forms outside 1..4 give nullptr.
const AdminForm* AdminFormFor(int form);

// The SMTP methods in list order; the value is the store's "SMTP_ID".
struct SmtpMethod {
    const char* name; // English, localised at the point of use
    long value;
};
constexpr int kSmtpMethods = 5;
extern const SmtpMethod kSmtpMethodList[kSmtpMethods];
// The access setting (user name and password) matters for every method but
// plain SMTP.
inline bool SmtpMethodNeedsAccount(long smtpId) {
    return smtpId != 0;
}

// A warning size above the largest offered is taken as the largest.
inline long ClampWarningSize(long megabytes, long largest) {
    return megabytes > largest ? largest : megabytes;
}

} // namespace plover
