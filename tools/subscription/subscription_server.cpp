#include "subscription_server.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <list>
#include <map>
#include <thread>

#include "container_writer.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
using Socket = SOCKET;
const Socket kNoSocket = INVALID_SOCKET;
const int kSendFlags = 0;

void closeSocket(Socket s) { closesocket(s); }
bool setNonBlocking(Socket s) {
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}
// True when the call that just failed only has to wait and try again.
bool tryAgainLater() { return WSAGetLastError() == WSAEWOULDBLOCK; }
std::string lastSocketError() { return "socket error " + std::to_string(WSAGetLastError()); }
int pollSocket(Socket s, short events, int timeoutMs) {
    WSAPOLLFD entry{s, events, 0};
    return WSAPoll(&entry, 1, timeoutMs);
}
#else
using Socket = int;
const Socket kNoSocket = -1;
const int kSendFlags = MSG_NOSIGNAL;

void closeSocket(Socket s) { close(s); }
bool setNonBlocking(Socket s) {
    int flags = fcntl(s, F_GETFL);
    return flags >= 0 && fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}
bool tryAgainLater() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }
std::string lastSocketError() { return strerror(errno); }
int pollSocket(Socket s, short events, int timeoutMs) {
    pollfd entry{s, events, 0};
    return poll(&entry, 1, timeoutMs);
}
#endif

// Sockets are non-blocking; every wait on one lasts at most this long
// before the stop flag is looked at again.
const int kPollMs = 50;
const size_t kSendSlice = 1 << 20;
const size_t kMaxHead = 64 * 1024;

std::string lower(std::string text) {
    for (char &c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

bool startsWith(const std::string &text, const std::string &prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWithNoCase(const std::string &text, const std::string &suffix) {
    return text.size() >= suffix.size() &&
           lower(text.substr(text.size() - suffix.size())) == lower(suffix);
}

std::string trim(const std::string &text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes %XX; a '+' stays a plus, a '%' without two hex digits stays as it is.
std::string percentDecode(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
            hexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::map<std::string, std::string> parseQuery(const std::string &query) {
    std::map<std::string, std::string> params;
    size_t start = 0;
    while (start <= query.size()) {
        size_t end = std::min(query.find('&', start), query.size());
        std::string pair = query.substr(start, end - start);
        size_t equals = pair.find('=');
        if (!pair.empty())
            params[percentDecode(pair.substr(0, equals))] =
                equals == std::string::npos ? std::string()
                                            : percentDecode(pair.substr(equals + 1));
        start = end + 1;
    }
    return params;
}

// The origin form of a request target: an absolute target (as sent to a
// proxy) loses its scheme and authority.
std::string originForm(const std::string &target) {
    size_t scheme = target.find("://");
    if (scheme == std::string::npos || target.find_first_of("/?") < scheme) return target;
    size_t rest = target.find_first_of("/?", scheme + 3);
    if (rest == std::string::npos) return "/";
    return target[rest] == '/' ? target.substr(rest) : "/" + target.substr(rest);
}

std::string base64(const std::string &bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
        out += digits[(group >> 18) & 63];
        out += digits[(group >> 12) & 63];
        out += i + 1 < bytes.size() ? digits[(group >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? digits[group & 63] : '=';
    }
    return out;
}

std::string header(const ReceivedRequest &request, const std::string &name) {
    for (const auto &[key, value] : request.headers)
        if (lower(key) == lower(name)) return value;
    return std::string();
}

const char *reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 407:
            return "Proxy Authentication Required";
        case 500:
            return "Internal Server Error";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

// Where the head of the request in text ends (after its blank line), or npos.
size_t headEnd(const std::string &text) {
    for (size_t i = text.find('\n'); i != std::string::npos; i = text.find('\n', i + 1)) {
        if (text.compare(i + 1, 1, "\n") == 0) return i + 2;
        if (text.compare(i + 1, 2, "\r\n") == 0) return i + 3;
    }
    return std::string::npos;
}

// Fills request from the request line and the headers. False when malformed.
bool parseHead(const std::string &head, ReceivedRequest &request, bool &keepAlive,
               size_t &bodyLength) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < head.size();) {
        size_t end = head.find('\n', start);
        std::string line = head.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
        start = end + 1;
    }
    if (lines.empty()) return false;
    const std::string &first = lines[0];
    size_t space1 = first.find(' ');
    size_t space2 = first.find(' ', space1 + 1);
    if (space1 == std::string::npos || space2 == std::string::npos) return false;
    request.method = first.substr(0, space1);
    request.target = first.substr(space1 + 1, space2 - space1 - 1);
    std::string version = first.substr(space2 + 1);
    if (!startsWith(version, "HTTP/") || request.target.empty()) return false;

    std::string origin = originForm(request.target);
    size_t question = origin.find('?');
    request.path = percentDecode(origin.substr(0, question));
    request.query = question == std::string::npos ? std::string() : origin.substr(question + 1);

    for (size_t i = 1; i < lines.size(); ++i) {
        size_t colon = lines[i].find(':');
        if (colon == std::string::npos) return false;
        request.headers.emplace_back(trim(lines[i].substr(0, colon)),
                                     trim(lines[i].substr(colon + 1)));
    }
    request.userAgent = header(request, "User-Agent");
    std::string connection = lower(header(request, "Connection"));
    keepAlive = version == "HTTP/1.0" ? connection.find("keep-alive") != std::string::npos
                                      : connection.find("close") == std::string::npos;
    bodyLength =
        static_cast<size_t>(strtoull(header(request, "Content-Length").c_str(), nullptr, 10));
    return true;
}

// An edition file as found in the editions folder.
struct EditionFile {
    std::string fileName;  // with the extension
    std::string path;
    uintmax_t size = 0;
    fs::file_time_type modified;
};

// A container prepared for one subscriber by the query.
struct Delivery {
    std::shared_ptr<const std::string> container;
    std::vector<EditionFile> editions;  // received once the container went out whole
};

struct Reply {
    int status = 200;
    std::string contentType = "text/plain";
    std::string text;                         // the body, unless ...
    std::shared_ptr<const std::string> data;  // ... this is a container
    bool proxyChallenge = false;
    // For a container: how it is sent and whose delivery it is.
    size_t piece = kSendSlice;
    unsigned pauseMs = 0;
    int64_t stallAfter = -1;
    std::string deliveredTo;            // when not empty: the subscriber who received editions once
    std::vector<EditionFile> editions;  // the whole container went out
};

Reply textReply(int status, const std::string &text) {
    Reply reply;
    reply.status = status;
    reply.text = text;
    return reply;
}

Reply statusReply(int status) {
    return textReply(status, std::to_string(status) + " " + reason(status) + "\n");
}

}  // namespace

struct SubscriptionServer::Impl {
    struct Connection {
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    ServerOptions options;
    std::string dataPrefix;  // path of the data files, ending in "/"
    Socket listener = kNoSocket;
    uint16_t port = 0;
    std::string error;
    std::atomic<bool> stopping{false};
    std::thread acceptThread;
    std::list<std::unique_ptr<Connection>> connections;  // the accept thread's, then stop's

    mutable std::mutex mutex;        // guards what follows
    std::condition_variable wakeUp;  // ends pauses when stopping
    ServerFaults faults;
    bool holding = false;  // queries wait at the gate while set
    int held = 0;          // queries waiting there now
    // By subscriber ("login_key"): what each received, by file name, and the
    // container prepared for each.
    std::map<std::string, std::map<std::string, EditionFile>> received;
    std::map<std::string, Delivery> prepared;
    std::string packedKey;  // the files of the last container packed, and that container
    std::shared_ptr<const std::string> packed;
    std::vector<ReceivedRequest> requests;

    explicit Impl(ServerOptions opts) : options(std::move(opts)) {
        std::string origin = originForm(options.dataPath);
        dataPrefix = origin.substr(0, origin.find('?'));
        if (dataPrefix.empty() || dataPrefix.back() != '/') dataPrefix += '/';
    }

    void acceptLoop();
    void serve(Socket s);
    bool waitFor(Socket s, short event);
    bool receive(Socket s, std::string &into);
    bool sendAll(Socket s, const char *data, size_t size);
    bool pause(unsigned ms);
    bool sendReply(Socket s, const Reply &reply, bool keepAlive);
    bool sendPieces(Socket s, const Reply &reply, size_t size);

    Reply answer(const ReceivedRequest &request);
    Reply answerQuery(const ReceivedRequest &request, const ServerFaults &faults);
    Reply answerData(const std::string &subscriber, const ServerFaults &faults);
    const SubscriberAccount *account(const std::string &login) const;
    std::vector<EditionFile> listEditions() const;
};

void SubscriptionServer::Impl::acceptLoop() {
    while (!stopping) {
        for (auto it = connections.begin(); it != connections.end();) {
            if (!(*it)->finished) {
                ++it;
                continue;
            }
            (*it)->thread.join();
            it = connections.erase(it);
        }
        if (pollSocket(listener, POLLIN, kPollMs) <= 0) continue;
        Socket s = accept(listener, nullptr, nullptr);
        if (s == kNoSocket) continue;
        setNonBlocking(s);
        int on = 1;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on), sizeof on);
        connections.push_back(std::make_unique<Connection>());
        Connection &connection = *connections.back();
        connection.thread = std::thread([this, s, &connection] {
            serve(s);
            closeSocket(s);
            connection.finished = true;
        });
    }
}

// Waits until the socket is ready for the event; false when stopping.
bool SubscriptionServer::Impl::waitFor(Socket s, short event) {
    while (!stopping)
        if (pollSocket(s, event, kPollMs) != 0) return true;
    return false;
}

// Appends what the client sent next; false once it closed, on errors and
// when stopping.
bool SubscriptionServer::Impl::receive(Socket s, std::string &into) {
    char buffer[16 * 1024];
    for (;;) {
        auto n = recv(s, buffer, sizeof buffer, 0);
        if (n > 0) {
            into.append(buffer, static_cast<size_t>(n));
            return true;
        }
        if (n == 0 || !tryAgainLater() || !waitFor(s, POLLIN)) return false;
    }
}

bool SubscriptionServer::Impl::sendAll(Socket s, const char *data, size_t size) {
    while (size > 0) {
        if (stopping) return false;
        auto n = send(s, data, static_cast<int>(std::min(size, kSendSlice)), kSendFlags);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
        } else if (n == 0 || !tryAgainLater() || !waitFor(s, POLLOUT)) {
            return false;
        }
    }
    return true;
}

// Sleeps; false when stopping.
bool SubscriptionServer::Impl::pause(unsigned ms) {
    std::unique_lock<std::mutex> lock(mutex);
    return !wakeUp.wait_for(lock, std::chrono::milliseconds(ms),
                            [this] { return stopping.load(); });
}

void SubscriptionServer::Impl::serve(Socket s) {
    std::string pending;
    for (;;) {
        size_t end;
        while ((end = headEnd(pending)) == std::string::npos)
            if (pending.size() > kMaxHead || !receive(s, pending)) return;
        std::string head = pending.substr(0, end);
        pending.erase(0, end);

        ReceivedRequest request;
        bool keepAlive = false;
        size_t bodyLength = 0;
        bool wellFormed = parseHead(head, request, keepAlive, bodyLength);
        // A request body means nothing here: skip it.
        while (wellFormed && bodyLength > pending.size()) {
            bodyLength -= pending.size();
            pending.clear();
            if (!receive(s, pending)) return;
        }
        if (wellFormed) pending.erase(0, bodyLength);

        Reply reply = wellFormed ? answer(request) : statusReply(400);
        {
            std::lock_guard<std::mutex> lock(mutex);
            requests.push_back(request);
            requests.back().status = reply.status;
        }
        if (!sendReply(s, reply, wellFormed && keepAlive) || !wellFormed || !keepAlive) return;
    }
}

// Sends the reply; false when the connection is of no further use.
bool SubscriptionServer::Impl::sendReply(Socket s, const Reply &reply, bool keepAlive) {
    size_t length = reply.data ? reply.data->size() : reply.text.size();
    std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " + reason(reply.status) +
                       "\r\nContent-Type: " + reply.contentType +
                       "\r\nContent-Length: " + std::to_string(length) + "\r\n";
    if (reply.proxyChallenge) head += "Proxy-Authenticate: Basic realm=\"subscription\"\r\n";
    head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    if (!reply.data) {
        head += reply.text;
        return sendAll(s, head.data(), head.size());
    }
    if (!sendAll(s, head.data(), head.size())) return false;

    const std::string &body = *reply.data;
    if (reply.stallAfter >= 0) {
        size_t cut = std::min(body.size(), static_cast<size_t>(reply.stallAfter));
        if (sendPieces(s, reply, cut)) {
            std::string ignored;  // keep the connection, send nothing
            while (receive(s, ignored)) ignored.clear();
        }
        return false;
    }
    if (reply.deliveredTo.empty() || body.empty()) return sendPieces(s, reply, body.size());

    // The delivery counts before the last byte goes out: a client that has
    // the whole container and asks again at once must find nothing new.
    if (!sendPieces(s, reply, body.size() - 1)) return false;
    std::map<std::string, EditionFile> before;
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::map<std::string, EditionFile> &had = received[reply.deliveredTo];
        before = had;
        for (const EditionFile &edition : reply.editions) had[edition.fileName] = edition;
    }
    if (sendAll(s, &body.back(), 1)) return true;
    std::lock_guard<std::mutex> lock(mutex);
    received[reply.deliveredTo] = before;
    return false;
}

// Sends the first size bytes of the reply's body in its pieces, with its
// pause before each.
bool SubscriptionServer::Impl::sendPieces(Socket s, const Reply &reply, size_t size) {
    for (size_t sent = 0; sent < size;) {
        size_t piece = std::min(reply.piece, size - sent);
        if (reply.pauseMs > 0 && !pause(reply.pauseMs)) return false;
        if (!sendAll(s, reply.data->data() + sent, piece)) return false;
        sent += piece;
    }
    return true;
}

Reply SubscriptionServer::Impl::answer(const ReceivedRequest &request) {
    Reply challenge = statusReply(407);
    challenge.proxyChallenge = true;
    ServerFaults now;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (faults.proxyAuthRequired > 0) {
            --faults.proxyAuthRequired;
            return challenge;
        }
        now = faults;
    }
    if (!options.proxyCredentials.empty()) {
        std::string given = trim(header(request, "Proxy-Authorization"));
        if (lower(given.substr(0, 6)) != "basic " ||
            trim(given.substr(6)) != base64(options.proxyCredentials))
            return challenge;
    }
    if (request.method != "GET") return statusReply(404);
    if (request.path == options.script) return answerQuery(request, now);
    const std::string suffix = ".enp";
    if (startsWith(request.path, dataPrefix) &&
        request.path.size() > dataPrefix.size() + suffix.size() &&
        endsWithNoCase(request.path, suffix))
        return answerData(
            request.path.substr(dataPrefix.size(),
                                request.path.size() - dataPrefix.size() - suffix.size()),
            now);
    return statusReply(404);
}

Reply SubscriptionServer::Impl::answerQuery(const ReceivedRequest &request,
                                            const ServerFaults &faults) {
    {
        std::unique_lock<std::mutex> lock(mutex);
        ++held;
        wakeUp.wait(lock, [this] { return !holding || stopping.load(); });
        --held;
    }
    if (faults.queryDelayMs > 0) pause(faults.queryDelayMs);
    std::map<std::string, std::string> params = parseQuery(request.query);
    const SubscriberAccount *subscriberAccount = account(params["user"]);
    if (!subscriberAccount) return statusReply(401);
    if (!subscriberAccount->key.empty() && params["key"] != subscriberAccount->key)
        return statusReply(403);
    if (faults.queryStatus != 200) return statusReply(faults.queryStatus);

    std::string subscriber = subscriberAccount->login + "_" + params["key"];
    std::map<std::string, EditionFile> had;
    {
        std::lock_guard<std::mutex> lock(mutex);
        had = received[subscriber];
    }
    std::vector<EditionFile> editions;
    for (const EditionFile &edition : listEditions()) {
        auto old = had.find(edition.fileName);
        bool isNew = old == had.end() || old->second.size != edition.size ||
                     old->second.modified != edition.modified;
        if (isNew || params["force"] == "1") editions.push_back(edition);
    }
    std::vector<ContainerItem> items;
    size_t updateSize = 0;
    if (params["wantupdate"] == "1" && !options.updateProgram.empty()) {
        ContainerItem item;
        if (!loadContainerItem(options.updateProgram, 1, item)) return statusReply(500);
        updateSize = item.bytes.size();
        items.push_back(std::move(item));
    }
    size_t fileCount = editions.size() + items.size();

    int64_t announced = 0;
    if (fileCount == 0) {
        std::lock_guard<std::mutex> lock(mutex);
        prepared.erase(subscriber);
    } else {
        // The same files pack to the same container: a big one is packed once.
        std::string key;
        for (const EditionFile &edition : editions)
            key += edition.fileName + '\n' + std::to_string(edition.size) + '\n' +
                   std::to_string(edition.modified.time_since_epoch().count()) + '\n';
        if (!items.empty()) key += items[0].name + '\n' + items[0].bytes;
        std::shared_ptr<const std::string> container;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (packedKey == key) container = packed;
        }
        if (!container) {
            std::vector<ContainerItem> all;
            for (const EditionFile &edition : editions) {
                ContainerItem item;
                if (!loadContainerItem(edition.path, 0, item)) return statusReply(500);
                item.name =
                    edition.fileName.substr(0, edition.fileName.size() - options.extension.size());
                all.push_back(std::move(item));
            }
            for (ContainerItem &item : items) all.push_back(std::move(item));
            container = std::make_shared<const std::string>(packContainer(all));
            std::lock_guard<std::mutex> lock(mutex);
            packedKey = key;
            packed = container;
        }
        size_t served =
            faults.containerOverride.empty() ? container->size() : faults.containerOverride.size();
        announced = static_cast<int64_t>(served) + faults.announcedSizeDelta;
        std::lock_guard<std::mutex> lock(mutex);
        prepared[subscriber] = Delivery{container, editions};
    }

    if (!faults.replyOverride.empty()) return textReply(200, faults.replyOverride);
    if (faults.garbageReply) {
        Reply reply = textReply(200, "<html>Service unavailable</html>\n");
        reply.contentType = "text/html";
        return reply;
    }
    return textReply(200, "filecount=" + std::to_string(fileCount) +
                              "\nfilesize=" + std::to_string(announced) +
                              "\nupdate=" + (updateSize > 0 ? "1" : "0") + "\nupdatesize=" +
                              std::to_string(updateSize) + "\ndatapath=" + options.dataPath + "\n");
}

Reply SubscriptionServer::Impl::answerData(const std::string &subscriber,
                                           const ServerFaults &faults) {
    bool known = std::any_of(
        options.accounts.begin(), options.accounts.end(),
        [&](const SubscriberAccount &a) { return startsWith(subscriber, a.login + "_"); });
    if (!known) return statusReply(401);
    Delivery delivery;
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = prepared.find(subscriber);
        if (it == prepared.end()) return statusReply(404);
        delivery = it->second;
    }
    if (faults.dataStatus != 200) return statusReply(faults.dataStatus);

    Reply reply;
    reply.contentType = "application/octet-stream";
    reply.data = faults.containerOverride.empty()
                     ? delivery.container
                     : std::make_shared<const std::string>(faults.containerOverride);
    if (faults.bodySizeDelta != 0) {
        int64_t size = static_cast<int64_t>(reply.data->size()) + faults.bodySizeDelta;
        auto changed = std::make_shared<std::string>(*reply.data);
        changed->resize(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
        reply.data = changed;
    }
    if (faults.trickleBytes > 0) {
        reply.piece = faults.trickleBytes;
        reply.pauseMs = faults.trickleDelayMs;
    }
    reply.stallAfter = faults.stallAfter;
    if (faults.stallAfter < 0 && faults.bodySizeDelta >= 0) {
        reply.deliveredTo = subscriber;
        reply.editions = delivery.editions;
    }
    return reply;
}

const SubscriberAccount *SubscriptionServer::Impl::account(const std::string &login) const {
    for (const SubscriberAccount &a : options.accounts)
        if (a.login == login) return &a;
    return nullptr;
}

// The edition files of the folder, sorted by name.
std::vector<EditionFile> SubscriptionServer::Impl::listEditions() const {
    std::vector<EditionFile> found;
    std::error_code error;
    for (const fs::directory_entry &entry : fs::directory_iterator(options.editionsDir, error)) {
        std::string fileName = entry.path().filename().string();
        if (!entry.is_regular_file(error) || fileName.size() <= options.extension.size() ||
            !endsWithNoCase(fileName, options.extension))
            continue;
        EditionFile edition;
        edition.fileName = fileName;
        edition.path = entry.path().string();
        edition.size = entry.file_size(error);
        edition.modified = entry.last_write_time(error);
        found.push_back(edition);
    }
    std::sort(found.begin(), found.end(),
              [](const EditionFile &a, const EditionFile &b) { return a.fileName < b.fileName; });
    return found;
}

SubscriptionServer::SubscriptionServer(ServerOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
}

SubscriptionServer::~SubscriptionServer() {
    stop();
#ifdef _WIN32
    WSACleanup();
#endif
}

bool SubscriptionServer::start(uint16_t port) {
    Impl &d = *impl_;
    if (d.acceptThread.joinable()) {
        d.error = "already listening";
        return false;
    }
    std::string where = "127.0.0.1:" + std::to_string(port);
    d.listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (d.listener == kNoSocket) {
        d.error = "cannot make a socket: " + lastSocketError();
        return false;
    }
#ifndef _WIN32
    int on = 1;  // a restarted server gets its port back at once
    setsockopt(d.listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
#endif
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(d.listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(d.listener, SOMAXCONN) != 0 || !setNonBlocking(d.listener) ||
        getsockname(d.listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        d.error = "cannot listen on " + where + ": " + lastSocketError();
        closeSocket(d.listener);
        d.listener = kNoSocket;
        return false;
    }
    d.port = ntohs(address.sin_port);
    d.stopping = false;
    d.acceptThread = std::thread([&d] { d.acceptLoop(); });
    return true;
}

uint16_t SubscriptionServer::port() const { return impl_->port; }

void SubscriptionServer::stop() {
    Impl &d = *impl_;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        d.stopping = true;
    }
    d.wakeUp.notify_all();
    if (d.acceptThread.joinable()) d.acceptThread.join();
    for (auto &connection : d.connections) connection->thread.join();
    d.connections.clear();
    if (d.listener != kNoSocket) closeSocket(d.listener);
    d.listener = kNoSocket;
}

const std::string &SubscriptionServer::error() const { return impl_->error; }

void SubscriptionServer::setFaults(const ServerFaults &faults) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->faults = faults;
}

void SubscriptionServer::resetDeliveries() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->received.clear();
}

std::vector<ReceivedRequest> SubscriptionServer::requests() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->requests;
}

void SubscriptionServer::clearRequests() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->requests.clear();
}

void SubscriptionServer::holdQueries() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->holding = true;
}

void SubscriptionServer::releaseQueries() {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->holding = false;
    }
    impl_->wakeUp.notify_all();
}

int SubscriptionServer::heldQueries() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->held;
}
