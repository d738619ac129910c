#include "net/http_server.h"

#include <sys/socket.h>

#include <algorithm>
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
    Connection(HttpServer::State& state, tcp::socket socket, std::uint64_t serial);
    tcp::socket socket;
    asio::ip::address peer;
    std::uint64_t serial;  // order of acceptance: smaller is older
    std::chrono::steady_clock::time_point opened = std::chrono::steady_clock::now();
    asio::steady_timer deadline;
    bool headComplete = false;
    std::string buffer;
    std::array<char, kReadChunk> chunk;
    bool answered = false;  // server thread only
    bool complete = false;  // the request has been handed over
    bool watched = false;   // the handler asked to hear when the peer leaves
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
    std::uint64_t accepted = 0;  // server thread only

    void accept();
    void admit(tcp::socket socket);
    bool makeRoom(const asio::ip::address& peer);
    std::shared_ptr<Connection> oldestUnfinished(const asio::ip::address* peer) const;
    void closeAt(const std::shared_ptr<Connection>& connection, double secondsAfterOpening);
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
        if (auto connection = connection_.lock()) {
            connection->closed = std::move(closed);
            connection->watched = true;
        }
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

Connection::Connection(HttpServer::State& state, tcp::socket s, std::uint64_t serial)
    : socket(std::move(s)), serial(serial), deadline(state.context) {
    std::error_code ignored;
    peer = socket.remote_endpoint(ignored).address();
}

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
        state->admit(std::move(socket));
        state->accept();
    });
}

void HttpServer::State::admit(tcp::socket socket) {
    auto connection = std::make_shared<Connection>(*this, std::move(socket), ++accepted);
    if (!makeRoom(connection->peer)) {
        std::error_code ignored;
        connection->socket.close(ignored);
        return;
    }
    connections.insert(connection);
    openCount = connections.size();
    closeAt(connection, std::min(options.headerTimeout, options.requestTimeout));
    read(connection);
}

// A crowd of idle connections must not lock out the peers that send their request at once:
// the newcomer takes the place of the oldest connection still waiting for its request, while a
// request that is complete (held for an answer, a long poll) keeps its place.
bool HttpServer::State::makeRoom(const asio::ip::address& peer) {
    if (options.maxConnectionsPerPeer > 0) {
        const auto fromPeer = std::count_if(connections.begin(), connections.end(),
                                            [&](const auto& c) { return c->peer == peer; });
        if (static_cast<std::size_t>(fromPeer) >= options.maxConnectionsPerPeer) {
            auto victim = oldestUnfinished(&peer);
            if (!victim) return false;
            close(victim);
        }
    }
    if (connections.size() >= options.maxConnections) {
        auto victim = oldestUnfinished(nullptr);
        if (!victim) return false;
        close(victim);
    }
    return true;
}

std::shared_ptr<Connection> HttpServer::State::oldestUnfinished(
    const asio::ip::address* peer) const {
    std::shared_ptr<Connection> oldest;
    for (const auto& connection : connections) {
        if (connection->complete || (peer && connection->peer != *peer)) continue;
        if (!oldest || connection->serial < oldest->serial) oldest = connection;
    }
    return oldest;
}

void HttpServer::State::closeAt(const std::shared_ptr<Connection>& connection,
                                double secondsAfterOpening) {
    connection->deadline.expires_at(connection->opened +
                                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                        std::chrono::duration<double>(secondsAfterOpening)));
    connection->deadline.async_wait(
        [self = weak_from_this(),
         weak = std::weak_ptr<Connection>(connection)](std::error_code error) {
            auto state = self.lock();
            auto connection = weak.lock();
            if (!error && state && connection) state->close(connection);
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
                return;
            }
            if (result.headComplete && !connection->headComplete) {
                // The header section came in time; the body of a large request may take longer.
                connection->headComplete = true;
                closeAt(connection, options.requestTimeout);
            }
            read(connection);
            return;
        case ParseStatus::request:
            connection->deadline.cancel();
            connection->complete = true;
            release(*connection);  // held requests keep no buffer
            handler(std::move(result.request),
                    std::make_shared<Responder>(weak_from_this(), connection));
            if ((options.watchHeldConnections || connection->watched) && !connection->answered &&
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
