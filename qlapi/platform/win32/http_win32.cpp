// The HTTP client, dial-up and environment on Windows: WinInet with the
// system's preconfigured Internet settings.
#include <windows.h>
#include <wininet.h>

#include <cstdlib>
#include <string>

#include "platform/knobs.h"
#include "platform/platform.h"

namespace platform {

struct HttpSession {
    HINTERNET internet = nullptr;
};

struct HttpRequest {
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
};

static std::string lastErrorText(const char *what) {
    return std::string(what) + " failed with error " + std::to_string(GetLastError());
}

// A server that goes quiet fails the transfer instead of holding it.
static void setIdleLimit(HINTERNET handle) {
    DWORD limit = knobs::httpIdleLimit();
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT})
        InternetSetOptionA(handle, option, &limit, sizeof limit);
}

HttpSession *httpOpenSession(const char *userAgent) {
    auto *session = new HttpSession;
    session->internet = InternetOpenA(userAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (session->internet) setIdleLimit(session->internet);
    return session;
}

void httpCloseSession(HttpSession *session) {
    if (!session) return;
    if (session->internet) InternetCloseHandle(session->internet);
    delete session;
}

HttpRequest *httpSendRequest(HttpSession *session, const char *host, unsigned port,
                             const char *object, std::string &error) {
    if (!session->internet) {
        error = "no Internet session";
        return nullptr;
    }
    auto *r = new HttpRequest;
    r->connection = InternetConnectA(session->internet, host, static_cast<INTERNET_PORT>(port),
                                     nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (!r->connection) {
        error = lastErrorText("InternetConnect");
        httpCloseRequest(r);
        return nullptr;
    }
    r->request = HttpOpenRequestA(r->connection, "GET", object, nullptr, nullptr, nullptr,
                                  INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    if (!r->request) {
        error = lastErrorText("HttpOpenRequest");
        httpCloseRequest(r);
        return nullptr;
    }
    setIdleLimit(r->request);
    // Proxies on the way must not answer from their caches either.
    HttpAddRequestHeadersA(r->request, "Pragma: no-cache\r\nCache-Control: no-cache\r\n",
                           static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD);
    if (!HttpSendRequestA(r->request, nullptr, 0, nullptr, 0)) {
        error = lastErrorText("HttpSendRequest");
        httpCloseRequest(r);
        return nullptr;
    }
    return r;
}

bool httpResendRequest(HttpRequest *r, std::string &error) {
    // The answer that asked for credentials is read to its end first, so
    // that the connection can carry the next one.
    char discard[4096];
    DWORD n = 0;
    while (InternetReadFile(r->request, discard, sizeof discard, &n) && n) {
    }
    if (HttpSendRequestA(r->request, nullptr, 0, nullptr, 0)) return true;
    error = lastErrorText("HttpSendRequest");
    return false;
}

int httpStatus(HttpRequest *r) {
    DWORD status = 0, size = sizeof status;
    if (!HttpQueryInfoA(r->request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr))
        return 0;
    return static_cast<int>(status);
}

void httpProxyAuthDialog(HttpRequest *r, QL_HostWindow owner) {
    HWND parent = owner ? owner : GetDesktopWindow();
    InternetErrorDlg(parent, r->request, ERROR_INTERNET_INCORRECT_PASSWORD,
                     FLAGS_ERROR_UI_FLAGS_GENERATE_DATA | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS,
                     nullptr);
}

long httpRead(HttpRequest *r, void *buffer, size_t size, HttpStop stop, void *context) {
    char *out = static_cast<char *>(buffer);
    size_t got = 0;
    while (got < size) {
        if (stop && stop(context)) break;
        DWORD n = 0;
        if (!InternetReadFile(r->request, out + got, static_cast<DWORD>(size - got), &n))
            return got ? static_cast<long>(got) : -1;
        if (n == 0) break;
        got += n;
    }
    return static_cast<long>(got);
}

void httpCloseRequest(HttpRequest *r) {
    if (!r) return;
    if (r->request) InternetCloseHandle(r->request);
    if (r->connection) InternetCloseHandle(r->connection);
    delete r;
}

uint32_t dialConnection(const char *profile, uintptr_t &handle) {
    DWORD_PTR connection = 0;
    DWORD result =
        InternetDialA(nullptr, const_cast<char *>(profile && *profile ? profile : nullptr),
                      INTERNET_AUTODIAL_FORCE_UNATTENDED, &connection, 0);
    handle = static_cast<uintptr_t>(connection);
    return result;
}

void hangUpConnection(uintptr_t handle) { InternetHangUp(static_cast<DWORD_PTR>(handle), 0); }

bool setEnvironmentEntry(const char *entry) { return _putenv(entry) == 0; }

void removeEnvironmentVariable(const char *name) { _putenv((std::string(name) + "=").c_str()); }

bool environmentVariable(const char *name, std::string &out) {
    const char *value = getenv(name);
    if (!value) return false;
    out = value;
    return true;
}

int runProgramAndWait(const std::string &file) {
    // cmd /c takes off the outer pair of quotes and keeps the inner one
    // around the file name, whatever characters the name holds.
    _flushall();
    return system(("\"\"" + file + "\"\"").c_str());
}

}  // namespace platform
