#include <gtest/gtest.h>

#include "mail/core/MailJob.h"

using namespace vlm::mail;

TEST(MailJob, ServerNameAndPort) {
    MailServerAddress a = ParseServerName(" mail.example.com : 587 ");
    EXPECT_EQ(a.host, "mail.example.com");
    EXPECT_EQ(a.port, "587");
    a = ParseServerName("  mail.example.com ");
    EXPECT_EQ(a.host, "mail.example.com");
    EXPECT_EQ(a.port, "") << "no colon: no port is put";
    a = ParseServerName("host:25:x");
    EXPECT_EQ(a.host, "host");
    EXPECT_EQ(a.port, "25:x") << "the text after the first colon";
}

TEST(MailJob, AuthenticationModeMapping) {
    EXPECT_EQ(AuthModeFromSmtpId(1), 2);
    EXPECT_EQ(AuthModeFromSmtpId(3), 3);
    EXPECT_EQ(AuthModeFromSmtpId(4), 1);
    for (long id : {0L, 2L, 5L, -1L})
        EXPECT_EQ(AuthModeFromSmtpId(id), 0) << id;
    EXPECT_TRUE(IsPopBeforeSmtp(2));
    EXPECT_FALSE(IsPopBeforeSmtp(1));
}

TEST(MailJob, HeaderBlockEnvelopeAndEmptySubject) {
    CMimeCoderUS_ASCII coder;
    MailMessagePlan plan;
    ASSERT_TRUE(PlanMailMessage(coder, "Scan Desk <desk@example.com>",
                                "a@example.com, \"B, C\" <bc@example.com>", "Hello\r\n", "", plan));
    EXPECT_EQ(plan.headerBlock, "From: Scan Desk <desk@example.com>\r\n"
                                "To: <a@example.com>,\"B, C\" <bc@example.com>\r\n"
                                "Subject: (none title)\r\n\r\n");
    EXPECT_EQ(plan.sender, "Scan Desk <desk@example.com>");
    EXPECT_EQ(plan.recipients,
              (std::vector<std::string>{"", "<a@example.com>", "\"B, C\" <bc@example.com>"}));
    EXPECT_EQ(plan.body, "Hello\r\n");
    EXPECT_EQ(plan.charset, "us_ascii");

    CMimeCoderISO_8859_1 latin;
    ASSERT_TRUE(PlanMailMessage(latin, "x@example.de", "y@example.de", "",
                                "Gr\xFC\xDF"
                                "e",
                                plan));
    EXPECT_NE(plan.headerBlock.find("\r\nSubject: =?iso-8859-1?Q?Gr=FC=DFe?=\r\n\r\n"),
              std::string::npos);
    EXPECT_EQ(plan.recipients.size(), 2u);
    EXPECT_EQ(plan.charset, "iso-8859-1");
    // A euro sign makes the body code page 1252 text; the control's charset,
    // the fallback of the text part's Content-Type, says so too.
    ASSERT_TRUE(PlanMailMessage(latin, "x@example.de", "y@example.de", "5 \x80", "Rechnung", plan));
    EXPECT_EQ(plan.charset, "windows-1252");
    EXPECT_EQ(plan.body, "5=20=80");
}

// A line break in "from" or "send" refuses the whole list: nothing of it
// reaches the header block or the envelope.
TEST(MailJob, AnAddressListWithALineBreakIsRefusedWhole) {
    const std::string injections[] = {"jane@example.com\r\nBcc: evil@example.com",
                                      "<jane@example.com\r\nRCPT TO:<evil@example.com>"};
    for (const std::string& bad : injections) {
        CMimeCoderUS_ASCII coder;
        MailMessagePlan plan;
        ASSERT_TRUE(PlanMailMessage(coder, "desk@example.com", bad, "", "s", plan));
        EXPECT_EQ(plan.headerBlock, "From: <desk@example.com>\r\nTo: \r\nSubject: s\r\n\r\n");
        EXPECT_EQ(plan.recipients, std::vector<std::string>{""});
        ASSERT_TRUE(PlanMailMessage(coder, bad, "office@example.com", "", "s", plan));
        EXPECT_EQ(plan.headerBlock.find("evil"), std::string::npos) << plan.headerBlock;
        EXPECT_EQ(plan.sender, "");
    }
}

TEST(MailJob, OutcomeTextsDifferForPopOnlyAt11004) {
    const std::pair<long, const char*> common[] = {
        {10054, "Connection reset."},   {10060, "Connection timed out."},
        {10061, "Connection refused."}, {10065, "No route to host."},
        {11001, "Host is not found."},  {11002, "Host is not found."},
        {10053, "Sending failed."},     {1, "Sending failed."}};
    for (bool pop : {false, true}) {
        for (const auto& [code, text] : common)
            EXPECT_EQ(MailOutcomeMessage(code, "", pop), text) << code;
        EXPECT_EQ(MailOutcomeMessage(-1, "NO RECIPIENT ADDRESS", pop), "No Recipient Address.");
        EXPECT_EQ(MailOutcomeMessage(-1, "NO FROM ADDRESS", pop), "No Sender Address.");
        EXPECT_EQ(MailOutcomeMessage(-1, "NO TLS", pop), "The server offers no TLS.");
        EXPECT_EQ(MailOutcomeMessage(-1, "535 bad", pop), "MailServer replied an error.");
        EXPECT_EQ(MailOutcomeMessage(0, "", pop), "");
    }
    EXPECT_EQ(MailOutcomeMessage(11004, "", false), "Host is not found.");
    EXPECT_EQ(MailOutcomeMessage(11004, "", true), "Port Number incorrect.");
}
