// CurlHttpClient: the HttpClient on libcurl, used for the plan-usage request.
#pragma once

#include <cstddef>

#include "platform/http_client.h"

namespace brimwick {

// Each call uses its own easy handle, so concurrent calls share nothing. Redirects are not
// followed (the bearer token must not travel to another host) and only http and https URLs are
// accepted. Proxy settings come from the usual environment variables.
class CurlHttpClient final : public HttpClient {
  public:
    // Bodies beyond this are abandoned and reported as a failed transfer.
    static constexpr std::size_t maxBodyBytes = 4 * 1024 * 1024;

    CurlHttpClient();

    std::optional<Response> get(const Request& request) override;
};

}  // namespace brimwick
