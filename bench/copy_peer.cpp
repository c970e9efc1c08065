#include "bench/copy_peer.h"

#include <cstring>
#include <stdexcept>
#include <string_view>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace kqc::bench {

namespace {

constexpr std::string_view kPath = "/axis/services/MediaAdapter";
constexpr std::string_view kHeaderEnd = "\r\n\r\n";
constexpr std::string_view kFileDataStart = "<fileData>";
constexpr std::string_view kFileDataEnd = "</fileData>";
constexpr std::string_view kAnswerHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\r\n<soapenv:Body>\r\n"
    "<ns1:transcodeResponse xmlns:ns1=\"http://www.korvane.com/quorra/MediaAdapter\">\r\n"
    "<transcodeReturn>\r\n<returnCode xsi:type=\"xsd:int\">0</returnCode>\r\n"
    "<message xsi:type=\"xsd:string\">OK</message>\r\n"
    "<fileData xsi:type=\"xsd:base64Binary\">";
constexpr std::string_view kAnswerTail =
    "</fileData>\r\n</transcodeReturn>\r\n</ns1:transcodeResponse>\r\n"
    "</soapenv:Body>\r\n</soapenv:Envelope>\r\n";

bool sendAll(int fd, iovec* parts, int count) {
    while (count > 0) {
        ssize_t n = ::writev(fd, parts, count);
        if (n < 0) return false;
        auto left = static_cast<size_t>(n);
        while (count > 0 && left >= parts->iov_len) {
            left -= parts->iov_len;
            ++parts;
            --count;
        }
        if (count > 0) {
            parts->iov_base = static_cast<char*>(parts->iov_base) + left;
            parts->iov_len -= left;
        }
    }
    return true;
}

// The value of Content-Length in the header block; 0 when it has none.
size_t contentLength(std::string_view headers) {
    for (size_t at = 0; (at = headers.find("\r\n", at)) != std::string_view::npos;) {
        at += 2;
        std::string_view line = headers.substr(at, headers.find("\r\n", at) - at);
        constexpr std::string_view name = "content-length:";
        if (line.size() > name.size() &&
            strncasecmp(line.data(), name.data(), name.size()) == 0)
            return std::stoull(std::string(line.substr(name.size())));
    }
    return 0;
}

}  // namespace

CopyPeer::CopyPeer() {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(m_listener, 8) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("the copy peer cannot listen on loopback");
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

CopyPeer::~CopyPeer() {
    m_stopping = true;
    m_thread.join();
    ::close(m_listener);
}

std::string CopyPeer::endpoint() const {
    return "http://127.0.0.1:" + std::to_string(m_port) + std::string(kPath);
}

void CopyPeer::serve() {
    while (!m_stopping) {
        pollfd ready{m_listener, POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) continue;
        int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        try {
            answer(connection);
        } catch (const std::exception&) {
            // A malformed request only loses its connection.
        }
        ::close(connection);
    }
}

void CopyPeer::answer(int connection) {
    std::string request;
    size_t headerEnd = std::string::npos;
    char piece[64 * 1024];
    while (headerEnd == std::string::npos) {
        ssize_t n = ::read(connection, piece, sizeof piece);
        if (n <= 0) return;
        request.append(piece, static_cast<size_t>(n));
        headerEnd = request.find(kHeaderEnd);
    }
    const size_t bodyStart = headerEnd + kHeaderEnd.size();
    const size_t total = bodyStart + contentLength(std::string_view(request).substr(0, bodyStart));
    request.reserve(total);
    const size_t have = request.size();
    request.resize(total);
    for (size_t filled = have; filled < total;) {
        ssize_t n = ::read(connection, request.data() + filled, total - filled);
        if (n <= 0) return;
        filled += static_cast<size_t>(n);
    }

    std::string_view body = std::string_view(request).substr(bodyStart);
    size_t start = body.find(kFileDataStart);
    size_t end = body.find(kFileDataEnd, start == std::string_view::npos ? 0 : start);
    std::string_view fileData;
    if (start != std::string_view::npos && end != std::string_view::npos)
        fileData = body.substr(start + kFileDataStart.size(),
                               end - start - kFileDataStart.size());
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nConnection: close\r\n"
        "Content-Length: " +
        std::to_string(kAnswerHead.size() + fileData.size() + kAnswerTail.size()) + "\r\n\r\n";
    iovec parts[] = {{const_cast<char*>(head.data()), head.size()},
                     {const_cast<char*>(kAnswerHead.data()), kAnswerHead.size()},
                     {const_cast<char*>(fileData.data()), fileData.size()},
                     {const_cast<char*>(kAnswerTail.data()), kAnswerTail.size()}};
    sendAll(connection, parts, 4);
    ::shutdown(connection, SHUT_WR);
}

}  // namespace kqc::bench
