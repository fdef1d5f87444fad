// The library's configuration: the newspaper folder, the store's limits and
// one record per newspaper server, read at every initialisation from
// qlapi.ini or, for an enhanced host, from the registry.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kMaxServers = 63;  // names beyond these are dropped

// One newspaper server. The record is handed byte for byte to external
// transfer programs, so its layout is fixed (checked below).
struct Serverinfo {
    char appl[512];         // transfer program; "internal" for the library's own
    char command[512];      // its command line, placeholders replaced
    char windowClass[512];  // window class of the transfer program
    char url[512];
    char login[128];
    char password[128];  // only used through $PASSWORD
    char days[128];      // weekdays 0 (Sunday) .. 6, comma-separated
    char path[512];      // working folder, ends in a separator
    char needsmodem[20];
    char unpacker[512];
    char logfile[260];  // only used through $LOGFILE
    char timesync[20];  // "1" or "0"
    int32_t fetchDone;  // kept by the download engine during a fetch
    char comport[128];
    char comspeed[128];
    char initcmd1[128];
    char initcmd2[128];
    char resetcmd[128];
    char answercmd[128];
    char exitcmd[128];
};

static_assert(sizeof(Serverinfo) == 4656, "Serverinfo is shared with transfer programs");
static_assert(offsetof(Serverinfo, appl) == 0);
static_assert(offsetof(Serverinfo, command) == 512);
static_assert(offsetof(Serverinfo, windowClass) == 1024);
static_assert(offsetof(Serverinfo, url) == 1536);
static_assert(offsetof(Serverinfo, login) == 2048);
static_assert(offsetof(Serverinfo, password) == 2176);
static_assert(offsetof(Serverinfo, days) == 2304);
static_assert(offsetof(Serverinfo, path) == 2432);
static_assert(offsetof(Serverinfo, needsmodem) == 2944);
static_assert(offsetof(Serverinfo, unpacker) == 2964);
static_assert(offsetof(Serverinfo, logfile) == 3476);
static_assert(offsetof(Serverinfo, timesync) == 3736);
static_assert(offsetof(Serverinfo, fetchDone) == 3756);
static_assert(offsetof(Serverinfo, comport) == 3760);
static_assert(offsetof(Serverinfo, comspeed) == 3888);
static_assert(offsetof(Serverinfo, initcmd1) == 4016);
static_assert(offsetof(Serverinfo, initcmd2) == 4144);
static_assert(offsetof(Serverinfo, resetcmd) == 4272);
static_assert(offsetof(Serverinfo, answercmd) == 4400);
static_assert(offsetof(Serverinfo, exitcmd) == 4528);

struct LibraryConfig {
    char newspaperDir[260];  // ends in a separator once read
    char dataExtension[128];
    char defaultUnpacker[512];
    char defaultLogfile[260];
    char dialProfile[128];
    int hasDialProfile;
    char ieSettingsKey[512];
    char modemDefaults[7]
                      [128];  // comport, comspeed, initcmd1, initcmd2, resetcmd, answercmd, exitcmd
    int32_t maxPapers;
    int deleteCorrupt;  // on at load; "corrupt=SAVE" turns it off for the process
    char serverList[1024];
    char defaultTimesync[20];
    char *serverNames[kMaxServers + 2];  // into serverList, ended by null
    Serverinfo servers[kMaxServers + 1];
    // Each server's unpacker as written: the record keeps it upper-cased,
    // which names no program on a file system that tells case apart.
    char unpackerPaths[kMaxServers + 1][512];
};

extern LibraryConfig g_config;

// Where the library's registry values live.
extern const char kLibraryKey[];  // "Software\VKT\QLAPI\"

// Fills g_config from the settings file or the registry; false when a
// required setting is missing. Whatever was read stays in the record.
bool readConfiguration();

// Empties the table of server names.
void clearServerNames();

// The number of configured servers (names before the first null).
int serverCount();
int serverCount(const LibraryConfig &config);

// A copy of config whose server names point into the copy's own list.
void copyConfiguration(const LibraryConfig &config, LibraryConfig &to);

// The country code for an edition's language.
int32_t lookupCountryCode(const char *language);

// Appends the path separator to a non-empty text that does not end in one.
// Returns false, changing nothing, when the field of size bytes has no room.
bool appendBackslash(char *text, size_t size);
