#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace kqc::bench {

// The least a service can do with a transcode request: a loopback HTTP peer that reads each
// request whole, finds its <fileData> text and answers at once with that text inside a success
// answer (return code 0). It looks for the two tags and nothing more, so that what the client
// costs beside it is the client's own work. One connection at a time, closed after each answer.
class CopyPeer {
public:
    CopyPeer();
    ~CopyPeer();
    CopyPeer(const CopyPeer&) = delete;
    CopyPeer& operator=(const CopyPeer&) = delete;

    std::string endpoint() const;

private:
    void serve();
    void answer(int connection);

    int m_listener = -1;
    int m_port = -1;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

}  // namespace kqc::bench
