#include "support/phone_client.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/raw_client.h"

namespace brimwick::testing {

std::uint16_t freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

PhoneAnswer phoneRequest(std::uint16_t port, const std::string& method, const std::string& target,
                         const std::string& token, const std::string& body) {
    RawClient client(port);
    std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (!token.empty()) request += "Authorization: Bearer " + token + "\r\n";
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    client.send(request);
    const auto raw = client.readAll(30);
    PhoneAnswer answer;
    if (raw.size() < 12) return answer;
    answer.status = raw.substr(9, raw.find("\r\n") - 9);
    const auto blank = raw.find("\r\n\r\n");
    if (blank != std::string::npos && blank + 4 < raw.size()) {
        answer.body = nlohmann::json::parse(raw.substr(blank + 4), nullptr, false);
    }
    return answer;
}

PhoneAnswer phoneDecides(std::uint16_t port, const std::string& token, const nlohmann::json& id,
                         const std::string& decision) {
    return phoneRequest(port, "POST", "/decide", token,
                        nlohmann::json{{"id", id}, {"decision", decision}}.dump());
}

nlohmann::json allowedByPhoneOutput() {
    return {{"hookSpecificOutput",
             {{"hookEventName", "PermissionRequest"}, {"decision", {{"behavior", "allow"}}}}}};
}

}  // namespace brimwick::testing
