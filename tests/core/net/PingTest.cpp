#include <gtest/gtest.h>

#include <string>

#include "core/net/Ping.h"

namespace {

bool IsMilliseconds(const std::string& text) {
    if (text.empty() || text.size() > 4)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return std::stoi(text) <= 1000;
}

TEST(Ping, LoopbackAnswersWithATimeOrAClearFailure) {
    std::string result = Ping("127.0.0.1");
    // Where this user may open neither kind of ICMP socket the failure says so.
    EXPECT_TRUE(IsMilliseconds(result) || result == "Couldn't create icmp handle") << result;
}

TEST(Ping, EmptyHostIsAnInvalidAddress) {
    EXPECT_EQ(Ping(""), "Invalid address");
    EXPECT_EQ(Ping("0.0.0.0"), "Invalid address");
}

}  // namespace
