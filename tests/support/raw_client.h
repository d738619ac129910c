// RawClient: a blocking loopback TCP client for byte-exact server tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brimwick::testing {

class RawClient {
  public:
    // Connects to 127.0.0.1:port (or ::1 with ipv6) with TCP_NODELAY, so small sends tend to
    // travel as separate segments. Fails the current test when it cannot.
    explicit RawClient(std::uint16_t port, bool ipv6 = false);
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    bool send(std::string_view bytes);
    void shutdownWrite();

    // Reads until the server closes or `timeoutSeconds` passes; `closed` says which happened.
    std::string readAll(double timeoutSeconds = 5.0);
    bool closed() const { return closed_; }
    // True when the server closed the connection (or reset it) within the time.
    bool waitForClose(double timeoutSeconds = 5.0) { return readAll(timeoutSeconds), closed_; }

  private:
    int fd_ = -1;
    bool closed_ = false;
};

// One whole request: "POST <path> HTTP/1.1" with the given extra header lines and body.
std::string postRequest(std::string_view path, std::string_view body,
                        std::string_view extraHeaders = "Content-Type: application/json\r\n");

}  // namespace brimwick::testing
