// Fetching by itself: the plan of start, daily and retried fetches on a
// clock the test sets, the time the reader types, and quiet fetches of the
// real library from our subscription server with what the reader is told.
#include <gtest/gtest.h>

#include <memory>

#include "config/client_key.h"
#include "core/library_state.h"
#include "download/knobs.h"
#include "fetch_env.h"
#include "fetch_schedule.h"
#include "fetch_task_xml.h"
#include "quiet_fetch.h"
#include "reader_test_support.h"
#include "static_binding.h"
#include "subscription_server.h"
#include "user_texts.h"

namespace {

Moment at(int day, int hour, int minute) { return Moment{2026, 12, day, hour, minute}; }

std::string show(const Moment &m) {
    return std::to_string(m.day) + "." + std::to_string(m.month) + ". " + clockText(m);
}

TEST(FetchPlanTest, StartDailyAndRetriesFollowTheClock) {
    FetchSettings daily;
    daily.daily = true;  // 6:30
    FetchSettings startOnly;
    startOnly.atStart = true;
    struct Step {
        Moment now;
        char event;        // '?' due, 's' success of a fetch begun now, 'f' failure, 'h' by hand
        FetchReason due;   // for '?'
        const char *next;  // for 'f': the next try, "" for none
    };
    struct Case {
        const char *name;
        FetchSettings settings;
        int lastDaily;
        FetchReason atStart;
        Moment startedAt;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"before the daily time nothing is due until it comes",
         daily,
         20261207,
         FetchReason::None,
         at(8, 5, 0),
         {{at(8, 6, 29), '?', FetchReason::None, ""},
          {at(8, 6, 30), '?', FetchReason::Daily, ""},
          {at(8, 6, 30), 's', FetchReason::None, ""},
          {at(8, 23, 59), '?', FetchReason::None, ""},
          {at(9, 6, 30), '?', FetchReason::Daily, ""}}},
        {"a start after a missed daily time fetches at once, once",
         daily,
         20261207,
         FetchReason::Daily,
         at(8, 9, 0),
         {{at(8, 9, 0), 's', FetchReason::None, ""}, {at(8, 9, 1), '?', FetchReason::None, ""}}},
        {"a start after today's fetch fetches nothing",
         daily,
         20261208,
         FetchReason::None,
         at(8, 9, 0),
         {{at(8, 9, 0), '?', FetchReason::None, ""}}},
        {"a start fetch before the daily time leaves the daily one due",
         [] {
             FetchSettings s;
             s.atStart = s.daily = true;
             return s;
         }(),
         20261207,
         FetchReason::Start,
         at(8, 5, 0),
         {{at(8, 5, 0), 's', FetchReason::None, ""},
          {at(8, 6, 29), '?', FetchReason::None, ""},
          {at(8, 6, 30), '?', FetchReason::Daily, ""}}},
        {"three retries after 5, 15 and 60 minutes, then tomorrow's daily time",
         daily,
         20261207,
         FetchReason::None,
         at(8, 6, 0),
         {{at(8, 6, 30), 'f', FetchReason::None, "8.12. 6:35"},
          {at(8, 6, 34), '?', FetchReason::None, ""},
          {at(8, 6, 35), '?', FetchReason::Retry, ""},
          {at(8, 6, 35), 'f', FetchReason::None, "8.12. 6:50"},
          {at(8, 6, 50), 'f', FetchReason::None, "8.12. 7:50"},
          {at(8, 7, 50), 'f', FetchReason::None, "9.12. 6:30"},
          {at(8, 23, 0), '?', FetchReason::None, ""},
          {at(9, 6, 30), '?', FetchReason::Daily, ""}}},
        {"server down, then up: the retry succeeds and the next failure starts again at 5",
         daily,
         20261207,
         FetchReason::None,
         at(8, 6, 0),
         {{at(8, 6, 30), 'f', FetchReason::None, "8.12. 6:35"},
          {at(8, 6, 35), 's', FetchReason::None, ""},
          {at(8, 7, 0), '?', FetchReason::None, ""},
          {at(9, 6, 30), 'f', FetchReason::None, "9.12. 6:35"}}},
        {"a retry past midnight falls on the next day",
         daily,
         20261207,
         FetchReason::None,
         at(8, 6, 0),
         {{at(8, 23, 50), 'f', FetchReason::None, "8.12. 23:55"},
          {at(8, 23, 55), 'f', FetchReason::None, "9.12. 0:10"}}},
        {"a fetch by hand replaces the waiting retry",
         daily,
         20261207,
         FetchReason::None,
         at(8, 6, 0),
         {{at(8, 6, 30), 'f', FetchReason::None, "8.12. 6:35"},
          {at(8, 6, 31), 'h', FetchReason::None, ""},
          {at(8, 6, 35), '?', FetchReason::Daily, ""}}},
        {"without a daily time the fourth failure waits for the next start",
         startOnly,
         0,
         FetchReason::Start,
         at(8, 6, 0),
         {{at(8, 6, 0), 'f', FetchReason::None, "8.12. 6:05"},
          {at(8, 6, 5), 'f', FetchReason::None, "8.12. 6:20"},
          {at(8, 6, 20), 'f', FetchReason::None, "8.12. 7:20"},
          {at(8, 7, 20), 'f', FetchReason::None, ""},
          {at(9, 7, 20), '?', FetchReason::None, ""}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FetchPlan plan(c.settings, c.lastDaily);
        EXPECT_EQ(plan.atStart(c.startedAt), c.atStart);
        for (const Step &s : c.steps) {
            SCOPED_TRACE(show(s.now) + " " + s.event);
            Moment next;
            switch (s.event) {
                case '?':
                    EXPECT_EQ(plan.due(s.now), s.due);
                    break;
                case 's':
                    plan.succeeded(s.now);
                    break;
                case 'h':
                    plan.handFetch();
                    break;
                case 'f':
                    EXPECT_EQ(plan.failed(s.now, next) ? show(next) : "", s.next);
                    break;
            }
        }
    }
}

TEST(FetchPlanTest, TheTimeAsTyped) {
    struct Case {
        const char *hours, *minutes;
        int error, badField, hour, minute;
    } cases[] = {
        {"6", "30", 0, -1, 6, 30},
        {" 07", "05 ", 0, -1, 7, 5},
        {"23", "59", 0, -1, 23, 59},
        {"0", "0", 0, -1, 0, 0},
        {"24", "00", IDS_FETCH_BAD_HOUR, 0, 0, 0},
        {"", "30", IDS_FETCH_BAD_HOUR, 0, 0, 0},
        {"-1", "30", IDS_FETCH_BAD_HOUR, 0, 0, 0},
        {"6h", "30", IDS_FETCH_BAD_HOUR, 0, 0, 0},
        {"006", "30", IDS_FETCH_BAD_HOUR, 0, 0, 0},
        {"6", "60", IDS_FETCH_BAD_MINUTE, 1, 0, 0},
        {"6", "", IDS_FETCH_BAD_MINUTE, 1, 0, 0},
        {"6", "3 0", IDS_FETCH_BAD_MINUTE, 1, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string("'") + c.hours + "' '" + c.minutes + "'");
        int hour = -1, minute = -1, bad = -1;
        EXPECT_EQ(parseFetchTime(c.hours, c.minutes, hour, minute, bad), c.error);
        EXPECT_EQ(bad, c.badField);
        if (!c.error) {
            EXPECT_EQ(hour, c.hour);
            EXPECT_EQ(minute, c.minute);
        }
    }
}

// The text of the one element `name` of `xml`; "(none)" or "(twice)".
std::wstring element(const std::wstring &xml, const std::wstring &name) {
    std::wstring open = L"<" + name + L">", close = L"</" + name + L">";
    size_t at = xml.find(open);
    if (at == std::wstring::npos) return L"(none)";
    if (xml.find(open, at + 1) != std::wstring::npos) return L"(twice)";
    size_t begin = at + open.size(), end = xml.find(close, begin);
    return end == std::wstring::npos ? L"(open)" : xml.substr(begin, end - begin);
}

// The scheduler reads what it is given: every part the task needs is in
// the definition (Wine 8 keeps only some of it, so this is where the rest
// is shown).
TEST(FetchTaskTest, TheDefinitionCarriesTimeProgramAndRules) {
    std::wstring xml =
        fetchTaskXml(L"C:\\Users\\Anna & Ben\\Quillon <neu>\\quillon.exe", L"2026-12-08", 6, 5);
    const std::pair<const wchar_t *, const wchar_t *> expected[] = {
        {L"StartBoundary", L"2026-12-08T06:05:00"},
        {L"DaysInterval", L"1"},
        {L"Command", L"C:\\Users\\Anna &amp; Ben\\Quillon &lt;neu&gt;\\quillon.exe"},
        {L"Arguments", L"/abholen"},
        {L"LogonType", L"InteractiveToken"},
        {L"RunLevel", L"LeastPrivilege"},
        {L"StartWhenAvailable", L"true"},
        {L"DisallowStartIfOnBatteries", L"false"},
        {L"StopIfGoingOnBatteries", L"false"},
        {L"MultipleInstancesPolicy", L"IgnoreNew"},
        {L"UserId", L"(none)"},  // the registering user, no stored password
    };
    for (const auto &e : expected) EXPECT_EQ(element(xml, e.first), e.second) << e.first;
    EXPECT_NE(xml.find(L"<Principal id=\"Author\">"), std::wstring::npos);
    EXPECT_NE(xml.find(L"<Actions Context=\"Author\">"), std::wstring::npos);
    EXPECT_EQ(element(fetchTaskXml(L"q.exe", L"2026-12-08", 23, 59), L"StartBoundary"),
              L"2026-12-08T23:59:00");
}

// ---- Quiet fetches of the real library ------------------------------------------

class QuietFetchTest : public FetchFixture {
  protected:
    static void SetUpTestSuite() { loadStringTable(); }
    void SetUp() override {
        FetchFixture::SetUp();
        editions_ = makeFolder("served");
        binding_ = staticLibraryBinding();
        if (!g_library.clientKey) computeClientKey();
        ASSERT_NE(g_library.clientKey, nullptr);
    }
    void serve(const std::vector<SubscriberAccount> &accounts, const char *login) {
        ServerOptions options;
        options.editionsDir = editions_;
        options.accounts = accounts;
        server_ = std::make_unique<SubscriptionServer>(options);
        ASSERT_TRUE(server_->start()) << server_->error();
        configure(login, server_->port());
    }
    void configure(const char *login, int port) {
        QL_Initialize(0);
        // A host of the enhanced interface, as the reader is.
        QL_UseEnhancedInterface();
        configureServer(
            "appl=internal\ncommand=internal\nunpacker=internal\nclass=HttpPostmasterClass\n"
            "login=" +
            std::string(login) + "\npassword=geheim\nurl=127.0.0.1:" + std::to_string(port) +
            "/cgi-bin/query\n");
    }
    // One quiet fetch to its end; the library's notifications reach it as
    // the window's messages would.
    FetchOutcome quietly() {
        QuietFetch fetch(binding_, host_.handle(), 1034);
        if (!fetch.start()) return fetch.outcome();
        EXPECT_TRUE(waitForFetchEnd(30000));
        bool ended = false;
        for (const Notification &n : received()) ended = fetch.notify(n.category, n.code);
        clearReceived();
        EXPECT_TRUE(ended);
        return fetch.outcome();
    }

    LibraryBinding binding_;
    std::string editions_;
    std::unique_ptr<SubscriptionServer> server_;
};

TEST_F(QuietFetchTest, NewThenNothingNewThenRefusedThenDown) {
    writeWholeFile(editions_ + "rundschau.eif",
                   readWholeFile(testDataPath("reader/rundschau-2026-12-07.eif")));
    writeWholeFile(editions_ + "tageblatt.eif",
                   readWholeFile(testDataPath("editions/tageblatt-2026-12-07.eif")));
    serve({{"leser", g_library.clientKey}}, "leser");
    struct Case {
        const char *name;
        std::function<void()> before;
        int exitCode;
        const char *toldUnasked;  // what the reader hears without asking
    } cases[] = {
        {"two new editions", [] {}, 0,
         "Neue Zeitungen: Quillon Rundschau vom 7.12.2026, Quillon Tageblatt vom 7.12.2026."},
        {"nothing new the second time", [] {}, 1, ""},
        {"an unknown subscriber", [&] { configure("fremder", server_->port()); }, 2,
         "Abholen fehlgeschlagen: Der Server lehnte die Verbindung ab. Keine Berechtigung. "
         "N\xE4"
         "chster Versuch um 6:35 Uhr."},
        {"no server on the port",
         [&] {
             int port = server_->port();
             server_->stop();
             configure("leser", port);
         },
         2,
         "Abholen fehlgeschlagen: Bei der Daten\xFC"
         "bertragung trat ein Fehler auf. N\xE4"
         "chster Versuch um 6:35 Uhr."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.before();
        FetchOutcome outcome = quietly();
        EXPECT_EQ(outcomeExitCode(outcome), c.exitCode);
        EXPECT_EQ(outcomeSentence(outcome, false, "6:35", false), c.toldUnasked);
    }
    // Asked, nothing new is told too.
    EXPECT_EQ(outcomeSentence(FetchOutcome(), true, "", false), "Keine neuen Zeitungen.");
}

TEST_F(QuietFetchTest, ARefusedStartIsAFailure) {
    serve({{"leser", g_library.clientKey}}, "leser");
    QL_Initialize(0);
    FetchOutcome outcome = quietly();
    EXPECT_EQ(outcomeExitCode(outcome), 2);
    EXPECT_EQ(outcomeSentence(outcome, false, "", false),
              "Abholen fehlgeschlagen: Das Abholen konnte nicht beginnen (Fehler 6). N\xE4"
              "chster Versuch beim n\xE4"
              "chsten Start von Quillon.");
    EXPECT_TRUE(server_->requests().empty());
}

}  // namespace
