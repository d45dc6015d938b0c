#include "mail/core/MailRoute.h"

#include <cctype>

namespace vlm::mail {
namespace {
bool EqualNoCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

const char* BitsText(unsigned bits) {
    switch (bits) {
    case kMailBits32:
        return "32-bit";
    case kMailBits64:
        return "64-bit";
    case kMailBits32 | kMailBits64:
        return "32/64-bit";
    default:
        return "of unknown bitness";
    }
}
} // namespace

bool IsNotesClientName(const std::string& client) {
    return EqualNoCase(client, "Lotus Notes") || EqualNoCase(client, "Lotus Notes Mail") ||
           EqualNoCase(client, "Notes Mail");
}

unsigned MailClientBits(const MailClientFacts& facts) {
    if (facts.client.empty())
        return kMailBitsNone;
    if (facts.notes && facts.notesInstalled)
        return facts.notesInstalled;
    if (facts.outlook)
        return facts.outlook;
    if (facts.listed)
        return kMailBits64;
    return facts.registered;
}

MailRoute ChooseMailRoute(const MailClientFacts& facts, unsigned processBits) {
    const unsigned bits = MailClientBits(facts);
    return bits == kMailBitsNone || (bits & processBits) ? MailRoute::InProcess : MailRoute::Helper;
}

std::string DescribeMailRoute(const MailClientFacts& facts, unsigned processBits) {
    return "Mail client \"" + facts.client + "\" " + BitsText(MailClientBits(facts)) + ", runner " +
           BitsText(processBits) + ": " +
           (ChooseMailRoute(facts, processBits) == MailRoute::Helper ? "RPXMail.exe"
                                                                     : "in process");
}

} // namespace vlm::mail
