#include "hooks/http_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

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
        for (int i = 0; i < 5000; ++i) {
            if (server->bufferedBytes() == bytes) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
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

}  // namespace
}  // namespace brimwick
