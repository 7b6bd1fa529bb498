#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "core/diagnostics/SignalSafeText.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

TEST(SignalSafeText, FormatsNumbersWithoutTheLibrary) {
    const std::pair<int64_t, const char*> decimals[] = {{0, "0"},
                                                        {7, "7"},
                                                        {-1, "-1"},
                                                        {31680, "31680"},
                                                        {INT64_MAX, "9223372036854775807"},
                                                        {INT64_MIN, "-9223372036854775808"}};
    for (const auto& [number, text] : decimals) {
        char out[24];
        size_t n = SignalSafeText::FormatDec(number, out);
        EXPECT_EQ(std::string(out, n), text);
        EXPECT_EQ(out[n], '\0');
    }
}

TEST(SignalSafeText, WritesEverythingPastItsBufferInOrder) {
    TestEnvironment env;
    std::string path = env.Path("out.txt");
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    std::string expected;
    {
        SignalSafeText out(fd);
        for (int i = 0; i < 1000; ++i) {  // several buffers' worth
            out.Text("line ").Dec(i).Char(' ').Hex(static_cast<uint64_t>(i) * 4096).Text("\n");
            char hex[32];
            std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(i) * 4096);
            expected += "line " + std::to_string(i) + " " + hex + "\n";
        }
        out.Hex(0).Char(' ').Hex(UINT64_MAX);
        expected += "0x0 0xffffffffffffffff";
    }  // the rest goes out at the end
    close(fd);
    EXPECT_EQ(TestEnvironment::ReadFile(path), expected);
}

TEST(SignalSafeText, AFullDiscKeepsWhatFitsAndDoesNotHang) {
    int fd = open("/dev/full", O_WRONLY);
    ASSERT_GE(fd, 0);
    {
        SignalSafeText out(fd);
        for (int i = 0; i < 5000; ++i)
            out.Text("more than the buffer holds ");
    }
    close(fd);
}

}  // namespace
