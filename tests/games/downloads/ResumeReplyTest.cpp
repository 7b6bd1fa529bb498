#include <gtest/gtest.h>

#include "games/downloads/ResumeReply.h"

namespace {

TEST(ResumeReply, RangeHeaders) {
    EXPECT_EQ(ContentRangeStart("bytes 1000-1999/2000"), 1000);
    EXPECT_EQ(ContentRangeStart("Bytes  0-0/1"), 0);
    EXPECT_EQ(ContentRangeStart("bytes 5-9/*"), 5);
    EXPECT_EQ(ContentRangeStart("bytes 10-5/20"), -1);
    EXPECT_EQ(ContentRangeStart("bytes 5-9/9"), -1);
    EXPECT_EQ(ContentRangeStart("bytes */20"), -1);
    EXPECT_EQ(ContentRangeStart(""), -1);
    EXPECT_EQ(ContentRangeStart("items 1-2/3"), -1);
    EXPECT_TRUE(ContentRangeReachesTheEnd("bytes 1000-1999/2000"));
    EXPECT_TRUE(ContentRangeReachesTheEnd("bytes 5-9/*"));
    EXPECT_FALSE(ContentRangeReachesTheEnd("bytes 1000-1498/2000"));
    EXPECT_FALSE(ContentRangeReachesTheEnd("bytes 10-5/20"));
    EXPECT_FALSE(ContentRangeReachesTheEnd(""));
    EXPECT_EQ(ContentRangeTotal("bytes 1000-1999/2000"), 2000);
    EXPECT_EQ(ContentRangeTotal("bytes 5-9/*"), -1);
    EXPECT_EQ(ContentRangeTotal("bytes 5-9/9"), -1);
    EXPECT_EQ(ContentRangeTotal(""), -1);
    EXPECT_EQ(ContentRangeEnd("bytes 1000-1999/2000"), 2000);
    EXPECT_EQ(ContentRangeEnd("bytes 5-9/*"), 10);
    EXPECT_EQ(ContentRangeEnd("bytes 5-9/9"), -1);
    EXPECT_EQ(ContentRangeEnd(""), -1);
    EXPECT_EQ(UnsatisfiedRangeLength("bytes */2000"), 2000);
    EXPECT_EQ(UnsatisfiedRangeLength("bytes */"), -1);
    EXPECT_EQ(UnsatisfiedRangeLength("bytes 0-1/2"), -1);
}

TEST(ResumeReply, Validators) {
    EXPECT_EQ(ValidatorOf("\"v1\"", "Mon, 01 Jan 2024 00:00:00 GMT"), "E:\"v1\"");
    EXPECT_EQ(ValidatorOf("W/\"v1\"", "Mon, 01 Jan 2024 00:00:00 GMT"), "L:Mon, 01 Jan 2024 00:00:00 GMT");
    EXPECT_EQ(ValidatorOf("W/\"v1\"", ""), "");
    EXPECT_EQ(ValidatorOf("", ""), "");
}

TEST(ResumeReply, Verdicts) {
    struct Case {
        const char* what;
        ReplyFacts reply;
        int64_t offset;
        std::string stored;
        ReplyVerdict expected;
    } cases[] = {
        {"fresh 200", {200, "", ""}, 0, "", ReplyVerdict::Write},
        {"fresh 206", {206, "bytes 0-9/10", ""}, 0, "", ReplyVerdict::Refuse},
        {"fresh 404", {404, "", ""}, 0, "", ReplyVerdict::Refuse},
        {"fresh 416", {416, "bytes */0", ""}, 0, "", ReplyVerdict::Refuse},
        {"fresh 204", {204, "", ""}, 0, "", ReplyVerdict::Refuse},
        {"resume 206 at the offset", {206, "bytes 1000-1999/2000", ""}, 1000, "", ReplyVerdict::Write},
        {"resume 206 elsewhere", {206, "bytes 999-1999/2000", ""}, 1000, "", ReplyVerdict::Restart},
        {"resume 206 without range", {206, "", ""}, 1000, "", ReplyVerdict::Restart},
        {"resume 206 short of the end", {206, "bytes 1000-1499/2000", ""}, 1000, "", ReplyVerdict::Restart},
        {"resume 206 of unknown length", {206, "bytes 1000-1999/*", ""}, 1000, "", ReplyVerdict::Write},
        {"resume ignored", {200, "", ""}, 1000, "", ReplyVerdict::WriteFromStart},
        {"resume 416 complete", {416, "bytes */1000", ""}, 1000, "", ReplyVerdict::AlreadyComplete},
        {"resume 416 other size", {416, "bytes */1500", ""}, 1000, "", ReplyVerdict::Restart},
        {"resume 416 unreadable", {416, "", ""}, 1000, "", ReplyVerdict::Restart},
        {"resume 416 the probe agrees", {416, "bytes */1000", "", 1000}, 1000, "", ReplyVerdict::AlreadyComplete},
        {"resume 416 the probe saw more", {416, "bytes */1000", "", 5000}, 1000, "", ReplyVerdict::Restart},
        {"resume 404", {404, "", ""}, 1000, "", ReplyVerdict::Refuse},
        {"resume 500", {500, "", ""}, 1000, "", ReplyVerdict::Refuse},
        {"206 of the same version", {206, "bytes 10-19/20", "E:\"a\""}, 10, "E:\"a\"", ReplyVerdict::Write},
        {"206 of another version", {206, "bytes 10-19/20", "E:\"b\""}, 10, "E:\"a\"", ReplyVerdict::Restart},
        {"206 newer date", {206, "bytes 10-19/20", "L:Tue"}, 10, "L:Mon", ReplyVerdict::Restart},
        {"206 with a validator not kept", {206, "bytes 10-19/20", "E:\"b\""}, 10, "-", ReplyVerdict::Write},
    };
    for (const Case& c : cases)
        EXPECT_EQ(JudgeReply(c.reply, c.offset, c.stored), c.expected) << c.what;
}

}  // namespace
