// What a receiver gets and when: the body's fields, the signature, which answers are tried again and
// the exact waits between attempts, and which settings are taken.
#include "journal/event_json.h"
#include "platform/gbk.h"
#include "support/temp_dir.h"
#include "webhooks/retry_policy.h"
#include "webhooks/webhook_settings.h"
#include "webhooks/webhook_signature.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

TEST(WebhookVerdict, AcceptedRetriedOrParkedByTheAnswer) {
    const struct {
        int status;
        WebhookVerdict verdict;
    } cases[] = {{200, WebhookVerdict::Accepted}, {204, WebhookVerdict::Accepted}, {0, WebhookVerdict::Retry},
                 {408, WebhookVerdict::Retry},    {429, WebhookVerdict::Retry},    {500, WebhookVerdict::Retry},
                 {503, WebhookVerdict::Retry},    {400, WebhookVerdict::Park},     {401, WebhookVerdict::Park},
                 {404, WebhookVerdict::Park},     {410, WebhookVerdict::Park},     {301, WebhookVerdict::Park},
                 {100, WebhookVerdict::Park}};
    for (const auto& c : cases) {
        EXPECT_EQ(webhook_verdict(c.status), c.verdict) << c.status;
    }
}

TEST(WebhookRetry, WaitsDoubleFromTenSecondsToAnHourAndStopAfterTwoDays) {
    RetryTiming timing; // 10 s, 1 h, 48 h
    const long long expected[] = {10'000,  20'000,    40'000,    80'000,    160'000,  320'000,
                                  640'000, 1'280'000, 2'560'000, 3'600'000, 3'600'000};
    for (int failures = 1; failures <= 11; ++failures) {
        EXPECT_EQ(retry_wait_ms(failures, timing), expected[failures - 1]) << failures;
    }
    EXPECT_EQ(retry_wait_ms(1000, timing), 3'600'000);
    // Attempts over 48 h: the one whose next wait would end past that is the last.
    long long first = 1'000;
    EXPECT_FALSE(give_up_now(first, first + 47 * 3'600'000LL, 3'600'000, timing));
    EXPECT_FALSE(give_up_now(first, first + 47 * 3'600'000LL, 3'600'000 - 1, timing));
    EXPECT_TRUE(give_up_now(first, first + 47 * 3'600'000LL + 1, 3'600'000, timing));
    RetryTiming quick{1'000, 4'000, 60'000};
    EXPECT_EQ(retry_wait_ms(1, quick), 1'000);
    EXPECT_EQ(retry_wait_ms(3, quick), 4'000);
    EXPECT_EQ(retry_wait_ms(4, quick), 4'000);
}

TEST(WebhookSignature, IsTheHmacOfTheTimeAndTheBody) {
    // Computed independently (Python's hmac module).
    EXPECT_EQ(webhook_signature("key", 1700000000, R"({"id":"x"})"),
              "t=1700000000,v1=c275209bfed50f54f9b0d8dafaf250f3f08155fdaadece7fc4d3f5c7e3c8b6ba");
    EXPECT_NE(webhook_signature("key", 1700000001, R"({"id":"x"})"),
              webhook_signature("key", 1700000000, R"({"id":"x"})"));
}

TEST(EventJson, CarriesTheIntakesFieldsInUtf8) {
    JournalEvent sent;
    sent.seq = 7;
    sent.id = "2026-12-11-sent-5-2";
    sent.kind = "sent";
    sent.time = "2026-12-11 09:00:00";
    sent.day = "2026-12-11";
    sent.record = 5;
    sent.index = 2;
    sent.parts = 2;
    sent.number = "13900000001";
    sent.text = gbk("你好");
    auto body = event_json(sent);
    EXPECT_EQ(body, nlohmann::json::parse(R"({"id":"2026-12-11-sent-5-2","event":"sent","seq":7,
        "time":"2026-12-11 09:00:00","day":"2026-12-11","record":5,"index":2,"to":"13900000001",
        "status":"sent","text":"你好","parts":2})"));

    JournalEvent report = sent;
    report.kind = "failed";
    report.detail = "report 70";
    EXPECT_EQ((event_json(report))["report"], 70);
    report.detail = gbk("不是手机号码");
    EXPECT_EQ((event_json(report))["reason"], "不是手机号码");

    JournalEvent received = sent;
    received.kind = "received";
    received.index = 0;
    body = event_json(received);
    EXPECT_EQ(body["from"], "13900000001");
    EXPECT_FALSE(body.contains("to"));

    JournalEvent state;
    state.id = "x";
    state.kind = "state";
    state.detail = "not-registered";
    EXPECT_EQ((event_json(state))["state"], "not-registered");
}

class WebhookSettingsFile : public TempDirTest {};

TEST_F(WebhookSettingsFile, TakesEachReceiverWithItsOwnOrTheCommonSecretAndEvents) {
    put_file("server.txt", "[WEBHOOKS]\r\nURL=https://a.example/in\r\nSECRET=s0\r\nEVENTS=sent, failed\r\n"
                           "URL1=http://127.0.0.1:9/x\r\nSECRET1=s1\r\nEVENTS1=received,bogus\r\n"
                           "URL2=ftp://b.example/\r\nURL3=http:///nohost\r\nTIMEOUT=99\r\nRETRY_FIRST=2\r\n");
    WebhookSettings s = read_webhook_settings();
    ASSERT_EQ(s.targets.size(), 2u);
    EXPECT_EQ(s.targets[0].name, "URL");
    EXPECT_EQ(s.targets[0].secret, "s0");
    EXPECT_EQ(s.targets[0].kinds, (std::set<std::string>{"sent", "failed"}));
    EXPECT_EQ(s.targets[1].url, "http://127.0.0.1:9/x");
    EXPECT_EQ(s.targets[1].secret, "s1");
    EXPECT_EQ(s.targets[1].kinds, (std::set<std::string>{"received"}));
    EXPECT_EQ(s.timeout_s, 10);
    EXPECT_EQ(s.retry_first_s, 2);
    EXPECT_EQ(s.retry_most_s, 3600);
    std::string problems;
    for (const std::string& p : s.problems) {
        problems += p + "\n";
        EXPECT_EQ(p.find("s0"), std::string::npos); // never a secret
    }
    EXPECT_NE(problems.find("no event is called bogus"), std::string::npos) << problems;
    EXPECT_NE(problems.find("URL2"), std::string::npos) << problems;
    EXPECT_NE(problems.find("URL3"), std::string::npos) << problems;
    EXPECT_NE(problems.find("TIMEOUT=99"), std::string::npos) << problems;
}

} // namespace
