#pragma once

#include <httplib.h>

#include <string>
#include <thread>

namespace kqc::bench {

// A service on a free port of 127.0.0.1 that answers every POST at once with the same small
// success response: return code 0 and a one-byte fileData.
class ReplyServer {
public:
    ReplyServer();
    ~ReplyServer();
    ReplyServer(const ReplyServer&) = delete;
    ReplyServer& operator=(const ReplyServer&) = delete;

    std::string endpoint() const;
    std::string webRoot() const;  // the base URL that URL-mode entries are appended to

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = -1;
};

}  // namespace kqc::bench
