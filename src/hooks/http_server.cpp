#include "hooks/http_server.h"

#include <sys/socket.h>

#include <array>
#include <asio.hpp>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>
#include <unordered_set>

#include "core/adopted_threads.h"

namespace brimwick {

namespace {
using asio::ip::tcp;
constexpr std::size_t kReadChunk = 16 * 1024;
}  // namespace

struct Connection : std::enable_shared_from_this<Connection> {
    Connection(HttpServer::State& state, tcp::socket socket);
    tcp::socket socket;
    asio::steady_timer deadline;
    std::string buffer;
    std::array<char, kReadChunk> chunk;
    bool answered = false;  // server thread only
    bool complete = false;  // the request has been handed over
    std::function<void()> closed;
};

struct HttpServer::State : std::enable_shared_from_this<HttpServer::State> {
    HttpServerOptions options;
    Handler handler;
    FailureHandler onFailure;
    asio::io_context context{1};
    tcp::acceptor acceptor{context};
    std::unordered_set<std::shared_ptr<Connection>> connections;  // server thread only
    std::atomic<std::size_t> openCount{0};
    std::atomic<std::size_t> buffered{0};  // written on the server thread only
    std::atomic<std::uint16_t> boundPort{0};
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    std::thread thread;

    void accept();
    void read(const std::shared_ptr<Connection>& connection);
    void onBytes(const std::shared_ptr<Connection>& connection, std::size_t count,
                 const std::error_code& error);
    void write(const std::shared_ptr<Connection>& connection, std::string bytes,
               std::function<void()> undelivered = {});
    void close(const std::shared_ptr<Connection>& connection);
    void release(Connection& connection);
    void stop();
};

namespace {

// Whether the peer has closed its end or reset the connection, without taking any of its bytes.
bool peerHasLeft(tcp::socket& socket) {
    char byte;
    const ssize_t peeked = ::recv(socket.native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return peeked == 0 || (peeked < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

class Responder final : public HttpResponder {
  public:
    Responder(std::weak_ptr<HttpServer::State> state, std::weak_ptr<Connection> connection)
        : state_(std::move(state)), connection_(std::move(connection)) {}

    void onClose(std::function<void()> closed) override {
        if (auto connection = connection_.lock()) connection->closed = std::move(closed);
    }

    void respond(std::string bytes, std::function<void()> undelivered) override {
        auto state = state_.lock();
        if (!state) return;
        asio::post(state->context,
                   [weakState = state_, weakConnection = connection_, bytes = std::move(bytes),
                    undelivered = std::move(undelivered)]() mutable {
                       auto state = weakState.lock();
                       if (!state) return;
                       auto connection = weakConnection.lock();
                       // The first answer wins; the flag lives on the server thread.
                       const bool open = connection && state->connections.count(connection) &&
                                         !connection->answered;
                       if (open && !(undelivered && peerHasLeft(connection->socket))) {
                           state->write(connection, std::move(bytes), std::move(undelivered));
                           return;
                       }
                       if (open) state->close(connection);
                       if (undelivered) undelivered();
                   });
    }

  private:
    std::weak_ptr<HttpServer::State> state_;
    std::weak_ptr<Connection> connection_;
};

// Errors after which accepting again soon can succeed (descriptors or memory run short).
bool isTransient(const std::error_code& error) {
    return error == asio::error::no_descriptors || error == asio::error::no_buffer_space ||
           error == asio::error::no_memory || error.value() == ENFILE ||
           error == asio::error::connection_aborted;
}

}  // namespace

Connection::Connection(HttpServer::State& state, tcp::socket s)
    : socket(std::move(s)), deadline(state.context) {}

void HttpServer::State::accept() {
    acceptor.async_accept([self = weak_from_this()](std::error_code error, tcp::socket socket) {
        auto state = self.lock();
        if (!state || error == asio::error::operation_aborted) return;
        if (error) {
            if (isTransient(error)) {
                auto timer = std::make_shared<asio::steady_timer>(state->context);
                timer->expires_after(std::chrono::milliseconds(100));
                timer->async_wait([self, timer](std::error_code) {
                    if (auto state = self.lock()) state->accept();
                });
                return;
            }
            if (state->onFailure) state->onFailure(error.message());
            return;
        }
        if (state->connections.size() >= state->options.maxConnections) {
            std::error_code ignored;
            socket.close(ignored);  // refuse the newest, keep the ones already being served
        } else {
            auto connection = std::make_shared<Connection>(*state, std::move(socket));
            state->connections.insert(connection);
            state->openCount = state->connections.size();
            connection->deadline.expires_after(
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                    std::chrono::duration<double>(state->options.requestTimeout)));
            connection->deadline.async_wait(
                [self, weak = std::weak_ptr<Connection>(connection)](std::error_code error) {
                    auto state = self.lock();
                    auto connection = weak.lock();
                    if (!error && state && connection) state->close(connection);
                });
            state->read(connection);
        }
        state->accept();
    });
}

void HttpServer::State::read(const std::shared_ptr<Connection>& connection) {
    connection->socket.async_read_some(
        asio::buffer(connection->chunk),
        [self = weak_from_this(), connection](std::error_code error, std::size_t count) {
            if (auto state = self.lock()) state->onBytes(connection, count, error);
        });
}

void HttpServer::State::onBytes(const std::shared_ptr<Connection>& connection, std::size_t count,
                                const std::error_code& error) {
    if (!connections.count(connection) || connection->answered) return;
    if (connection->complete) {
        // A held connection being watched: anything more from the peer is ignored, its end
        // means nobody is waiting for the answer any more.
        if (error) {
            auto closed = std::move(connection->closed);
            close(connection);
            if (closed) closed();
        } else {
            read(connection);
        }
        return;
    }
    connection->buffer.append(connection->chunk.data(), count);
    buffered += count;
    ParseResult result = parseRequest(connection->buffer, options.limits);
    switch (result.status) {
        case ParseStatus::malformed:
            connection->deadline.cancel();
            write(connection, options.badRequestResponse);
            return;
        case ParseStatus::incomplete:
            if (error || connection->buffer.size() > options.maxBufferedBytes ||
                buffered > options.maxTotalBufferedBytes) {
                close(connection);
            } else {
                read(connection);
            }
            return;
        case ParseStatus::request:
            connection->deadline.cancel();
            connection->complete = true;
            release(*connection);  // held requests keep no buffer
            handler(std::move(result.request),
                    std::make_shared<Responder>(weak_from_this(), connection));
            if (options.watchHeldConnections && !connection->answered &&
                connections.count(connection)) {
                read(connection);
            }
            return;
    }
}

void HttpServer::State::write(const std::shared_ptr<Connection>& connection, std::string bytes,
                              std::function<void()> undelivered) {
    connection->answered = true;
    auto data = std::make_shared<std::string>(std::move(bytes));
    asio::async_write(connection->socket, asio::buffer(*data),
                      [self = weak_from_this(), connection, data,
                       undelivered = std::move(undelivered)](std::error_code error, std::size_t) {
                          auto state = self.lock();
                          if (!state) return;
                          state->close(connection);
                          if (error && undelivered) undelivered();
                      });
}

void HttpServer::State::close(const std::shared_ptr<Connection>& connection) {
    std::error_code ignored;
    connection->closed = nullptr;
    connection->deadline.cancel();
    connection->socket.shutdown(tcp::socket::shutdown_both, ignored);
    connection->socket.close(ignored);
    release(*connection);
    connections.erase(connection);
    openCount = connections.size();
}

void HttpServer::State::release(Connection& connection) {
    buffered -= connection.buffer.size();
    std::string().swap(connection.buffer);
}

void HttpServer::State::stop() {
    context.stop();
    if (thread.joinable()) {
        // The last owner may let go from inside one of our own handlers; the thread then ends
        // by itself once that handler returns, holding the state until it does, and main
        // joins it before it returns.
        if (thread.get_id() == std::this_thread::get_id()) {
            adoptThread(std::move(thread));
        } else {
            thread.join();
        }
    }
    std::error_code ignored;
    acceptor.close(ignored);
    for (const auto& connection : connections) connection->socket.close(ignored);
    connections.clear();
    openCount = 0;
    buffered = 0;
}

HttpServer::HttpServer(HttpServerOptions options, Handler handler, FailureHandler onFailure)
    : state_(std::make_shared<State>()) {
    state_->options = std::move(options);
    state_->handler = std::move(handler);
    state_->onFailure = std::move(onFailure);
}

HttpServer::~HttpServer() {
    state_->stop();
}

namespace {

// Opens, binds and listens; on failure the acceptor is closed again.
std::error_code listenOn(tcp::acceptor& acceptor, const std::string& text, std::uint16_t port) {
    std::error_code error;
    const auto address = asio::ip::make_address(text, error);
    if (error) return error;
    const tcp::endpoint endpoint(address, port);
    acceptor.open(endpoint.protocol(), error);
    if (!error) {
        if (address.is_v6()) acceptor.set_option(asio::ip::v6_only(false), error);
        if (!error) acceptor.set_option(tcp::acceptor::reuse_address(true), error);
        if (!error) acceptor.bind(endpoint, error);
        if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
    }
    if (error) {
        std::error_code ignored;
        acceptor.close(ignored);
    }
    return error;
}

bool unusableHere(const std::error_code& error) {
    return error == asio::error::address_family_not_supported ||
           error == std::error_code(EADDRNOTAVAIL, asio::error::get_system_category());
}

}  // namespace

Result<void> HttpServer::start() {
    auto& acceptor = state_->acceptor;
    std::error_code error = listenOn(acceptor, state_->options.address, state_->options.port);
    for (const auto& fallback : state_->options.fallbackAddresses) {
        if (!error || !unusableHere(error)) break;
        error = listenOn(acceptor, fallback, state_->options.port);
    }
    if (error) return Error{"listen", error.message()};
    state_->boundPort = acceptor.local_endpoint(error).port();
    state_->accept();
    state_->work.emplace(state_->context.get_executor());
    state_->thread = std::thread([state = state_] { state->context.run(); });
    return {};
}

std::uint16_t HttpServer::port() const {
    return state_->boundPort;
}

void HttpServer::post(std::function<void()> task) {
    asio::post(state_->context, std::move(task));
}

asio::io_context& HttpServer::context() {
    return state_->context;
}

std::size_t HttpServer::openConnections() const {
    return state_->openCount;
}

std::size_t HttpServer::bufferedBytes() const {
    return state_->buffered;
}

}  // namespace brimwick
