// Reading the configuration from qlapi.ini or from the registry.
#include "config/configuration.h"

#include <cstring>
#include <string>
#include <utility>

#include "core/library_state.h"
#include "core/log.h"
#include "core/text_util.h"
#include "platform/platform.h"

static_assert(sizeof(LibraryConfig::newspaperDir) <= kLogFolderSize,
              "the log takes the whole folder");

LibraryConfig g_config = [] {
    LibraryConfig c{};
    c.deleteCorrupt = 1;
    return c;
}();

const char kLibraryKey[] = "Software\\VKT\\QLAPI\\";

static const char kDefaultIeSettingsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\";
static const char *const kModemKeys[7] = {"comport",  "comspeed",  "initcmd1", "initcmd2",
                                          "resetcmd", "answercmd", "exitcmd"};
static char (Serverinfo::*const kModemFields[7])[128] = {
    &Serverinfo::comport,  &Serverinfo::comspeed,  &Serverinfo::initcmd1, &Serverinfo::initcmd2,
    &Serverinfo::resetcmd, &Serverinfo::answercmd, &Serverinfo::exitcmd};

// Profile values longer than any field; a longer one is cut anyway.
static constexpr size_t kReadBuffer = 4096;

namespace {

// Copies a value into its field. A value that does not fit is cut to the
// field and the cut is logged, so it never runs past the field.
void storeValue(char *field, size_t size, const char *value, const char *section, const char *key) {
    if (!copyField(field, size, value))
        writeLog("Setting %s in [%s] is longer than %d characters and was cut\n", key, section,
                 static_cast<int>(size - 1));
}

void readValue(const char *section, const char *key, const char *def, char *field, size_t size) {
    char value[kReadBuffer];
    platform::profileGetString(section, key, def, value, sizeof value);
    storeValue(field, size, value, section, key);
}

// A folder gets its separator appended; one that does not fit its field
// together with that separator would name another folder, so it is refused.
bool storeFolder(char *field, size_t size, const char *value, const char *section,
                 const char *key) {
    if (!copyField(field, size, value) || !appendBackslash(field, size)) {
        field[0] = '\0';
        writeLog("Folder %s in [%s] is too long\n", key, section);
        return false;
    }
    return true;
}

bool readFolder(const char *section, const char *key, const char *def, char *field, size_t size) {
    char value[kReadBuffer];
    platform::profileGetString(section, key, def, value, sizeof value);
    return storeFolder(field, size, value, section, key);
}

// "1" stays "1"; everything else becomes "0".
void normaliseTimesync(char *value) {
    if (strcmp(value, "TRUE") == 0) strcpy(value, "1");
    if (strcmp(value, "FALSE") == 0) strcpy(value, "0");
    if (strcmp(value, "1") != 0) strcpy(value, "0");
}

// Replaces $LOGFILE, $URL, $LOGIN and $PASSWORD in the server's command. A
// "$" that begins none of them stays a "$".
void replacePlaceholders(Serverinfo &s, const char *serverName) {
    if (!strchr(s.command, '$')) return;
    const std::pair<const char *, const char *> placeholders[] = {
        {"$LOGFILE", s.logfile}, {"$URL", s.url}, {"$LOGIN", s.login}, {"$PASSWORD", s.password}};
    std::string out;
    for (const char *p = s.command; *p;) {
        bool replaced = false;
        if (*p == '$') {
            for (const auto &[name, value] : placeholders) {
                size_t len = strlen(name);
                if (strncmp(p, name, len) == 0) {
                    out += value;
                    p += len;
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out += *p++;
    }
    if (!copyField(s.command, out.c_str()))
        writeLog("Command of %s is longer than %d characters and was cut\n", serverName,
                 static_cast<int>(sizeof s.command - 1));
}

bool readServer(int index) {
    const char *name = g_config.serverNames[index];
    Serverinfo &s = g_config.servers[index];
    auto read = [name](const char *key, const char *def, char *field, size_t size) {
        readValue(name, key, def, field, size);
    };
    read("appl", "", s.appl, sizeof s.appl);
    if (!s.appl[0]) return false;
    read("command", "", s.command, sizeof s.command);
    read("url", "", s.url, sizeof s.url);
    if (!s.url[0]) return false;
    read("login", "", s.login, sizeof s.login);
    if (!s.login[0]) return false;
    read("password", "", s.password, sizeof s.password);
    if (!s.password[0]) return false;
    if (!readFolder(name, "path", g_config.newspaperDir, s.path, sizeof s.path)) return false;
    read("unpacker", g_config.defaultUnpacker, s.unpacker, sizeof s.unpacker);
    read("days", "1,2,3,4,5", s.days, sizeof s.days);
    read("logfile", g_config.defaultLogfile, s.logfile, sizeof s.logfile);
    read("timesync", g_config.defaultTimesync, s.timesync, sizeof s.timesync);
    normaliseTimesync(s.timesync);
    copyField(g_config.unpackerPaths[index], s.unpacker);
    upperCase(s.unpacker);
    read("class", "", s.windowClass, sizeof s.windowClass);
    if (!s.windowClass[0]) return false;
    for (int i = 0; i < 7; ++i)
        read(kModemKeys[i], g_config.modemDefaults[i], s.*kModemFields[i], 128);
    read("needsmodem", "1", s.needsmodem, sizeof s.needsmodem);
    upperCase(s.needsmodem);
    replacePlaceholders(s, name);
    return true;
}

// Splits serverList in place at its commas. Names are not trimmed; a comma
// at the very end gives no further name.
void splitServerList() {
    int count = 0;
    char *p = g_config.serverList;
    g_config.serverNames[count++] = p;
    for (; *p; ++p) {
        if (*p != ',') continue;
        *p = '\0';
        if (p[1] && count < kMaxServers) g_config.serverNames[count++] = p + 1;
    }
    g_config.serverNames[count] = nullptr;
}

// A stable bubble sort by window class, so that servers with the same
// transfer program are handled one after the other.
void sortServers() {
    int n = serverCount();
    for (int pass = 0; pass < n; ++pass) {
        for (int i = 0; i + 1 < n - pass; ++i) {
            if (compareNoCase(g_config.servers[i].windowClass,
                              g_config.servers[i + 1].windowClass) > 0) {
                std::swap(g_config.servers[i], g_config.servers[i + 1]);
                std::swap(g_config.serverNames[i], g_config.serverNames[i + 1]);
                std::swap(g_config.unpackerPaths[i], g_config.unpackerPaths[i + 1]);
            }
        }
    }
}

bool readSettingsFile() {
    LibraryConfig &c = g_config;
    char value[kReadBuffer];
    platform::profileGetString("FILES", "PATH", "", value, sizeof value);
    bool folder =
        value[0] && storeFolder(c.newspaperDir, sizeof c.newspaperDir, value, "FILES", "PATH");
    setLogFolder(c.newspaperDir);
    if (!folder) return false;
    readValue("FILES", "extension", ".eif", c.dataExtension, sizeof c.dataExtension);
    // Data files with the header files' extension would each be overwritten
    // by its own header.
    if (compareNoCase(c.dataExtension + (c.dataExtension[0] == '.'), "ehd") == 0) {
        writeLog("Setting extension in [FILES] is the header files' extension \"%s\"\n",
                 c.dataExtension);
        return false;
    }
    readValue("PROGRAMS", "unpacker", "", c.defaultUnpacker, sizeof c.defaultUnpacker);
    readValue("FILES", "logfile", "", c.defaultLogfile, sizeof c.defaultLogfile);
    readValue("INET", "Profile", "", c.dialProfile, sizeof c.dialProfile);
    c.hasDialProfile = c.dialProfile[0] != '\0';
    readValue("INET", "Registry", kDefaultIeSettingsKey, c.ieSettingsKey, sizeof c.ieSettingsKey);
    for (int i = 0; i < 7; ++i) readValue("MODEM", kModemKeys[i], "", c.modemDefaults[i], 128);

    platform::profileGetString("NEWSPAPERS", "maxpapers", "10", value, sizeof value);
    int32_t maxPapers = parseLeadingInt(value);
    c.maxPapers = maxPapers < 1 ? 1 : maxPapers > 255 ? 255 : maxPapers;

    char corrupt[128];
    platform::profileGetString("NEWSPAPERS", "corrupt", "DELETE", corrupt, sizeof corrupt);
    upperCase(corrupt);
    if (strcmp(corrupt, "SAVE") == 0) c.deleteCorrupt = 0;

    readValue("CONNECTIONS", "Server", "", c.serverList, sizeof c.serverList);
    if (!c.serverList[0]) return false;
    upperCase(c.serverList);
    readValue("CONNECTIONS", "timesync", "0", c.defaultTimesync, sizeof c.defaultTimesync);
    upperCase(c.defaultTimesync);
    normaliseTimesync(c.defaultTimesync);

    splitServerList();
    int n = serverCount();
    for (int i = 0; i < n; ++i)
        if (!readServer(i)) return false;
    sortServers();
    if (c.maxPapers < n) c.maxPapers = n;
    return true;
}

// A registry text value; values of another type read as empty.
std::string registryText(const char *name) {
    platform::RegValue v;
    if (platform::regReadValue(kLibraryKey, name, v) && v.type == platform::RegType::text)
        return v.text;
    return std::string();
}

// A registry number; a text value counts by its leading digits. False when
// absent or of another type.
bool registryNumber(const char *name, int64_t &out) {
    platform::RegValue v;
    if (!platform::regReadValue(kLibraryKey, name, v)) return false;
    if (v.type == platform::RegType::number) {
        out = v.number;
        return true;
    }
    if (v.type == platform::RegType::text) {
        out = parseLeadingInt(v.text.c_str());
        return true;
    }
    return false;
}

// The registry describes exactly one server, fetched by the library itself.
bool readRegistry() {
    LibraryConfig &c = g_config;
    Serverinfo &s = c.servers[0];
    storeValue(s.login, sizeof s.login, registryText("Login").c_str(), "registry", "Login");
    storeValue(s.url, sizeof s.url, registryText("URL").c_str(), "registry", "URL");
    // The folder must fit newspaperDir too, the smaller of its two fields.
    std::string path = registryText("PATH");
    bool folder =
        storeFolder(c.newspaperDir, sizeof c.newspaperDir, path.c_str(), "registry", "PATH");
    setLogFolder(c.newspaperDir);
    if (!folder) return false;
    copyField(s.path, c.newspaperDir);
    // A signed 32-bit number, unclamped: 0 (or none) keeps 10, and one below
    // 1 (a negative value, or a number of 2^31 and above) keeps every edition.
    int64_t maxPapers = 0;
    if (!registryNumber("maxpapers", maxPapers)) maxPapers = 0;
    c.maxPapers = static_cast<int32_t>(static_cast<uint32_t>(maxPapers));
    if (c.maxPapers == 0) c.maxPapers = 10;

    copyField(c.dataExtension, ".eif");
    copyField(s.appl, "internal");
    copyField(s.command, "internal");
    copyField(s.unpacker, "internal");
    copyField(c.unpackerPaths[0], "internal");
    copyField(s.days, "0,1,2,3,4,5,6,7");
    copyField(s.windowClass, "HttpPostmasterClass");
    copyField(s.needsmodem, "0");
    copyField(s.logfile, "qlapi.log");
    copyField(s.password, "qzx");  // required of every server, used by none here
    copyField(c.ieSettingsKey, kDefaultIeSettingsKey);
    copyField(c.serverList, "VKT");
    c.serverNames[0] = c.serverList;
    c.serverNames[1] = nullptr;
    c.dialProfile[0] = '\0';
    c.hasDialProfile = 0;
    return true;
}

bool methodIsPhp() { return compareNoCase(registryText("Method").c_str(), "PHP") == 0; }

}  // namespace

bool readConfiguration() {
    if (g_library.enhancedInterface.load() && platform::regKeyExists(kLibraryKey) && methodIsPhp())
        return readRegistry();
    return readSettingsFile();
}

void clearServerNames() {
    for (char *&name : g_config.serverNames) name = nullptr;
}

int serverCount(const LibraryConfig &config) {
    int n = 0;
    while (n <= kMaxServers && config.serverNames[n]) ++n;
    return n;
}

int serverCount() { return serverCount(g_config); }

void copyConfiguration(const LibraryConfig &config, LibraryConfig &to) {
    to = config;
    for (char *&name : to.serverNames)
        if (name) name = to.serverList + (name - config.serverList);
}

int32_t lookupCountryCode(const char *language) {
    if (g_library.enhancedInterface.load() && platform::regKeyExists(kLibraryKey)) {
        if (!methodIsPhp()) return 49;
        int64_t code = 0;
        return registryNumber("CountryCode", code) ? static_cast<int32_t>(code) : 49;
    }
    if (!language || !*language) return 0;
    char value[64];
    platform::profileGetString("COUNTRIES", language, "0", value, sizeof value);
    return parseLeadingInt(value);
}

bool appendBackslash(char *text, size_t size) {
    size_t len = strlen(text);
    if (len == 0 || text[len - 1] == platform::kPathSeparator) return true;
    if (len + 2 > size) return false;
    text[len] = platform::kPathSeparator;
    text[len + 1] = '\0';
    return true;
}
