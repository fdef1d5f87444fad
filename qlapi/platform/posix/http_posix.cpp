// The HTTP client on POSIX systems: libcurl, driven by the reader. The
// body flows straight into the reader's buffer while a read is waiting;
// what arrives beyond it waits in a small overflow store.
#include <curl/curl.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/knobs.h"
#include "platform/platform.h"

namespace platform {

struct HttpSession {
    std::string userAgent;
};

struct HttpRequest {
    CURL *easy = nullptr;
    CURLM *multi = nullptr;
    curl_slist *headers = nullptr;
    std::string url;
    std::string proxy;

    bool attached = false;  // the easy handle is in the multi handle
    bool headersDone = false;
    bool done = false;
    CURLcode result = CURLE_OK;
    int status = 0;

    char *target = nullptr;  // the waiting read's buffer and its room
    size_t room = 0;
    std::string overflow;
    size_t overflowStart = 0;
    std::chrono::steady_clock::time_point lastActivity;
};

static std::once_flag g_curlInit;

HttpSession *httpOpenSession(const char *userAgent) {
    std::call_once(g_curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    return new HttpSession{userAgent};
}

void httpCloseSession(HttpSession *session) { delete session; }

static size_t onHeader(char *data, size_t, size_t size, void *user) {
    auto *r = static_cast<HttpRequest *>(user);
    r->lastActivity = std::chrono::steady_clock::now();
    // The blank line after the headers of a final answer; a "100 Continue"
    // is followed by the real one.
    if (size <= 2 && (size == 0 || data[0] == '\r' || data[0] == '\n')) {
        long code = 0;
        curl_easy_getinfo(r->easy, CURLINFO_RESPONSE_CODE, &code);
        if (code >= 200) {
            r->status = static_cast<int>(code);
            r->headersDone = true;
        }
    }
    return size;
}

static size_t onBody(char *data, size_t, size_t size, void *user) {
    auto *r = static_cast<HttpRequest *>(user);
    r->lastActivity = std::chrono::steady_clock::now();
    size_t direct = size < r->room ? size : r->room;
    if (direct) {
        memcpy(r->target, data, direct);
        r->target += direct;
        r->room -= direct;
    }
    if (direct < size) r->overflow.append(data + direct, size - direct);
    return size;
}

static void startTransfer(HttpRequest *r) {
    r->headersDone = r->done = false;
    r->result = CURLE_OK;
    r->status = 0;
    r->overflow.clear();
    r->overflowStart = 0;
    r->lastActivity = std::chrono::steady_clock::now();
    curl_multi_add_handle(r->multi, r->easy);
    r->attached = true;
}

// Lets curl work for a moment: up to waitMs for something to happen.
static void drive(HttpRequest *r, int waitMs) {
    int running = 0;
    curl_multi_perform(r->multi, &running);
    int queued = 0;
    while (CURLMsg *msg = curl_multi_info_read(r->multi, &queued)) {
        if (msg->msg != CURLMSG_DONE) continue;
        r->done = true;
        r->result = msg->data.result;
        if (!r->headersDone && r->result == CURLE_OK) {
            long code = 0;
            curl_easy_getinfo(r->easy, CURLINFO_RESPONSE_CODE, &code);
            r->status = static_cast<int>(code);
            r->headersDone = true;
        }
    }
    if (!r->done && running && waitMs > 0) curl_multi_poll(r->multi, nullptr, 0, waitMs, nullptr);
}

static bool idleTooLong(const HttpRequest *r) {
    auto quiet = std::chrono::steady_clock::now() - r->lastActivity;
    return quiet > std::chrono::milliseconds(knobs::httpIdleLimit());
}

// Drives the transfer until the answer's headers are in; false when the
// connection failed first.
static bool awaitHeaders(HttpRequest *r, std::string &error) {
    while (!r->headersDone && !r->done) {
        if (idleTooLong(r)) {
            error = "the server did not answer";
            return false;
        }
        drive(r, 50);
    }
    if (r->headersDone) return true;
    error = curl_easy_strerror(r->result);
    return false;
}

HttpRequest *httpSendRequest(HttpSession *session, const char *host, unsigned port,
                             const char *object, std::string &error) {
    auto *r = new HttpRequest;
    r->easy = curl_easy_init();
    r->multi = curl_multi_init();
    if (!r->easy || !r->multi) {
        error = "the HTTP client could not be set up";
        httpCloseRequest(r);
        return nullptr;
    }
    r->url = "http://" + std::string(host) + ":" + std::to_string(port) + object;
    // The proxy is exactly what the connection set-up put into http_proxy;
    // without one, curl must not pick another from elsewhere.
    if (const char *proxy = getenv("http_proxy")) r->proxy = proxy;
    r->headers = curl_slist_append(r->headers, "Cache-Control: no-cache");
    r->headers = curl_slist_append(r->headers, "Pragma: no-cache");
    curl_easy_setopt(r->easy, CURLOPT_URL, r->url.c_str());
    curl_easy_setopt(r->easy, CURLOPT_USERAGENT, session->userAgent.c_str());
    curl_easy_setopt(r->easy, CURLOPT_HTTPHEADER, r->headers);
    curl_easy_setopt(r->easy, CURLOPT_PROXY, r->proxy.c_str());
    // Basic only: the credentials of the setting go out with the first
    // request, so a 407 that comes back is the proxy's last word.
    curl_easy_setopt(r->easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(r->easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(r->easy, CURLOPT_BUFFERSIZE, 256L * 1024);
    curl_easy_setopt(r->easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(r->easy, CURLOPT_HEADERDATA, r);
    curl_easy_setopt(r->easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(r->easy, CURLOPT_WRITEDATA, r);
    startTransfer(r);
    if (!awaitHeaders(r, error)) {
        httpCloseRequest(r);
        return nullptr;
    }
    return r;
}

bool httpResendRequest(HttpRequest *r, std::string &error) {
    if (r->attached) curl_multi_remove_handle(r->multi, r->easy);
    r->attached = false;
    startTransfer(r);
    return awaitHeaders(r, error);
}

int httpStatus(HttpRequest *r) { return r->status; }

void httpProxyAuthDialog(HttpRequest *, QL_HostWindow) {}

long httpRead(HttpRequest *r, void *buffer, size_t size, HttpStop stop, void *context) {
    char *out = static_cast<char *>(buffer);
    size_t have = r->overflow.size() - r->overflowStart;
    size_t taken = have < size ? have : size;
    memcpy(out, r->overflow.data() + r->overflowStart, taken);
    r->overflowStart += taken;
    if (r->overflowStart == r->overflow.size()) {
        r->overflow.clear();
        r->overflowStart = 0;
    }
    r->target = out + taken;
    r->room = size - taken;
    while (r->room && !r->done) {
        if (stop && stop(context)) break;
        if (idleTooLong(r)) {
            r->target = nullptr;
            r->room = 0;
            return -1;
        }
        drive(r, 50);
    }
    size_t got = size - r->room;
    r->target = nullptr;
    r->room = 0;
    if (got == 0 && r->done && r->result != CURLE_OK) return -1;
    return static_cast<long>(got);
}

void httpCloseRequest(HttpRequest *r) {
    if (!r) return;
    if (r->attached) curl_multi_remove_handle(r->multi, r->easy);
    if (r->easy) curl_easy_cleanup(r->easy);
    if (r->multi) curl_multi_cleanup(r->multi);
    curl_slist_free_all(r->headers);
    delete r;
}

}  // namespace platform
