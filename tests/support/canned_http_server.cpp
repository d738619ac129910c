#include "support/canned_http_server.h"

#include <array>
#include <asio.hpp>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace brimwick::testing {

// Handlers hold a plain pointer: the destructor joins the thread before State goes away.
struct CannedHttpServer::State {
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor{io};
    std::thread thread;

    mutable std::mutex mutex;
    mutable std::condition_variable arrived;
    std::optional<std::string> reply = response(200, "{}");
    std::vector<Received> received;

    void accept() {
        acceptor.async_accept([self = this](std::error_code error, asio::ip::tcp::socket socket) {
            if (error) return;
            self->serve(std::make_shared<asio::ip::tcp::socket>(std::move(socket)),
                        std::make_shared<std::string>());
            self->accept();
        });
    }

    void serve(std::shared_ptr<asio::ip::tcp::socket> socket, std::shared_ptr<std::string> bytes) {
        auto buffer = std::make_shared<std::array<char, 4096>>();
        socket->async_read_some(
            asio::buffer(*buffer),
            [self = this, socket, bytes, buffer](std::error_code error, std::size_t count) {
                if (error) return;
                bytes->append(buffer->data(), count);
                const auto parsed = parseRequest(*bytes);
                if (parsed.status == ParseStatus::incomplete) {
                    self->serve(socket, bytes);
                    return;
                }
                std::optional<std::string> answer;
                {
                    std::lock_guard lock(self->mutex);
                    Received entry;
                    if (parsed.status == ParseStatus::request) entry.request = parsed.request;
                    entry.headerText = bytes->substr(0, bytes->find("\r\n\r\n"));
                    self->received.push_back(std::move(entry));
                    answer = self->reply;
                }
                self->arrived.notify_all();
                if (!answer) {
                    std::error_code ignored;
                    socket->close(ignored);
                    return;
                }
                auto out = std::make_shared<std::string>(std::move(*answer));
                asio::async_write(
                    *socket, asio::buffer(*out), [socket, out](std::error_code, std::size_t) {
                        std::error_code ignored;
                        socket->shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
                        socket->close(ignored);
                    });
            });
    }
};

CannedHttpServer::CannedHttpServer() : state_(std::make_shared<State>()) {
    const asio::ip::tcp::endpoint local(asio::ip::make_address("127.0.0.1"), 0);
    state_->acceptor.open(local.protocol());
    state_->acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true));
    state_->acceptor.bind(local);
    state_->acceptor.listen();
    state_->accept();
    state_->thread = std::thread([state = state_] { state->io.run(); });
}

CannedHttpServer::~CannedHttpServer() {
    state_->io.stop();
    state_->thread.join();
}

std::uint16_t CannedHttpServer::port() const {
    return state_->acceptor.local_endpoint().port();
}

std::string CannedHttpServer::url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port()) + std::string(path);
}

void CannedHttpServer::respondWith(std::string rawResponse) {
    std::lock_guard lock(state_->mutex);
    state_->reply = std::move(rawResponse);
}

void CannedHttpServer::closeWithoutAnswer() {
    std::lock_guard lock(state_->mutex);
    state_->reply.reset();
}

std::string CannedHttpServer::response(int status, std::string_view body,
                                       std::string_view contentType) {
    std::string out = "HTTP/1.1 " + std::to_string(status) + " Canned\r\n";
    if (!contentType.empty()) out += "Content-Type: " + std::string(contentType) + "\r\n";
    out += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
    out += body;
    return out;
}

std::vector<CannedHttpServer::Received> CannedHttpServer::received() const {
    std::lock_guard lock(state_->mutex);
    return state_->received;
}

bool CannedHttpServer::waitForRequests(std::size_t count, double timeoutSeconds) const {
    std::unique_lock lock(state_->mutex);
    return state_->arrived.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                                    [&] { return state_->received.size() >= count; });
}

}  // namespace brimwick::testing
