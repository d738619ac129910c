#include "net/http_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "core/adopted_threads.h"
#include "support/eventually.h"
#include "support/raw_client.h"

namespace brimwick {
namespace {

using testing::RawClient;

const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";

std::string head(std::size_t length) {
    return "POST /x HTTP/1.1\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n";
}

class HttpServerBudgetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        HttpServerOptions options;
        options.maxBufferedBytes = 80'000;
        options.maxTotalBufferedBytes = 100'000;
        server = std::make_unique<HttpServer>(
            options, [this](HttpRequest, std::shared_ptr<HttpResponder> responder) {
                handled++;
                responder->respond(kOk);
            });
        ASSERT_TRUE(server->start().ok());
    }

    // The server reads on its own thread; wait until it has taken what was sent.
    bool bufferedReaches(std::size_t bytes) {
        return testing::eventually([&] { return server->bufferedBytes() == bytes; }, 5);
    }

    std::atomic<int> handled{0};
    std::unique_ptr<HttpServer> server;
};

TEST_F(HttpServerBudgetTest, TheSenderThatWouldGoBeyondTheBudgetIsDropped) {
    const std::string headA = head(70'000), headB = head(40'000);
    RawClient a(server->port());
    a.send(headA + std::string(65'000, 'a'));
    ASSERT_TRUE(bufferedReaches(headA.size() + 65'000));

    // Each alone is within its own limit, together they are not: the newcomer goes.
    RawClient b(server->port());
    b.send(headB + std::string(39'000, 'b'));
    EXPECT_TRUE(b.waitForClose(5.0));
    EXPECT_EQ(b.readAll(0.1), "");
    ASSERT_TRUE(bufferedReaches(headA.size() + 65'000));

    // The first finishes and is served; its bytes are given back.
    a.send(std::string(5'000, 'a'));
    EXPECT_EQ(a.readAll(), kOk);
    EXPECT_EQ(handled, 1);
    EXPECT_TRUE(bufferedReaches(0));

    // With the budget free again, a request as large as the one dropped goes through.
    RawClient c(server->port());
    c.send(headB + std::string(40'000, 'c'));
    EXPECT_EQ(c.readAll(), kOk);
    EXPECT_EQ(handled, 2);
}

TEST_F(HttpServerBudgetTest, BytesOfClosedAndMalformedRequestsAreGivenBack) {
    {
        RawClient leaving(server->port());
        leaving.send(head(50'000) + std::string(20'000, 'x'));
        ASSERT_TRUE(bufferedReaches(head(50'000).size() + 20'000));
    }  // the peer leaves mid-request
    EXPECT_TRUE(bufferedReaches(0));

    RawClient tooBig(server->port());
    tooBig.send(head(90'000) + std::string(85'000, 'x'));
    EXPECT_TRUE(tooBig.waitForClose(5.0));  // beyond one connection's own limit
    EXPECT_TRUE(bufferedReaches(0));

    RawClient malformed(server->port());
    malformed.send("POST /x HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n");
    EXPECT_TRUE(malformed.waitForClose(5.0));
    EXPECT_TRUE(bufferedReaches(0));
    EXPECT_EQ(handled, 0);
}

// A server whose handler keeps every responder, to answer later as the test decides.
class HttpServerHeldTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server = std::make_unique<HttpServer>(
            HttpServerOptions{}, [this](HttpRequest, std::shared_ptr<HttpResponder> responder) {
                std::lock_guard lock(mutex);
                held.push_back(std::move(responder));
            });
        ASSERT_TRUE(server->start().ok());
    }

    std::shared_ptr<HttpResponder> waitForRequest(std::size_t count) {
        std::shared_ptr<HttpResponder> found;
        testing::eventually([&] {
            std::lock_guard lock(mutex);
            if (held.size() >= count) found = held[count - 1];
            return found != nullptr;
        });
        return found;
    }

    // Answers and reports whether the answer was undelivered (the callback ran on the server).
    bool undelivered(HttpResponder& responder, const std::string& bytes) {
        std::promise<void> failed;
        auto future = failed.get_future();
        responder.respond(bytes, [&failed] { failed.set_value(); });
        // The write (or the report) has happened once the server thread ran a later task.
        std::promise<void> drained;
        server->post([&drained] { drained.set_value(); });
        drained.get_future().wait();
        return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }

    std::mutex mutex;
    std::vector<std::shared_ptr<HttpResponder>> held;
    std::unique_ptr<HttpServer> server;
};

TEST_F(HttpServerHeldTest, AnAnswerToAPeerThatLeftIsReportedUndelivered) {
    {
        RawClient gone(server->port());
        gone.send(head(2) + "{}");
        ASSERT_TRUE(waitForRequest(1));
    }
    // On loopback the peer's close has reached our end by the time close() returns.
    EXPECT_TRUE(undelivered(*held[0], kOk));

    RawClient waiting(server->port());
    waiting.send(head(2) + "{}");
    ASSERT_TRUE(waitForRequest(2));
    EXPECT_FALSE(undelivered(*held[1], kOk));
    EXPECT_EQ(waiting.readAll(), kOk);
    // Only the first answer is written; a second one is reported as not delivered.
    EXPECT_TRUE(undelivered(*held[1], kOk));
}

// Holds requests to "/held" and answers the rest at once; listens on both families so that the
// IPv4 and the IPv6 loopback clients are two different peers.
class HttpServerCrowdTest : public ::testing::Test {
  protected:
    void start(HttpServerOptions options) {
        options.address = "::";
        server = std::make_unique<HttpServer>(
            options, [this](HttpRequest request, std::shared_ptr<HttpResponder> responder) {
                if (request.path != "/held") return responder->respond(kOk);
                std::lock_guard lock(mutex);
                held.push_back(std::move(responder));
            });
        ASSERT_TRUE(server->start().ok());
    }
    bool heldCount(std::size_t count) {
        return testing::eventually([&] {
            std::lock_guard lock(mutex);
            return held.size() == count;
        });
    }
    bool open(std::size_t count) {
        return testing::eventually([&] { return server->openConnections() == count; }, 5);
    }

    std::mutex mutex;
    std::vector<std::shared_ptr<HttpResponder>> held;
    std::unique_ptr<HttpServer> server;
};

TEST_F(HttpServerCrowdTest, TheOldestIdleConnectionMakesRoomButAHeldOneNever) {
    HttpServerOptions options;
    options.maxConnections = 3;
    start(options);
    RawClient held1(server->port());
    held1.send("POST /held HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(heldCount(1));
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
    RawClient held2(server->port());
    held2.send("POST /held HTTP/1.1\r\n\r\n");
    RawClient held3(server->port());
    held3.send("POST /held HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(heldCount(3));
    EXPECT_TRUE(idle2.waitForClose());
    RawClient refused(server->port());
    EXPECT_TRUE(refused.waitForClose());
    held[0]->respond(kOk);
    EXPECT_EQ(held1.readAll(), kOk);
}

TEST_F(HttpServerCrowdTest, OnePeerCannotTakeEveryPlace) {
    HttpServerOptions options;
    options.maxConnectionsPerPeer = 2;
    start(options);
    RawClient first(server->port());
    RawClient second(server->port());
    ASSERT_TRUE(open(2));
    RawClient third(server->port());  // the same peer: its own oldest goes
    EXPECT_TRUE(first.waitForClose());
    RawClient other(server->port(), /*ipv6=*/true);  // another peer is not counted with it
    other.send("GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(other.readAll(), kOk);
    EXPECT_TRUE(open(2));  // the second and the third
}

TEST_F(HttpServerCrowdTest, AHeaderSectionMustArriveSoonerThanABody) {
    HttpServerOptions options;
    options.headerTimeout = 0.2;
    options.requestTimeout = 30;
    start(options);
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
    HttpServer taken(HttpServerOptions{}, [](HttpRequest, std::shared_ptr<HttpResponder>) {});
    ASSERT_TRUE(taken.start().ok());
    struct Row {
        const char* name;
        std::string address;
        std::vector<std::string> fallbacks;
        std::uint16_t port;
        std::string error;  // empty: starts and answers
    } const rows[] = {
        // Not one of this machine's addresses (or no IPv6 at all), like "::" with IPv6 off.
        {"unusable address", "2001:db8::1", {"127.0.0.1"}, 0, ""},
        {"taken port", "127.0.0.1", {"127.0.0.2"}, taken.port(), "Address already in use"},
    };
    for (const auto& row : rows) {
        HttpServerOptions options;
        options.address = row.address;
        options.fallbackAddresses = row.fallbacks;
        options.port = row.port;
        HttpServer server(options, [](HttpRequest, std::shared_ptr<HttpResponder> responder) {
            responder->respond(kOk);
        });
        const auto started = server.start();
        if (!row.error.empty()) {
            ASSERT_FALSE(started.ok()) << row.name;
            EXPECT_EQ(started.error().message, row.error) << row.name;
            continue;
        }
        ASSERT_TRUE(started.ok()) << row.name << ": " << started.error().message;
        RawClient client(server.port());
        client.send(head(0));
        EXPECT_EQ(client.readAll(), kOk) << row.name;
    }
}

TEST(HttpServerLifetimeTest, AServerLetGoInItsOwnHandlerLeavesAThreadMainJoins) {
    auto sentinel = std::make_shared<int>(0);
    const std::weak_ptr<int> handlerState = sentinel;
    std::atomic<bool> letGo = false;
    auto owner = std::make_shared<std::unique_ptr<HttpServer>>();
    *owner = std::make_unique<HttpServer>(
        HttpServerOptions{}, [owner, sentinel = std::move(sentinel), &letGo](
                                 HttpRequest, std::shared_ptr<HttpResponder>) {
            owner->reset();
            letGo = true;
            // Still busy after its owner has gone: only a join can tell when it is done.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        });
    ASSERT_TRUE((*owner)->start().ok());
    RawClient client((*owner)->port());
    client.send(head(0));
    ASSERT_TRUE(testing::eventually([&] { return letGo.load(); }));
    joinAdoptedThreads();
    EXPECT_TRUE(handlerState.expired());
}

}  // namespace
}  // namespace brimwick
