#include "bench/reply_server.h"

#include <chrono>
#include <stdexcept>

namespace kqc::bench {

namespace {

constexpr const char* kPath = "/axis/services/MediaAdapter";

constexpr const char* kAnswer =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><soapenv:Body>"
    "<transcodeReturn><returnCode xsi:type=\"xsd:int\">0</returnCode>"
    "<fileData xsi:type=\"xsd:base64Binary\">AA==</fileData></transcodeReturn>"
    "</soapenv:Body></soapenv:Envelope>";

}  // namespace

ReplyServer::ReplyServer() {
    m_server.Post(kPath, [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kAnswer, "text/xml; charset=utf-8");
    });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    if (m_port < 0) throw std::runtime_error("cannot bind a loopback port");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    for (int i = 0; i < 1000 && !m_server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (!m_server.is_running()) throw std::runtime_error("the reply server did not start");
}

ReplyServer::~ReplyServer() {
    m_server.stop();
    if (m_thread.joinable()) m_thread.join();
}

std::string ReplyServer::endpoint() const {
    return "http://127.0.0.1:" + std::to_string(m_port) + kPath;
}

std::string ReplyServer::webRoot() const {
    return "http://127.0.0.1:" + std::to_string(m_port) + "/media/";
}

}  // namespace kqc::bench
