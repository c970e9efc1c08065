#include "client/service_call.h"

#include "client/stop_signal.h"
#include "media/large_buffer.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace kqc {

namespace {

// A service that cannot even be reached gives up after this long; the exchange itself has no
// limit, since a long transcode may keep the service silent for minutes.
constexpr long kConnectTimeoutSeconds = 60;
// libcurl shortens a wait by itself for its own timers, and a stop request wakes it.
constexpr int kLongestWaitMs = 10000;

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

using EasyHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using MultiHandle = std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)>;
using HeaderList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

HeaderList soapHeaders() {
    curl_slist* list = nullptr;
    for (const char* header : {"SOAPAction: transcode", "Content-Type: text/xml; charset=utf-8",
                               "Expect:"}) {
        curl_slist* grown = curl_slist_append(list, header);
        if (!grown) {
            curl_slist_free_all(list);
            return HeaderList(nullptr, &curl_slist_free_all);
        }
        list = grown;
    }
    return HeaderList(list, &curl_slist_free_all);
}

}  // namespace

struct ServiceCall::Transfer {
    EasyHandle curl{nullptr, &curl_easy_cleanup};
    MultiHandle multi{nullptr, &curl_multi_cleanup};
    HeaderList headers{nullptr, &curl_slist_free_all};
    StopSignal* stop = nullptr;
    bool running = false;
    CURLcode result = CURLE_FAILED_INIT;

    std::string request;  // until its last byte is taken; then the answer's buffer
    std::string_view requestView;  // what libcurl reads when the request is not given up
    bool givenUp = false;
    size_t sent = 0;
    bool handedOver = false;
    const std::function<void(std::string_view)>* onPiece = nullptr;

    std::string body;
    bool reserved = false;

    bool setUp(const std::string& endpoint);
    // Drives the transfer until done() holds, the transfer ends or a stop is requested.
    template <typename Done>
    void perform(Done done);
    bool receive(std::string& response);
    void finish(CURLcode code);
    ~Transfer() {
        if (running) finish(CURLE_ABORTED_BY_CALLBACK);
    }
};

namespace {

// Hands libcurl the next piece of a request given up by the caller; after the last piece, the
// request's memory becomes the answer's buffer. Its pages are in memory already, while a fresh
// buffer of that size would be faulted in page by page.
size_t readRequest(char* buffer, size_t size, size_t count, void* userData) {
    auto* t = static_cast<ServiceCall::Transfer*>(userData);
    if (t->handedOver) return 0;
    std::string& request = t->request;
    const size_t n = std::min(size * count, request.size() - t->sent);
    const std::string_view piece(request.data() + t->sent, n);
    if (t->onPiece && *t->onPiece) (*t->onPiece)(piece);
    std::memcpy(buffer, piece.data(), n);
    t->sent += n;
    if (t->sent == request.size()) {
        t->handedOver = true;
        request.clear();
        // An answer that began early keeps its own buffer.
        if (t->body.empty()) t->body.swap(request);
        std::string().swap(request);
    }
    return n;
}

// Appends a piece of the answer. Reserves the announced length once, so that a large answer is
// not copied again and again as it grows. An answer past the limit (announced or as it comes)
// ends the transfer before it pushes the rest of the desktop out of memory.
size_t appendBody(char* data, size_t size, size_t count, void* userData) {
    auto* t = static_cast<ServiceCall::Transfer*>(userData);
    const size_t limit = LargeBufferLimit();
    try {
        if (!t->reserved) {
            t->reserved = true;
            curl_off_t length = -1;
            if (curl_easy_getinfo(t->curl.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) ==
                    CURLE_OK &&
                length > 0) {
                if (static_cast<size_t>(length) > limit) return 0;
                ReserveLargeBuffer(t->body, static_cast<size_t>(length));
            }
        }
        if (size * count > limit - std::min(limit, t->body.size())) return 0;
        t->body.append(data, size * count);
        return size * count;
    } catch (...) {
        return 0;  // aborts the transfer: libcurl reports a write error
    }
}

}  // namespace

bool ServiceCall::Transfer::setUp(const std::string& endpoint) {
    initCurlOnce();
    curl.reset(curl_easy_init());
    multi.reset(curl_multi_init());
    headers = soapHeaders();
    if (!curl || !multi || !headers) return false;
    CURL* h = curl.get();
    // Never a null body: libcurl would then read the body from standard input.
    const bool bodySet =
        givenUp ? curl_easy_setopt(h, CURLOPT_READFUNCTION, &readRequest) == CURLE_OK &&
                      curl_easy_setopt(h, CURLOPT_READDATA, this) == CURLE_OK
                : curl_easy_setopt(h, CURLOPT_POSTFIELDS,
                                   requestView.empty() ? "" : requestView.data()) == CURLE_OK;
    const bool ready =
        curl_easy_setopt(h, CURLOPT_URL, endpoint.c_str()) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_POST, 1L) == CURLE_OK && bodySet &&
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(requestView.size())) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &appendBody) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_WRITEDATA, this) == CURLE_OK &&
        curl_multi_add_handle(multi.get(), h) == CURLM_OK;
    if (!ready) return false;
    if (stop) stop->setWake([m = multi.get()] { curl_multi_wakeup(m); });
    running = true;
    return true;
}

template <typename Done>
void ServiceCall::Transfer::perform(Done done) {
    while (running && !done()) {
        if (stop && stop->requested()) return finish(CURLE_ABORTED_BY_CALLBACK);
        int stillRunning = 0;
        if (curl_multi_perform(multi.get(), &stillRunning) != CURLM_OK)
            return finish(CURLE_FAILED_INIT);
        if (!stillRunning) {
            int left = 0;
            CURLMsg* message = curl_multi_info_read(multi.get(), &left);
            return finish(message && message->msg == CURLMSG_DONE ? message->data.result
                                                                  : CURLE_FAILED_INIT);
        }
        if (done()) return;
        if (curl_multi_poll(multi.get(), nullptr, 0, kLongestWaitMs, nullptr) != CURLM_OK)
            return finish(CURLE_FAILED_INIT);
    }
}

bool ServiceCall::Transfer::receive(std::string& response) {
    try {
        perform([] { return false; });
        if (result != CURLE_OK) return false;
        response = std::move(body);
        long status = 0;
        if (curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) return false;
        return status == 200;
    } catch (...) {
        return false;
    }
}

void ServiceCall::Transfer::finish(CURLcode code) {
    result = code;
    running = false;
    if (stop) stop->setWake({});
    curl_multi_remove_handle(multi.get(), curl.get());
}

ServiceCall::ServiceCall(const std::string& endpoint, std::string&& request, StopSignal* stop)
    : m_transfer(std::make_unique<Transfer>()) {
    m_transfer->request = std::move(request);
    m_transfer->requestView = m_transfer->request;
    m_transfer->givenUp = true;
    m_transfer->stop = stop;
    try {
        m_transfer->setUp(endpoint);
    } catch (...) {
    }
}

ServiceCall::~ServiceCall() = default;

void ServiceCall::send(const std::function<void(std::string_view)>& onPiece) {
    Transfer& t = *m_transfer;
    t.onPiece = &onPiece;
    t.perform([&t] { return t.handedOver; });
    t.onPiece = nullptr;
}

std::string_view ServiceCall::unsent() const {
    const Transfer& t = *m_transfer;
    return t.handedOver ? std::string_view() : std::string_view(t.request).substr(t.sent);
}

bool ServiceCall::receive(std::string& response) { return m_transfer->receive(response); }

bool PostXML(const std::string& endpoint, std::string_view request, std::string& response,
             StopSignal* stop) {
    try {
        ServiceCall::Transfer transfer;
        transfer.requestView = request;
        transfer.stop = stop;
        return transfer.setUp(endpoint) && transfer.receive(response);
    } catch (...) {
        return false;
    }
}

bool PostXML(const std::string& endpoint, const char* request, std::string& response) {
    return PostXML(endpoint, std::string_view(request), response);
}

bool PostXML(const std::string& endpoint, std::string&& request, std::string& response,
             StopSignal* stop) {
    ServiceCall call(endpoint, std::move(request), stop);
    return call.receive(response);
}

}  // namespace kqc
