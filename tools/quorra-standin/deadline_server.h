#pragma once

#include <httplib.h>

#include <chrono>

namespace kqc::standin {

// An HTTP server that gives every request a deadline to arrive whole, from its first byte to its
// last, however slowly the bytes trickle in: the read timeout bounds each wait, the deadline the
// whole request. A request still incomplete at its deadline is read no further, as if its client
// had gone quiet, and its connection ends.
class DeadlineServer : public httplib::Server {
public:
    void setRequestTimeout(std::chrono::milliseconds timeout) { m_requestTimeout = timeout; }

private:
    // Serves one connection: its requests one after another, each under its own deadline.
    bool process_and_close_socket(socket_t sock) override;

    std::chrono::milliseconds m_requestTimeout{60000};
};

}  // namespace kqc::standin
