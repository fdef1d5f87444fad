// A subscription server for development and tests: HTTP/1.1 on loopback,
// serving the query script and the edition containers of a folder of
// editions to known users. It can be told to misbehave.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct SubscriberAccount {
    std::string login;
    std::string key;  // the client key; empty: any key is accepted
};

struct ServerOptions {
    std::string editionsDir;         // edition files: every regular file ending in extension
    std::string extension = ".eif";  // stripped from the names in the container
    std::vector<SubscriberAccount> accounts;
    std::string script = "/cgi-bin/query";  // path of the query script
    std::string dataPath = "/data/";        // datapath= sent in the reply
    std::string updateProgram;              // a file offered as update program; empty: none
    // Proxy mode: when not empty, requests must carry Proxy-Authorization
    // Basic with these "user:password" credentials, else 407.
    std::string proxyCredentials;
};

// Misbehaviour for tests; the defaults behave.
struct ServerFaults {
    int queryStatus = 200;           // status of the query script (401, 404, 503, ...)
    unsigned queryDelayMs = 0;       // the query script thinks this long before it answers
    int dataStatus = 200;            // status of the data file
    int proxyAuthRequired = 0;       // this many requests in a row are answered 407 first
    bool garbageReply = false;       // the query answers text without any known line
    std::string replyOverride;       // when not empty: the query reply body as given
    int64_t announcedSizeDelta = 0;  // filesize= is the real size plus this
    int64_t bodySizeDelta = 0;       // the data body is cut (negative) or padded (positive)
    size_t trickleBytes = 0;         // send the data body in pieces of this size ...
    unsigned trickleDelayMs = 0;     // ... with this pause before each piece
    int64_t stallAfter = -1;         // after this many body bytes stop sending, keep the connection
    std::string containerOverride;   // when not empty: served as the container instead
};

// One request as the server received it.
struct ReceivedRequest {
    std::string method;
    std::string target;  // the request target exactly as sent (origin or absolute form)
    std::string path;    // decoded path without query
    std::string query;   // raw query string, without "?"
    std::string userAgent;
    std::vector<std::pair<std::string, std::string>> headers;
    int status = 0;  // what the server answered
};

class SubscriptionServer {
  public:
    explicit SubscriptionServer(ServerOptions options);
    ~SubscriptionServer();  // stops
    SubscriptionServer(const SubscriptionServer &) = delete;
    SubscriptionServer &operator=(const SubscriptionServer &) = delete;

    // Listens on 127.0.0.1 at port (0: any free port) and serves on threads
    // of its own. False (with a message in error()) when it cannot listen.
    bool start(uint16_t port = 0);
    uint16_t port() const;
    // Closes the listener and every open connection (a stalled one too) and
    // waits for the threads.
    void stop();
    const std::string &error() const;

    void setFaults(const ServerFaults &faults);
    // Forgets what each subscriber has received, so everything is new again.
    void resetDeliveries();
    std::vector<ReceivedRequest> requests() const;
    void clearRequests();

    // Holds the query script: each query that arrives waits, counted by
    // heldQueries(), until releaseQueries() or stop(). A test looks at its
    // client while the client waits for the server, without racing it.
    void holdQueries();
    void releaseQueries();
    int heldQueries() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
