// The connection set-up: proxy settings copied into the environment, and
// dial-up with the offline switch, through a stand-in dial-up service.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "core/text_util.h"
#include "download/connection.h"
#include "download/knobs.h"
#include "fetch_env.h"
#include "platform/platform.h"

namespace {

std::string variable(const char *name) {
    std::string value;
    return platform::environmentVariable(name, value) ? value : "(unset)";
}

class ConnectionTest : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        writeMinimalSettings(makeFolder("news"), "[INET]\nRegistry=" + std::string(kTestInetKey) +
                                                     "\nProfile=Provider\n");
        ASSERT_EQ(QL_Initialize(1), QL_OK);
        ASSERT_EQ(QL_RegisterCallback(host_.handle(), 1034), 1);
        fetch_ = std::make_unique<Fetch>(0);  // with the settings just read
        useTestDialUp();
        clearReceived();
    }
    void TearDown() override {
        hangUpDialledConnection();
        knobs::setDialUp({});
        platform::removeEnvironmentVariable("http_proxy");
        platform::removeEnvironmentVariable("ftp_proxy");
        LibraryTest::TearDown();
    }
    int prepare(const char *needsmodem) {
        Serverinfo server{};
        copyField(server.needsmodem, needsmodem);
        return prepareConnection(*fetch_, server);
    }
    // Every line appears in the library's log.
    void expectLogged(std::initializer_list<const char *> lines) {
        std::string log = readWholeFile(dir() + "news" + platform::kPathSeparator + "qlapi.log");
        for (const char *line : lines) EXPECT_NE(log.find(line), std::string::npos) << line;
    }
    std::unique_ptr<Fetch> fetch_;
    HostWindow host_;
};

TEST_F(ConnectionTest, ProxySettingsBecomeEnvironment) {
    struct Case {
        const char *what;
        int enable;  // -1: no value
        const char *servers;
        const char *http, *ftp;
    };
    const Case cases[] = {
        {"no ProxyEnable", -1, "p.example:3128", "(unset)", "(unset)"},
        {"disabled", 0, "p.example:3128", "(unset)", "(unset)"},
        {"one proxy for all", 1, "p.example:3128", "p.example:3128", "p.example:3128"},
        {"ftp item first", 1, "ftp=f.example:21;http=h.example:80;https=s.example:443",
         "h.example:80", "f.example:21"},
        {"only http", 7, "http=h.example:8080", "h.example:8080", "(unset)"},
        {"only a secure item", 1, "https=s.example:443", "(unset)", "(unset)"},
    };
    for (const Case &c : cases) {
        platform::regDeleteTree(kTestInetKey);
        if (c.enable >= 0) platform::regWriteNumber(kTestInetKey, "ProxyEnable", c.enable);
        platform::regWriteText(kTestInetKey, "ProxyServer", c.servers);
        platform::setEnvironmentEntry("http_proxy=stale:1");
        platform::setEnvironmentEntry("ftp_proxy=stale:2");
        for (const char *lan : {"0", "FALSE", "YES", ""}) {
            EXPECT_EQ(prepare(lan), 0);
            EXPECT_EQ(variable("http_proxy"), c.http) << c.what << ", needsmodem " << lan;
            EXPECT_EQ(variable("ftp_proxy"), c.ftp) << c.what << ", needsmodem " << lan;
        }
    }
    EXPECT_TRUE(g_dial.profiles.empty()) << "a LAN never dials";
    EXPECT_TRUE(received().empty());
    expectLogged({
        "\tWe seem to run on a LAN connection (at least NEEDSMODEM==0).",
        "\tProxyEnable in Registry ist set to: -1",
        "\tSomething strange happened to ProxyEnable in the Registry: Value is still -1",
        "\tProxyDisabled in Regestry: unsetting http_proxy and ftp_proxy",
        "\tProxyServer from Registry: ftp=f.example:21;http=h.example:80;https=s.example:443",
        "\tSetting Proxy: http_proxy=h.example:80",
        "\tSetting Proxy: ftp_proxy=f.example:21",
        "\tftp proxy not set in Windows config. unsetting ftp_proxy now.",
        "\thttp proxy not set in Windows config. unsetting http_proxy now.",
        "\tProxy: setting ftp_proxy=p.example:3128",
    });
}

TEST_F(ConnectionTest, DialUpTurnsTheOfflineSwitchForTheServer) {
    platform::regWriteNumber(kTestInetKey, "GlobalUserOffline", 1);
    EXPECT_EQ(prepare("TRUE"), 0);
    EXPECT_EQ(g_dial.profiles, std::vector<std::string>{"Provider"});
    EXPECT_EQ(g_dial.offlineDuringDial, std::vector<uint32_t>{0});
    EXPECT_TRUE(g_dialledConnection.load());

    // The next server finds the connection up: no dial, the switch untouched.
    EXPECT_EQ(prepare("1"), 0);
    EXPECT_EQ(g_dial.profiles.size(), 1u);
    platform::RegValue v;
    ASSERT_TRUE(platform::regReadValue(kTestInetKey, "GlobalUserOffline", v));
    EXPECT_EQ(v.number, 0u) << "restored only at the end of the server";
    restoreOfflineSetting(*fetch_);
    ASSERT_TRUE(platform::regReadValue(kTestInetKey, "GlobalUserOffline", v));
    EXPECT_EQ(v.number, 1u);
    restoreOfflineSetting(*fetch_);  // nothing more to restore
    ASSERT_TRUE(platform::regReadValue(kTestInetKey, "GlobalUserOffline", v));
    EXPECT_EQ(v.number, 1u);

    hangUpDialledConnection();
    hangUpDialledConnection();
    EXPECT_EQ(g_dial.hungUp, std::vector<uintptr_t>{42});
    EXPECT_FALSE(g_dialledConnection.load());

    // Online already, or no settings key at all: nothing is saved, the dial
    // still happens.
    platform::regWriteNumber(kTestInetKey, "GlobalUserOffline", 0);
    EXPECT_EQ(prepare("1"), 0);
    hangUpDialledConnection();
    platform::regDeleteTree(kTestInetKey);
    EXPECT_EQ(prepare("1"), 0);
    restoreOfflineSetting(*fetch_);
    EXPECT_FALSE(platform::regKeyExists(kTestInetKey));
    EXPECT_EQ(g_dial.profiles.size(), 3u);
    EXPECT_TRUE(received().empty());
}

TEST_F(ConnectionTest, DialFailuresAreTold) {
    const std::pair<uint32_t, int> cases[] = {
        {676, QL_STATUS_PHONEBUSY},    {678, QL_STATUS_NOPICKUP}, {679, QL_STATUS_NOPICKUP},
        {691, QL_STATUS_ACCESSDENIED}, {692, QL_STATUS_NOMODEM},  {797, QL_STATUS_NOMODEM},
        {600, QL_STATUS_ERROR},
    };
    for (const auto &[systemError, status] : cases) {
        platform::regWriteNumber(kTestInetKey, "GlobalUserOffline", 1);
        clearReceived();
        g_dial.result = systemError;
        EXPECT_EQ(prepare("1"), status) << systemError;
        EXPECT_FALSE(g_dialledConnection.load());
        std::vector<Notification> seen = received();
        ASSERT_EQ(seen.size(), 1u) << systemError;
        EXPECT_EQ(seen[0].category, uintptr_t(QL_NOTIFY_STATUS));
        EXPECT_EQ(seen[0].code, status) << systemError;
        restoreOfflineSetting(*fetch_);
        platform::RegValue v;
        ASSERT_TRUE(platform::regReadValue(kTestInetKey, "GlobalUserOffline", v));
        EXPECT_EQ(v.number, 1u) << "a failed dial still gets its switch back";
    }
    expectLogged({
        "\tWe need dialup networking! No Leased line configured!",
        "\tRegistry setting says: offline! changing to online!",
        "\tDialing inetprofile Provider",
        "\tConnecting impossible!",
        "\tDialuperror: PHONE BUSY",
        "\tDialuperror: NOANSER/NOCARRIER/NOPICKUP",
        "\tDialuperror: Provider says: Bad authentication",
        "\tDialuperror: NO_MODEM or misconfigured MODEM",
        "\tDialuperror: unspecified error",
        "\tSending errorcode to Tarnby!",
        "\trestoring original value to IE offline setting",
    });
}

}  // namespace
