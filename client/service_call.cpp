#include "client/service_call.h"

#include "client/stop_signal.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace kqc {

namespace {

// A service that cannot even be reached gives up after this long; the exchange itself has no
// limit, since a long transcode may keep the service silent for minutes.
constexpr long kConnectTimeoutSeconds = 60;
constexpr int kLongestWaitMs = 10000;
// Requests and answers move in pieces of this size each way: whole-file requests take far fewer
// reads, sends and polls than with libcurl's defaults.
constexpr long kPieceSize = 1L << 20;

struct Transfer {
    CURL* curl = nullptr;
    std::size_t limit = 0;
    std::string body;
    bool reserved = false;
    // Set for a body given up by the caller: libcurl reads it through readRequest.
    RequestBody* ownedBody = nullptr;
    size_t sent = 0;
    bool handedOver = false;
    bool tooLarge = false;  // the last piece of the answer passed the limit, or memory ran out
};

// Hands libcurl the next piece of a request given up by the caller; after the last piece, the
// request's memory becomes the answer's buffer. Its pages are in memory already, while a fresh
// buffer of that size would be faulted in page by page.
size_t readRequest(char* buffer, size_t size, size_t count, void* userData) {
    auto* transfer = static_cast<Transfer*>(userData);
    if (transfer->handedOver) return 0;
    std::string& request = transfer->ownedBody->bytes;
    const size_t n = std::min(size * count, request.size() - transfer->sent);
    try {
        if (transfer->ownedBody->prepare) transfer->ownedBody->prepare(request, transfer->sent + n);
    } catch (...) {
        return CURL_READFUNC_ABORT;  // nothing may be thrown through libcurl
    }
    std::memcpy(buffer, request.data() + transfer->sent, n);
    transfer->sent += n;
    if (transfer->sent == request.size()) {
        transfer->handedOver = true;
        request.clear();
        // An answer that began early keeps its own buffer.
        if (transfer->body.empty()) transfer->body.swap(request);
        std::string().swap(request);
    }
    return n;
}

// Appends a piece of the answer, within the limit: the announced length is reserved once, so
// that a large answer is not copied again and again as it grows. An answer past the limit
// (announced or as it comes) ends the transfer. Nothing may be thrown through libcurl.
size_t appendBody(char* data, size_t size, size_t count, void* userData) {
    auto* transfer = static_cast<Transfer*>(userData);
    transfer->tooLarge = true;  // until the piece is in
    try {
        if (!transfer->reserved) {
            transfer->reserved = true;
            curl_off_t length = -1;
            if (curl_easy_getinfo(transfer->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) ==
                    CURLE_OK &&
                length > 0 && !ReserveWithin(transfer->body, static_cast<size_t>(length), transfer->limit))
                return 0;
        }
        if (!ReserveWithin(transfer->body, transfer->body.size() + size * count, transfer->limit))
            return 0;
        transfer->body.append(data, size * count);
        transfer->tooLarge = false;
        return size * count;
    } catch (...) {
        return 0;  // aborts the transfer: libcurl reports a write error
    }
}

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

using EasyHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
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

bool setBody(CURL* h, std::string_view request, Transfer& transfer) {
    if (transfer.ownedBody)
        return curl_easy_setopt(h, CURLOPT_READFUNCTION, &readRequest) == CURLE_OK &&
               curl_easy_setopt(h, CURLOPT_READDATA, &transfer) == CURLE_OK;
    // Never a null body: libcurl would then read the body from standard input.
    return curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.empty() ? "" : request.data()) ==
           CURLE_OK;
}

// Drives the transfer until it ends or a stop is requested; the stop wakes the wait at once, and
// libcurl shortens the wait by itself for its own timers.
CURLcode perform(CURL* h, StopSignal* stop) {
    using MultiHandle = std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)>;
    MultiHandle multi(curl_multi_init(), &curl_multi_cleanup);
    if (!multi || curl_multi_add_handle(multi.get(), h) != CURLM_OK) return CURLE_FAILED_INIT;
    if (stop) stop->setWake([m = multi.get()] { curl_multi_wakeup(m); });
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    int running = 1;
    while (!(stop && stop->requested())) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (!running) {
            int left = 0;
            CURLMsg* message = curl_multi_info_read(multi.get(), &left);
            result = message && message->msg == CURLMSG_DONE ? message->data.result
                                                              : CURLE_FAILED_INIT;
            break;
        }
        if (curl_multi_poll(multi.get(), nullptr, 0, kLongestWaitMs, nullptr) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
    }
    if (stop) stop->setWake({});
    curl_multi_remove_handle(multi.get(), h);
    return result;
}

// Why the call failed, or nothing for an answer with HTTP 200.
std::string post(const std::string& endpoint, std::string_view request, RequestBody* ownedBody,
                 StopSignal* stop, std::size_t limit, std::string& response) {
    const std::string cannotSetUp = "the call cannot be set up";
    try {
        initCurlOnce();
        EasyHandle curl(curl_easy_init(), &curl_easy_cleanup);
        HeaderList headers = soapHeaders();
        if (!curl || !headers) return cannotSetUp;

        Transfer transfer;
        transfer.curl = curl.get();
        transfer.limit = limit;
        transfer.ownedBody = ownedBody;
        CURL* h = curl.get();
        char error[CURL_ERROR_SIZE] = "";
        bool setUp =
            curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_URL, endpoint.c_str()) == CURLE_OK &&
            // A SOAP service speaks HTTP: a file:, ftp: or smtp: endpoint is refused, not used.
            curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_POST, 1L) == CURLE_OK && setBody(h, request, transfer) &&
            curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(request.size())) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &appendBody) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kPieceSize) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, kPieceSize) == CURLE_OK;
        if (!setUp) return cannotSetUp;

        const CURLcode done = perform(h, stop);
        if (transfer.tooLarge) return "the answer is larger than the memory this run may use";
        if (done != CURLE_OK) return *error ? error : curl_easy_strerror(done);
        response = std::move(transfer.body);
        long status = 0;
        if (curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) return cannotSetUp;
        if (status != 200) return "the service answered with HTTP status " + std::to_string(status);
        return "";
    } catch (...) {
        return "out of memory";
    }
}

}  // namespace

bool PostXML(const std::string& endpoint, std::string_view request, std::string& response,
             StopSignal* stop, std::size_t limit) {
    return post(endpoint, request, nullptr, stop, limit, response).empty();
}

bool PostXML(const std::string& endpoint, const char* request, std::string& response) {
    return post(endpoint, request, nullptr, nullptr, LargeBufferLimit(), response).empty();
}

bool PostXML(const std::string& endpoint, RequestBody body, std::string& response,
             StopSignal* stop, std::size_t limit, std::string* cause) {
    std::string why = post(endpoint, body.bytes, &body, stop, limit, response);
    if (cause) *cause = why;
    return why.empty();
}

bool PostXML(const std::string& endpoint, std::string&& request, std::string& response,
             StopSignal* stop, std::size_t limit) {
    return PostXML(endpoint, RequestBody{std::move(request), {}}, response, stop, limit);
}

}  // namespace kqc
