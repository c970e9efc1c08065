#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kqc {

class StopSignal;

// POSTs the request to the endpoint with "SOAPAction: transcode". True only for HTTP 200.
// response receives the body whenever one was read, whatever the status; every failure
// becomes false, nothing is thrown. An answer larger than LargeBufferLimit() is cut off there
// and counts as a failure. A stop request ends the call at once, as a failure.
bool PostXML(const std::string& endpoint, std::string_view request, std::string& response,
             StopSignal* stop = nullptr);
bool PostXML(const std::string& endpoint, const char* request, std::string& response);

// The same for a request the caller gives up: once libcurl has taken its last byte, the
// request's memory is released, or serves as the answer's buffer, so that a whole-file request
// and its whole-file answer never take room at the same time. request is empty afterwards.
bool PostXML(const std::string& endpoint, std::string&& request, std::string& response,
             StopSignal* stop = nullptr);

// That call in two steps, for a caller that acts while the request goes out and before the
// answer is waited for (the debug log writes a whole-file request as it uploads).
class ServiceCall {
public:
    ServiceCall(const std::string& endpoint, std::string&& request, StopSignal* stop = nullptr);
    ~ServiceCall();
    ServiceCall(const ServiceCall&) = delete;
    ServiceCall& operator=(const ServiceCall&) = delete;

    // Goes on until libcurl has taken the request's last byte, or the transfer has ended;
    // onPiece sees each piece of the request, in order, before libcurl takes it.
    void send(const std::function<void(std::string_view)>& onPiece = {});
    // The part of the request that the transfer did not take, having ended early.
    std::string_view unsent() const;
    // Waits for the answer; the result and response as PostXML gives them.
    bool receive(std::string& response);

    struct Transfer;

private:
    std::unique_ptr<Transfer> m_transfer;
};

}  // namespace kqc
