// A fixture for whole fetches: short waits, a shared block of its own, a
// recording host window, and one fetch run to its end at a time.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "test_env.h"

using Seen = std::vector<std::pair<int, int>>;  // (category, code)

extern const std::pair<int, int> kDoResync;

// Status notifications with the given codes.
Seen status(std::initializer_list<int> codes);
// What the host has heard so far.
Seen seenSoFar();
// Only the status notifications (progress left out).
Seen statusOnly(const Seen &seen);
// Only the progress percentages.
std::vector<int> progressOnly(const Seen &seen);

// One of our transfer programs (fake_transfer, fake_postmaster) as a
// setting names it.
std::string tool(const char *name);

// A dial-up service for the tests: each dial records its profile and the
// offline switch under kTestInetKey at that moment and gives handle 42 and
// the preset result; each hang-up records its handle. useTestDialUp()
// empties the record and puts the service in place.
extern const char kTestInetKey[];
struct DialLog {
    std::vector<std::string> profiles;
    std::vector<uint32_t> offlineDuringDial;
    std::vector<uintptr_t> hungUp;
    uint32_t result = 0;
};
extern DialLog g_dial;
void useTestDialUp();

class FetchFixture : public LibraryTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a settings file with one server "VKT": the given lines first
    // (the first occurrence of a key counts), then every weekday and LAN.
    // Other sections may go before it. Initialises the library and
    // registers the host window.
    void configureServer(const std::string &lines, const std::string &sections = std::string());
    // Runs one fetch to its end and gives what the host saw.
    Seen fetch(int force = 0);
    std::string log() const { return readWholeFile(news_ + "qlapi.log"); }

    HostWindow host_;
    std::string news_, shm_;
};
