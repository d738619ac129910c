#include "net/http_server.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <thread>

#include "core/adopted_threads.h"
#include "support/eventually.h"
#include "support/raw_client.h"

namespace brimwick {
namespace {

using testing::eventually;
using testing::RawClient;

const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
std::string head(std::size_t length, const std::string& path = "/x") {
    return "POST " + path + " HTTP/1.1\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n";
}

// Holds requests to "/held" and answers the rest at once. Listening on both families makes the
// IPv4 and the IPv6 loopback clients two different peers.
class HttpServerTest : public ::testing::Test {
  protected:
    void start(const std::function<void(HttpServerOptions&)>& configure = {}) {
        HttpServerOptions options;
        options.address = "::";
        if (configure) configure(options);
        server = std::make_unique<HttpServer>(options, [this](HttpRequest request, auto responder) {
            std::lock_guard lock(mutex);
            if (request.path == "/held") return held.push_back(std::move(responder));
            ++handled;
            responder->respond(kOk);
        });
        ASSERT_TRUE(server->start().ok());
    }
    std::size_t heldCount() {
        std::lock_guard lock(mutex);
        return held.size();
    }
    bool buffered(std::size_t bytes) {
        return eventually([&] { return server->bufferedBytes() == bytes; }, 5);
    }
    bool open(std::size_t count) {
        return eventually([&] { return server->openConnections() == count; }, 5);
    }
    // Answers and reports whether the answer was undelivered (the callback ran on the server).
    bool undelivered(HttpResponder& responder) {
        std::promise<void> failed, drained;
        responder.respond(kOk, [&failed] { failed.set_value(); });
        // The write (or the report) has happened once the server thread ran a later task.
        server->post([&drained] { drained.set_value(); });
        drained.get_future().wait();
        return failed.get_future().wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }

    std::mutex mutex;
    std::vector<std::shared_ptr<HttpResponder>> held;
    int handled = 0;
    std::unique_ptr<HttpServer> server;
};

TEST_F(HttpServerTest, TheSenderThatWouldGoBeyondTheSharedBudgetIsDropped) {
    start([](auto& o) {
        o.maxBufferedBytes = 80'000;
        o.maxTotalBufferedBytes = 100'000;
    });
    RawClient a(server->port());
    a.send(head(70'000) + std::string(65'000, 'a'));
    ASSERT_TRUE(buffered(head(70'000).size() + 65'000));
    // Each alone is within its own limit, together they are not: the newcomer goes.
    RawClient b(server->port());
    b.send(head(40'000) + std::string(39'000, 'b'));
    EXPECT_TRUE(b.waitForClose());
    EXPECT_EQ(b.readAll(0.1), "");
    ASSERT_TRUE(buffered(head(70'000).size() + 65'000));
    a.send(std::string(5'000, 'a'));  // served, and its bytes given back
    EXPECT_EQ(a.readAll(), kOk);
    EXPECT_TRUE(buffered(0));
    RawClient c(server->port());
    c.send(head(40'000) + std::string(40'000, 'c'));
    EXPECT_EQ(c.readAll(), kOk) << "with the budget free again, the same size goes through";

    {
        RawClient leaving(server->port());
        leaving.send(head(50'000) + std::string(20'000, 'x'));
        ASSERT_TRUE(buffered(head(50'000).size() + 20'000));
    }  // the peer leaves mid-request
    EXPECT_TRUE(buffered(0));
    RawClient tooBig(server->port());  // beyond one connection's own limit
    tooBig.send(head(90'000) + std::string(85'000, 'x'));
    EXPECT_TRUE(tooBig.waitForClose());
    EXPECT_TRUE(buffered(0));
    RawClient malformed(server->port());
    malformed.send("POST /x HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n");
    EXPECT_TRUE(malformed.waitForClose());
    EXPECT_TRUE(buffered(0));
    EXPECT_EQ(handled, 2);
}

TEST_F(HttpServerTest, AnAnswerReachesOnlyAPeerStillWaitingAndOnlyOnce) {
    start();
    {
        RawClient gone(server->port());
        gone.send(head(2, "/held") + "{}");
        ASSERT_TRUE(eventually([&] { return heldCount() == 1; }));
    }
    // On loopback the peer's close has reached our end by the time close() returns.
    EXPECT_TRUE(undelivered(*held[0]));
    RawClient waiting(server->port());
    waiting.send(head(2, "/held") + "{}");
    ASSERT_TRUE(eventually([&] { return heldCount() == 2; }));
    EXPECT_FALSE(undelivered(*held[1]));
    EXPECT_EQ(waiting.readAll(), kOk);
    EXPECT_TRUE(undelivered(*held[1]));
}

TEST_F(HttpServerTest, TheOldestIdleConnectionMakesRoomButAHeldOneNever) {
    start([](auto& o) { o.maxConnections = 3; });
    RawClient held1(server->port());
    held1.send(head(0, "/held"));
    ASSERT_TRUE(eventually([&] { return heldCount() == 1; }));
    RawClient idle1(server->port());
    idle1.send("P");
    RawClient idle2(server->port());
    ASSERT_TRUE(open(3));
    RawClient newcomer(server->port());
    newcomer.send("GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(newcomer.readAll(), kOk);
    EXPECT_TRUE(idle1.waitForClose());
    EXPECT_EQ(idle1.readAll(0.1), "");
    // With every place held, the newcomer is the one turned away.
    RawClient held2(server->port()), held3(server->port());
    held2.send(head(0, "/held"));
    held3.send(head(0, "/held"));
    ASSERT_TRUE(eventually([&] { return heldCount() == 3; }));
    EXPECT_TRUE(idle2.waitForClose());
    RawClient refused(server->port());
    EXPECT_TRUE(refused.waitForClose());
    held[0]->respond(kOk);
    EXPECT_EQ(held1.readAll(), kOk);
}

TEST_F(HttpServerTest, OnePeerCannotTakeEveryPlaceNorWaitLongForItsHeader) {
    start([](auto& o) { o.maxConnectionsPerPeer = 2; });
    RawClient first(server->port()), second(server->port());
    ASSERT_TRUE(open(2));
    RawClient third(server->port());  // the same peer: its own oldest goes
    EXPECT_TRUE(first.waitForClose());
    RawClient other(server->port(), /*ipv6=*/true);  // another peer is not counted with it
    other.send("GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(other.readAll(), kOk);
    EXPECT_TRUE(open(2));  // the second and the third

    start([](auto& o) {
        o.headerTimeout = 0.2;
        o.requestTimeout = 30;
    });
    RawClient slowBody(server->port());
    slowBody.send(head(10) + "{");
    RawClient slowHead(server->port());
    slowHead.send("POST /x HTTP/1.1\r\nContent-Le");
    EXPECT_TRUE(slowHead.waitForClose());
    // The older connection's header limit ran out first; it stays because its header came.
    ASSERT_TRUE(open(1));
    slowBody.send("123456789");
    EXPECT_EQ(slowBody.readAll(), kOk);
}

TEST(HttpServerStartTest, FallsBackOnlyFromAnAddressThisMachineCannotUse) {
    HttpServer taken(HttpServerOptions{}, [](HttpRequest, auto) {});
    ASSERT_TRUE(taken.start().ok());
    // Not one of this machine's addresses (or no IPv6 at all), like "::" with IPv6 off.
    HttpServerOptions unusable, busy;
    unusable.address = "2001:db8::1";
    unusable.fallbackAddresses = {"127.0.0.1"};
    HttpServer server(unusable, [](HttpRequest, auto responder) { responder->respond(kOk); });
    ASSERT_TRUE(server.start().ok());
    RawClient client(server.port());
    client.send(head(0));
    EXPECT_EQ(client.readAll(), kOk);
    busy.fallbackAddresses = {"127.0.0.2"};
    busy.port = taken.port();
    EXPECT_EQ(HttpServer(busy, [](HttpRequest, auto) {}).start().error().message,
              "Address already in use");
}

TEST(HttpServerLifetimeTest, AServerLetGoInItsOwnHandlerLeavesAThreadMainJoins) {
    auto sentinel = std::make_shared<int>(0);
    const std::weak_ptr<int> handlerState = sentinel;
    std::atomic<bool> letGo = false;
    auto owner = std::make_shared<std::unique_ptr<HttpServer>>();
    *owner = std::make_unique<HttpServer>(
        HttpServerOptions{}, [owner, sentinel = std::move(sentinel), &letGo](HttpRequest, auto) {
            owner->reset();
            letGo = true;
            // Still busy after its owner has gone: only a join can tell when it is done.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        });
    ASSERT_TRUE((*owner)->start().ok());
    RawClient client((*owner)->port());
    client.send(head(0));
    ASSERT_TRUE(eventually([&] { return letGo.load(); }));
    joinAdoptedThreads();
    EXPECT_TRUE(handlerState.expired());
}

}  // namespace
}  // namespace brimwick
