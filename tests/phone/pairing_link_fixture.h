// PairingLink: a phone link for the pairing window's tests — scripted codes and address, a real
// phone server on loopback, and helpers that pair a phone or burn codes over that server.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "phone/phone_link.h"
#include "support/fake_random.h"
#include "support/loopback_phone_server.h"
#include "support/manual_main_queue.h"
#include "support/memory_preferences.h"
#include "support/raw_client.h"

namespace brimwick::testing {

struct PairingLink {
    // A link, on (listening on an ephemeral loopback port) or off.
    std::shared_ptr<PhoneLink> make(bool on) {
        preferences.setValue(PhoneLink::kEnabledKey, on);
        PhoneLink::Services s;
        s.makeServer = [this](std::string host, std::set<std::string> tokens, std::string code,
                              PhoneServer::Callbacks callbacks) {
            return makeLoopbackPhoneServer(queue, std::move(host), std::move(tokens),
                                           std::move(code), std::move(callbacks));
        };
        s.localAddress = [this] { return address; };
        s.newCode = [this] {
            if (codes.empty()) return std::string("999999");
            auto next = codes.front();
            codes.pop_front();
            return next;
        };
        s.launchSession = [](const std::string&, const std::string&) { return Result<void>(); };
        s.isDirectory = [](const std::string&) { return false; };
        s.hostName = hostName;
        auto link = PhoneLink::create(queue, preferences, gate, std::move(s));
        if (on) {
            EXPECT_TRUE(queue.runUntil([&] { return link->status().starts_with("Listening"); }))
                << link->status();
        }
        return link;
    }

    // Sends /pair with `code` and returns the status line of the answer.
    std::string sendPair(const PhoneLink& link, const std::string& code,
                         const std::string& device) {
        const std::string body = nlohmann::json({{"code", code}, {"device", device}}).dump();
        RawClient client(link.port());
        client.send("POST /pair HTTP/1.1\r\nHost: phone\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\n\r\n" + body);
        const std::string response = client.readAll();
        return response.substr(0, response.find("\r\n"));
    }

    // Pairs a phone with the current code and waits until the link says so.
    void pairPhone(const PhoneLink& link, const std::string& device) {
        EXPECT_EQ(sendPair(link, link.pairing().code(), device), "HTTP/1.1 200 OK");
        EXPECT_TRUE(queue.runUntil([&] { return link.pairing().justPaired() == device; }));
    }

    // Burns `count` codes in a row with five wrong attempts each.
    void burnCodes(const PhoneLink& link, int count) {
        for (int burn = link.pairing().burnedCodes() + 1; count > 0; --count, ++burn) {
            const std::string wrong = link.pairing().code() == "000000" ? "000001" : "000000";
            for (int attempt = 0; attempt < 5; ++attempt) sendPair(link, wrong, "Intruder");
            EXPECT_TRUE(queue.runUntil([&] { return link.pairing().burnedCodes() == burn; }))
                << burn;
        }
    }

    ManualMainQueue queue;
    MemoryPreferences preferences;
    std::shared_ptr<ApprovalGate> gate =
        ApprovalGate::create(queue, queue, std::make_shared<FakeRandom>());
    std::deque<std::string> codes = {"012345", "234567", "345678", "456789", "567890", "678901"};
    std::optional<std::string> address = "192.168.1.20";
    std::string hostName = "Ada's Laptop";
};

}  // namespace brimwick::testing
