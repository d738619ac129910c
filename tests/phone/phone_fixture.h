// The phone tests' shared pieces: the one request builder, and a phone link with scripted codes
// and address whose real phone server listens on loopback.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <nlohmann/json.hpp>

#include "phone/phone_link.h"
#include "support/fake_random.h"
#include "support/loopback_phone_server.h"
#include "support/manual_main_queue.h"
#include "support/memory_preferences.h"
#include "support/raw_client.h"

namespace brimwick::testing {

// One HTTP/1.1 request, with a bearer token when one is given.
inline std::string httpRequest(const std::string& method, const std::string& target,
                               const std::string& body = {}, const std::string& token = {},
                               const std::string& headers = {}) {
    return method + " " + target + " HTTP/1.1\r\nHost: phone\r\n" + headers +
           (token.empty() ? "" : "Authorization: Bearer " + token + "\r\n") +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
inline std::string statusLineOf(const std::string& response) {
    return response.substr(0, response.find("\r\n"));
}
inline std::string bodyOf(const std::string& response) {
    const auto blank = response.find("\r\n\r\n");
    return blank == std::string::npos ? "" : response.substr(blank + 4);
}

struct PairingLink {
    // A link, on (listening on an ephemeral loopback port unless told otherwise) or off.
    std::shared_ptr<PhoneLink> make(bool on) {
        if (on) preferences.setValue(PhoneLink::kEnabledKey, true);
        PhoneLink::Services s;
        s.makeServer = [this](std::string host, std::set<std::string> tokens, std::string code,
                              PhoneServer::Callbacks callbacks) -> std::shared_ptr<PhoneServer> {
            ++serversMade;
            if (!makeServers) return nullptr;
            return makeLoopbackPhoneServer(queue, std::move(host), std::move(tokens),
                                           std::move(code), std::move(callbacks), serverPort);
        };
        s.localAddress = [this] { return address; };
        s.newCode = [this] {
            auto next = codes.empty() ? "999999" : codes.front();
            if (!codes.empty()) codes.pop_front();
            return next;
        };
        s.launchSession = [this](const std::string& folder, const std::string&) {
            launched.push_back(folder);
            return Result<void>();
        };
        s.isDirectory = [](const std::string&) { return true; };
        s.hostName = hostName;
        auto link = PhoneLink::create(queue, preferences, gate, std::move(s));
        if (on) {
            EXPECT_TRUE(queue.runUntil([&] { return link->status().starts_with("Listening"); }));
        }
        return link;
    }
    // Sends `bytes` to the link's server; the main queue runs meanwhile when `running`.
    std::string send(const PhoneLink& link, const std::string& bytes, bool running = false) {
        RawClient client(link.port());
        client.send(bytes);
        if (!running) return client.readAll();
        std::string answer;
        queue.runUntil([&] {
            answer += client.readAll(0.01);
            return client.closed();
        });
        return answer;
    }
    // Sends /pair and gives the status line of the answer (or the whole answer).
    std::string pair(const PhoneLink& link, const std::string& code, const std::string& device,
                     bool whole = false) {
        const auto answer =
            send(link, httpRequest("POST", "/pair",
                                   nlohmann::json{{"code", code}, {"device", device}}.dump()));
        return whole ? answer : statusLineOf(answer);
    }
    // Pairs a phone with the current code and waits until the link says so.
    void pairPhone(const PhoneLink& link, const std::string& device) {
        EXPECT_EQ(pair(link, link.pairing().code(), device), "HTTP/1.1 200 OK");
        EXPECT_TRUE(queue.runUntil([&] { return link.pairing().justPaired() == device; }));
    }
    // Burns `count` codes in a row with five wrong attempts each.
    void burnCodes(const PhoneLink& link, int count) {
        for (int burn = link.pairing().burnedCodes() + 1; count > 0; --count, ++burn) {
            for (int attempt = 0; attempt < 5; ++attempt) {
                EXPECT_EQ(pair(link, "000000", "Intruder"), "HTTP/1.1 403 Forbidden");
            }
            EXPECT_TRUE(queue.runUntil([&] { return link.pairing().burnedCodes() == burn; }));
        }
    }

    ManualMainQueue queue;
    MemoryPreferences preferences;
    std::shared_ptr<FakeRandom> random = std::make_shared<FakeRandom>();
    std::shared_ptr<ApprovalGate> gate = ApprovalGate::create(queue, queue, random);
    std::deque<std::string> codes = {"012345", "234567", "345678", "456789", "567890", "678901"};
    std::optional<std::string> address = "192.168.1.20";
    std::string hostName = "Ada's Laptop";
    bool makeServers = true;
    std::uint16_t serverPort = 0;
    int serversMade = 0;
    std::vector<std::string> launched;
};

}  // namespace brimwick::testing
