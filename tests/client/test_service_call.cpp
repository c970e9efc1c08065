#include "client/service_call.h"
#include "support/loopback_server.h"

#include <gtest/gtest.h>

#include <mutex>

namespace kqc {
namespace {

using test::LoopbackServer;

// A real server on loopback that answers every POST with a fixed status and body and keeps what
// it received.
class ServiceCallTest : public ::testing::Test {
protected:
    void serve(int status, std::string body) {
        server.server().Post("/axis/services/MediaAdapter",
                             [this, status, body](const httplib::Request& req, httplib::Response& res) {
                                 std::lock_guard lock(mutex);
                                 received = req;
                                 res.status = status;
                                 res.set_content(body, "text/xml; charset=utf-8");
                             });
        server.start();
    }
    std::string endpoint() const { return server.url("/axis/services/MediaAdapter"); }

    LoopbackServer server;
    std::mutex mutex;
    httplib::Request received;
};

TEST_F(ServiceCallTest, Status200IsSuccessAndTheServerSeesTheExactRequest) {
    serve(200, "any body at all");
    const std::string request = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<x>\xc3\xa9</x>";
    std::string response;
    EXPECT_TRUE(PostXML(endpoint(), request, response));
    EXPECT_EQ(response, "any body at all");
    std::lock_guard lock(mutex);
    EXPECT_EQ(received.method, "POST");
    EXPECT_EQ(received.body, request);
    EXPECT_EQ(received.get_header_value("SOAPAction"), "transcode");
    EXPECT_EQ(received.get_header_value("Content-Type"), "text/xml; charset=utf-8");
}

TEST_F(ServiceCallTest, LargeBodyGoesWithoutWaitingForContinue) {
    serve(200, "ok");
    const std::string request(8 << 20, 'A');
    std::string response;
    EXPECT_TRUE(PostXML(endpoint(), request, response));
    std::lock_guard lock(mutex);
    EXPECT_EQ(received.body.size(), request.size());
    EXPECT_FALSE(received.has_header("Expect"));
}

TEST_F(ServiceCallTest, ARequestGivenUpIsSentWholeAndReleased) {
    serve(200, std::string(3 << 20, 'B'));
    for (size_t size : {size_t{0}, size_t{5}, size_t{(8 << 20) + 7}}) {
        std::string request(size, 'A');
        if (size) request.back() = 'Z';
        request.reserve(64);  // on the heap, so that its memory moves with it
        std::string response;
        EXPECT_TRUE(PostXML(endpoint(), std::move(request), response)) << size;
        EXPECT_EQ(request.capacity(), std::string().capacity()) << size;
        EXPECT_EQ(response, std::string(3 << 20, 'B')) << size;
        std::lock_guard lock(mutex);
        EXPECT_EQ(received.body.size(), size);
        if (size) {
            EXPECT_EQ(received.body.back(), 'Z');
        }
    }
}

struct StatusCase {
    int status;
    std::string body;
};

void PrintTo(const StatusCase& c, std::ostream* out) {
    *out << "HTTP " << c.status << " with body \"" << c.body << "\"";
}

class NonOkStatus : public ServiceCallTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(NonOkStatus, IsFailureWithTheBodyStillCaptured) {
    serve(GetParam().status, GetParam().body);
    std::string response = "before";
    EXPECT_FALSE(PostXML(endpoint(), "<x/>", response));
    EXPECT_EQ(response, GetParam().body);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, NonOkStatus,
    ::testing::Values(StatusCase{201, "created"}, StatusCase{204, ""},
                      StatusCase{500, "<soapenv:Fault><faultstring>boom</faultstring></soapenv:Fault>"},
                      StatusCase{404, "not here"}),
    [](const auto& info) { return "Status" + std::to_string(info.param.status); });

TEST(ServiceCall, RefusedConnectionAndBadEndpointsFailQuietly) {
    int freePort;
    {
        LoopbackServer closed;
        closed.start();
        freePort = closed.port();
    }
    for (const std::string& endpoint : {"http://127.0.0.1:" + std::to_string(freePort) + "/x",
                                       std::string(""), std::string("not a url"),
                                       std::string("gopher://127.0.0.1:1/")}) {
        std::string response = "unchanged";
        EXPECT_FALSE(PostXML(endpoint, "<x/>", response)) << endpoint;
        EXPECT_EQ(response, "unchanged") << endpoint;
        EXPECT_FALSE(PostXML(endpoint, std::string("<given-up/>"), response)) << endpoint;
    }
}

}  // namespace
}  // namespace kqc
