#include "support/phone_client.h"

#include <netinet/in.h>
#include <unistd.h>

#include "support/raw_client.h"

namespace brimwick::testing {
std::uint16_t freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    ::bind(fd, raw, length), ::getsockname(fd, raw, &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

PhoneAnswer phoneRequest(std::uint16_t port, const std::string& method, const std::string& target,
                         const std::string& token, const std::string& body) {
    RawClient client(port);
    client.send(method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                (token.empty() ? "" : "Authorization: Bearer " + token + "\r\n") +
                "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    const auto raw = client.readAll(30);
    const auto start = std::min(raw.find("\r\n\r\n"), raw.size()) + 4;  // past the blank line
    PhoneAnswer answer;
    if (raw.size() >= 12) answer.status = raw.substr(9, raw.find("\r\n") - 9);
    if (start < raw.size()) answer.body = nlohmann::json::parse(raw.substr(start), nullptr, false);
    return answer;
}
}  // namespace brimwick::testing
