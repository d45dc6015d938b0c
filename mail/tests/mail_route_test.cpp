// The choice between driving the mail program in process and the helper of
// the other bitness, for the registrations a 32-bit or 64-bit mail program
// leaves behind.
#include <gtest/gtest.h>

#include "mail/core/MailRoute.h"

using namespace vlm::mail;

namespace {
MailClientFacts Client(const char* name, unsigned registered) {
    MailClientFacts f;
    f.client = name;
    f.registered = registered;
    f.notes = IsNotesClientName(name);
    return f;
}
} // namespace

TEST(MailRoute, BitnessOfTheMailProgramDecides) {
    const MailClientFacts quill32 = Client("Quill Mail", kMailBits32);
    const MailClientFacts quill64 = Client("Quill Mail", kMailBits64);
    const MailClientFacts both = Client("Quill Mail", kMailBits32 | kMailBits64);
    EXPECT_EQ(ChooseMailRoute(quill32, kMailBits64), MailRoute::Helper);
    EXPECT_EQ(ChooseMailRoute(quill64, kMailBits64), MailRoute::InProcess);
    EXPECT_EQ(ChooseMailRoute(both, kMailBits64), MailRoute::InProcess);
    EXPECT_EQ(ChooseMailRoute(quill32, kMailBits32), MailRoute::InProcess);
    EXPECT_EQ(ChooseMailRoute(quill64, kMailBits32), MailRoute::Helper);
    // Unknown: the process tries, and the library's own load tells the user.
    EXPECT_EQ(ChooseMailRoute(Client("", 0), kMailBits64), MailRoute::InProcess);
    EXPECT_EQ(ChooseMailRoute(Client("Quill Mail", 0), kMailBits64), MailRoute::InProcess);
    EXPECT_EQ(DescribeMailRoute(quill32, kMailBits64),
              "Mail client \"Quill Mail\" 32-bit, runner 64-bit: RPXMail.exe");
    EXPECT_EQ(DescribeMailRoute(both, kMailBits64),
              "Mail client \"Quill Mail\" 32/64-bit, runner 64-bit: in process");
}

TEST(MailRoute, OutlookNotesAndTheListSayMoreThanTheLibraryViews) {
    // Outlook's "Bitness" wins over a library registered in both views.
    MailClientFacts outlook = Client("Microsoft Outlook", kMailBits32 | kMailBits64);
    outlook.outlook = kMailBits32;
    EXPECT_EQ(ChooseMailRoute(outlook, kMailBits64), MailRoute::Helper);
    outlook.outlook = kMailBits64;
    EXPECT_EQ(ChooseMailRoute(outlook, kMailBits64), MailRoute::InProcess);
    EXPECT_EQ(ChooseMailRoute(outlook, kMailBits32), MailRoute::Helper);

    // Notes runs in process only where its own library can load.
    MailClientFacts notes = Client("lotus NOTES mail", kMailBits64);
    ASSERT_TRUE(notes.notes);
    notes.notesInstalled = kMailBits32;
    EXPECT_EQ(ChooseMailRoute(notes, kMailBits64), MailRoute::Helper);
    EXPECT_EQ(ChooseMailRoute(notes, kMailBits32), MailRoute::InProcess);
    notes.notesInstalled = kMailBitsNone; // not installed: its Simple MAPI views
    EXPECT_EQ(ChooseMailRoute(notes, kMailBits64), MailRoute::InProcess);
    EXPECT_FALSE(IsNotesClientName("Notes"));

    // A listed program is one no 32-bit process can drive.
    MailClientFacts listed = Client("Some Mailer", kMailBits32);
    listed.listed = true;
    EXPECT_EQ(ChooseMailRoute(listed, kMailBits32), MailRoute::Helper);
    EXPECT_EQ(ChooseMailRoute(listed, kMailBits64), MailRoute::InProcess);
}
