#include "quorra-standin/source_fetch.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace kqc::standin {
namespace {

struct Sink {
    std::string* data;
    std::size_t maxBytes;
};

std::size_t Collect(char* bytes, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    std::size_t n = size * count;
    if (sink->data->size() + n > sink->maxBytes) return 0;  // makes curl stop with an error
    sink->data->append(bytes, n);
    return n;
}

// A non-zero answer makes curl stop with an error.
int CancelWhenSet(void* cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(cancel)->load() ? 1 : 0;
}

}  // namespace

bool FetchLocation(const std::string& url, std::size_t maxBytes, std::chrono::seconds timeout,
                   const std::atomic<bool>& cancel, std::string& data) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) return false;
    std::string body;
    Sink sink{&body, maxBytes};
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 10L);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, static_cast<long>(timeout.count()));
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &CancelWhenSet);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(&cancel));
    if (curl_easy_perform(h) != CURLE_OK) return false;
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) return false;
    data = std::move(body);
    return true;
}

}  // namespace kqc::standin
