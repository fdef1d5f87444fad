#include "download/connection.h"

#include <cstring>
#include <mutex>
#include <string>

#include "core/log.h"
#include "download/knobs.h"
#include "platform/platform.h"

std::atomic<bool> g_dialledConnection{false};

namespace {

std::mutex g_dialLock;  // the watchdog may hang up from its own thread
uintptr_t g_connectionHandle = 0;
knobs::DialUp g_dialUp;

uint32_t dial(const char *profile, uintptr_t &handle) {
    return g_dialUp.dial ? g_dialUp.dial(profile, handle)
                         : platform::dialConnection(profile, handle);
}

void hangUp(uintptr_t handle) {
    if (g_dialUp.hangUp)
        g_dialUp.hangUp(handle);
    else
        platform::hangUpConnection(handle);
}

void unsetProxyVariables() {
    platform::removeEnvironmentVariable("http_proxy");
    platform::removeEnvironmentVariable("ftp_proxy");
}

// For protocol "http": "http_proxy=" + the item after "http=", cut at its ";".
void setProxyItem(const std::string &servers, const std::string &protocol) {
    std::string item = protocol + "=", variable = protocol + "_proxy";
    size_t at = servers.find(item);
    if (at == std::string::npos) {
        writeLog("%s proxy not set in Windows config. unsetting %s now.\n", protocol.c_str(),
                 variable.c_str());
        platform::removeEnvironmentVariable(variable.c_str());
        return;
    }
    std::string entry = variable + "=" + servers.substr(at + item.size());
    entry = entry.substr(0, entry.find(';'));
    writeLog("Setting Proxy: %s\n", entry.c_str());
    platform::setEnvironmentEntry(entry.c_str());
}

void prepareLan(const char *key) {
    writeLog("We seem to run on a LAN connection (at least NEEDSMODEM==0).\n");
    writeLog("  inspecting Proxy Settings:\n");
    int64_t enabled = -1;
    platform::RegValue value;
    if (platform::regReadValue(key, "ProxyEnable", value) &&
        value.type == platform::RegType::number)
        enabled = value.number;
    writeLog("ProxyEnable in Registry ist set to: %d\n", static_cast<int>(enabled));
    if (enabled == -1) {
        writeLog("Something strange happened to ProxyEnable in the Registry: Value is still -1\n");
        writeLog("unsetting the Proxy environment vars! (http_proxy and ftp_proxy)\n");
        unsetProxyVariables();
        return;
    }
    if (enabled == 0) {
        writeLog("ProxyDisabled in Regestry: unsetting http_proxy and ftp_proxy\n.");
        unsetProxyVariables();
        return;
    }
    std::string servers;
    if (platform::regReadValue(key, "ProxyServer", value) && value.type == platform::RegType::text)
        servers = value.text.substr(0, 2047);
    writeLog("ProxyServer from Registry: %s\n", servers.c_str());
    if (servers.find('=') != std::string::npos) {
        setProxyItem(servers, "http");
        setProxyItem(servers, "ftp");
        return;
    }
    for (const char *variable : {"http_proxy=", "ftp_proxy="}) {
        std::string entry = variable + servers;
        platform::setEnvironmentEntry(entry.c_str());
        writeLog("Proxy: setting %s\n", entry.c_str());
    }
}

struct DialFailure {
    uint32_t systemError;
    const char *log;
    int status;
};
const DialFailure kDialFailures[] = {
    {676, "Dialuperror: PHONE BUSY\n", QL_STATUS_PHONEBUSY},
    {678, "Dialuperror: NOANSER/NOCARRIER/NOPICKUP\n", QL_STATUS_NOPICKUP},
    {679, "Dialuperror: NOANSER/NOCARRIER/NOPICKUP\n", QL_STATUS_NOPICKUP},
    {691, "Dialuperror: Provider says: Bad authentication\n", QL_STATUS_ACCESSDENIED},
    {692, "Dialuperror: NO_MODEM or misconfigured MODEM\n", QL_STATUS_NOMODEM},
    {797, "Dialuperror: NO_MODEM or misconfigured MODEM\n", QL_STATUS_NOMODEM},
};

int prepareDialUp(Fetch &fetch) {
    writeLog("We need dialup networking! No Leased line configured!\n");
    if (g_dialledConnection.load()) return 0;
    writeLog("Connection is currently down!\n");
    const char *key = fetch.config.ieSettingsKey;
    writeLog("checking offline/online setting of IE\n");
    if (!platform::regKeyExists(key)) {
        writeLog("registry path is invalid! set registry= in section [INET] of qlapi.ini\n");
        fetch.savedOfflineValue = -1;
    } else {
        writeLog("Registrypath is valid: %s\n", key);
        platform::RegValue value;
        if (platform::regReadValue(key, "GlobalUserOffline", value) &&
            value.type == platform::RegType::number && value.number != 0) {
            writeLog("Registry setting says: offline! changing to online!\n");
            fetch.savedOfflineValue = value.number;
            fetch.savedOfflineKey = key;
            platform::regWriteNumber(key, "GlobalUserOffline", 0);
        } else {
            writeLog("Registry setting says: online! that's ok!\n");
            fetch.savedOfflineValue = -1;
        }
    }
    writeLog("Dialing inetprofile %s\n", fetch.config.dialProfile);
    uintptr_t handle = 0;
    uint32_t result = dial(fetch.config.dialProfile, handle);
    if (result == 0) {
        writeLog("Connection established\n");
        std::lock_guard<std::mutex> hold(g_dialLock);
        g_connectionHandle = handle;
        g_dialledConnection.store(true);
        return 0;
    }
    writeLog("Connecting impossible!\n");
    const char *line = "Dialuperror: unspecified error\n";
    int status = QL_STATUS_ERROR;
    for (const DialFailure &f : kDialFailures) {
        if (f.systemError != result) continue;
        line = f.log;
        status = f.status;
    }
    writeLog(line);
    writeLog("Sending errorcode to Tarnby!\n");
    notifyFromFetch(fetch, QL_NOTIFY_STATUS, status);
    return status;
}

}  // namespace

bool needsDialUp(const Serverinfo &server) {
    return strcmp(server.needsmodem, "1") == 0 || strcmp(server.needsmodem, "TRUE") == 0;
}

int prepareConnection(Fetch &fetch, const Serverinfo &server) {
    if (needsDialUp(server)) return prepareDialUp(fetch);
    prepareLan(fetch.config.ieSettingsKey);
    return 0;
}

void restoreOfflineSetting(Fetch &fetch) {
    if (fetch.savedOfflineValue == -1) return;
    writeLog("restoring original value to IE offline setting\n");
    platform::regWriteNumber(fetch.savedOfflineKey.c_str(), "GlobalUserOffline",
                             static_cast<uint32_t>(fetch.savedOfflineValue));
    fetch.savedOfflineValue = -1;
}

void hangUpDialledConnection() {
    std::lock_guard<std::mutex> hold(g_dialLock);
    if (!g_dialledConnection.load()) return;
    hangUp(g_connectionHandle);
    g_connectionHandle = 0;
    g_dialledConnection.store(false);
}

void knobs::setDialUp(const DialUp &dialUp) { g_dialUp = dialUp; }
