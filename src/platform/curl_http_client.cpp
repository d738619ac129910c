#include "platform/curl_http_client.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <stop_token>

namespace brimwick {
namespace {

struct Body {
    std::string bytes;
    bool tooLarge = false;
};

size_t appendBody(char* data, size_t size, size_t count, void* user) {
    auto* body = static_cast<Body*>(user);
    const size_t length = size * count;
    if (body->bytes.size() + length > CurlHttpClient::maxBodyBytes) {
        body->tooLarge = true;
        return 0;  // makes curl abort the transfer
    }
    body->bytes.append(data, length);
    return length;
}

bool isHttpUrl(const std::string& url) {
    return url.starts_with("http://") || url.starts_with("https://");
}

// curl_easy_perform, but a stop request ends the transfer at once: the multi interface lets
// another thread wake the wait, where the easy one would only look again after up to a second.
bool perform(CURL* handle, const std::stop_token& stop) {
    std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi(curl_multi_init(),
                                                                curl_multi_cleanup);
    if (!multi || curl_multi_add_handle(multi.get(), handle) != CURLM_OK) return false;
    bool done = false;
    {
        std::stop_callback wake(stop, [m = multi.get()] { curl_multi_wakeup(m); });
        CURLMcode state = CURLM_OK;
        int running = 1;
        while (state == CURLM_OK && !stop.stop_requested()) {
            state = curl_multi_perform(multi.get(), &running);
            if (state != CURLM_OK || running == 0) break;
            state = curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr);
        }
        if (state == CURLM_OK && running == 0 && !stop.stop_requested()) {
            int left = 0;
            const CURLMsg* message = curl_multi_info_read(multi.get(), &left);
            done = message && message->msg == CURLMSG_DONE && message->data.result == CURLE_OK;
        }
    }
    curl_multi_remove_handle(multi.get(), handle);
    return done;
}

}  // namespace

CurlHttpClient::CurlHttpClient() {
    // curl_global_init is not safe to race with other curl calls, so it runs once, here.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::optional<HttpClient::Response> CurlHttpClient::get(const Request& request) {
    if (!isHttpUrl(request.url) || request.stop.stop_requested()) return std::nullopt;

    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) return std::nullopt;

    curl_slist* list = nullptr;
    for (const auto& [name, value] : request.headers) {
        const std::string line = name + ": " + value;
        curl_slist* grown = curl_slist_append(list, line.c_str());
        if (!grown) {
            curl_slist_free_all(list);
            return std::nullopt;
        }
        list = grown;
    }
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(list, curl_slist_free_all);

    Body body;
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeoutSeconds * 1000));
    // Worker threads must not get SIGALRM from the resolver's time-out.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);

    if (!perform(handle, request.stop) || body.tooLarge) return std::nullopt;

    long status = 0;
    if (curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status <= 0) {
        return std::nullopt;
    }
    return Response{status, std::move(body.bytes)};
}

}  // namespace brimwick
