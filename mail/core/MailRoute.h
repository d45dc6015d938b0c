// "Attach to E-mail": which way the files reach the user's mail program. A
// process can load a mail program's library (Simple MAPI provider, Notes'
// SMI32.DLL) only when both are built for the same bitness; the registry
// tells which bitnesses the default mail program offers. Otherwise the helper
// program "RPXMail.exe" beside the runner, built for the other bitness, hands
// the files over through Simple MAPI. Portable: the facts are read elsewhere.
#pragma once
#include <string>

namespace vlm::mail {

// A set of bitnesses.
enum MailBits : unsigned { kMailBitsNone = 0, kMailBits32 = 1, kMailBits64 = 2 };

// What the registry says about the default mail program.
struct MailClientFacts {
    std::string client;          // the default mail client's name; empty: none
    unsigned registered = 0;     // views with Clients\Mail\<client> "DLLPathEx" or "DLLPath"
    unsigned outlook = 0;        // Outlook's "Bitness" ("x64", "x86") when the client is Outlook
    bool notes = false;          // the client is Notes (its three names)
    unsigned notesInstalled = 0; // views with Notes' own key (SOFTWARE\Lotus\Notes)
    bool listed = false;         // named in "RPXMailList.txt": no 32-bit process can drive it
};

enum class MailRoute {
    InProcess, // the runner loads the library itself (Notes or Simple MAPI)
    Helper     // "RPXMail.exe", built for the other bitness
};

// Whether the client is one of Notes' names (compared without regard to case).
bool IsNotesClientName(const std::string& client);
// The bitnesses the default mail program can be driven from, by the most
// telling registration: Notes' own, Outlook's "Bitness", the list file, then
// the views holding its Simple MAPI library. kMailBitsNone: unknown.
unsigned MailClientBits(const MailClientFacts& facts);
// processBits: the caller's own (kMailBits32 or kMailBits64). In process when
// the program offers that bitness or its bitness is unknown (the library's
// own load then tells the user); through the helper otherwise.
MailRoute ChooseMailRoute(const MailClientFacts& facts, unsigned processBits);
// The run log's line for the choice, e.g.
// "Mail client "Quill Mail" 32-bit, runner 64-bit: RPXMail.exe".
std::string DescribeMailRoute(const MailClientFacts& facts, unsigned processBits);

} // namespace vlm::mail
