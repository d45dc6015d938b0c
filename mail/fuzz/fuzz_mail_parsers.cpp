// Fuzzes what the mail code reads from outside: server replies (SMTP and
// POP3, fed in two pieces), address lists through every coder, base64 text.
// A reply that parses must keep every line within the line limit.
#include <cstdint>
#include <string>
#include <vector>

#include "mail/core/Base64.h"
#include "mail/core/MailReply.h"
#include "mail/core/MimeCoder.h"

using namespace vlm::mail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t cut = data[0] % (text.size() + 1);
    for (auto kind : {CReplyParser::Kind::Smtp, CReplyParser::Kind::Pop3}) {
        CReplyParser p(kind);
        size_t used = 0;
        auto st = p.Feed(text.data(), cut, used);
        if (st == CReplyParser::Status::NeedMore)
            st = p.Feed(text.data() + cut, text.size() - cut, used);
        if (st == CReplyParser::Status::Done) {
            for (const auto& line : p.Lines())
                if (line.size() > CReplyParser::kMaxLine)
                    __builtin_trap();
            if (kind == CReplyParser::Kind::Smtp && (p.Code() < 200 || p.Code() > 559))
                __builtin_trap();
        }
    }
    static const char* const languages[] = {"Japanese", "ChineseSimplified", "English", "French"};
    auto coder = MakeMimeCoder(languages[data[0] % 4]);
    std::vector<std::string> entries;
    coder->ParseAddressList(text, entries, data[0] % 20);
    for (const auto& e : entries)
        (void)AddressOf(e);
    std::string out;
    coder->EncodeHeader(text, out, "", data[0] % 80, 0);
    coder->EncodeBody(text, out, "", 0);
    std::string decoded;
    if (Base64Decode(text, decoded)) {
        // What decodes must encode back to the same text without blanks.
        std::string compact;
        for (char c : text)
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
                compact += c;
        if (Base64Encode(decoded) != compact)
            __builtin_trap();
    }
    return 0;
}
