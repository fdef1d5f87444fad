// The client key drawn from the account's security identifier.
#include <regex>
#include <string>

#include "config/client_key.h"
#include "core/library_state.h"
#include "test_env.h"

namespace {

platform::UserSid sid(std::initializer_list<uint8_t> authority, std::vector<uint32_t> subs) {
    platform::UserSid s;
    int i = 0;
    for (uint8_t b : authority) s.authority[i++] = b;
    s.subAuthorities = std::move(subs);
    return s;
}

TEST(ClientKey, DropsTheLastSubAuthority) {
    struct Case {
        platform::UserSid sid;
        const char *key;  // null: does not fit
    };
    const Case cases[] = {
        {sid({0, 0, 0, 0, 0, 5}, {21, 1004336348, 1177238915, 682003330, 1001}),
         "S-1-5-21-1004336348-1177238915-682003330"},
        {sid({0, 0, 0, 0, 0, 5}, {18}), "S-1-5"},  // one sub-authority: none shown
        {sid({0, 0, 0, 0, 0, 1}, {}), "S-1-1"},
        {sid({0, 0, 1, 2, 3, 4}, {7, 8}), "S-1-16909060-7"},  // low four bytes, big-endian
        {sid({0, 1, 0, 0, 0, 0xab}, {7, 8}), "S-1-0x0001000000ab-7"},
        {sid({0, 0, 0, 0, 0, 5}, {4294967295u, 4294967295u, 4294967295u, 4294967295u, 4294967295u,
                                  4294967295u, 4294967295u, 1}),
         "S-1-5-4294967295-4294967295-4294967295-4294967295-4294967295-4294967295-4294967295"},
        {sid({0, 0, 0, 0, 0, 5}, {1, 2, 3, 4, 5, 6, 7, 8, 9}), nullptr},  // nine do not fit
    };
    for (const Case &c : cases) {
        char out[kClientKeySize] = {};
        bool ok = formatClientKey(c.sid, out);
        EXPECT_EQ(ok, c.key != nullptr) << (c.key ? c.key : "too long");
        if (ok && c.key) {
            EXPECT_STREQ(out, c.key);
        }
    }
}

TEST(ClientKey, TheAccountOfThisProcessGivesAKey) {
    if (!g_library.clientKey) computeClientKey();
    ASSERT_NE(g_library.clientKey, nullptr);
    std::string key = g_library.clientKey;
    EXPECT_TRUE(std::regex_match(key, std::regex("S-1-[0-9]+(-[0-9]+)*"))) << key;
    EXPECT_LT(key.size(), kClientKeySize);
#ifndef _WIN32
    // A local account: S-1-5-21 and the three numbers of the machine.
    EXPECT_TRUE(std::regex_match(key, std::regex("S-1-5-21-[0-9]+-[0-9]+-[0-9]+"))) << key;
#endif
}

}  // namespace
