#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Log.h"

namespace {

std::string Captured(const std::function<void()>& write) {
    testing::internal::CaptureStderr();
    write();
    return testing::internal::GetCapturedStderr();
}

TEST(Log, EachLevelWritesThePrefixedLineAndPlainWritesItAsItIs) {
    const std::string longText(100000, 'x');
    struct Case {
        const char* name;
        std::function<void()> write;
        std::string expected;
    };
    const Case cases[] = {
        {"error", [] { Log::Error("task failed: %s", "La falla!"); }, "Quor: task failed: La falla!\n"},
        {"warning", [] { Log::Warning("patch entry %u (%s): %s", 7u, "a/b.dat", "failed"); },
         "Quor: patch entry 7 (a/b.dat): failed\n"},
        {"info", [] { Log::Info("exit requested (message %d): %s", 28, "Bye"); },
         "Quor: exit requested (message 28): Bye\n"},
        {"no arguments", [] { Log::Error("patching stopped"); }, "Quor: patching stopped\n"},
        {"empty text", [] { Log::Info("%s", ""); }, "Quor: \n"},
        {"percent and quotes", [] { Log::Error("100%% \"%s\"", "q"); }, "Quor: 100% \"q\"\n"},
        {"long text whole", [&] { Log::Warning("%s", longText.c_str()); }, "Quor: " + longText + "\n"},
        {"plain", [] { Log::Plain("unknown option: --frob"); }, "unknown option: --frob\n"},
        {"plain empty", [] { Log::Plain(""); }, "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Captured(c.write), c.expected);
    }
}

TEST(Log, LinesFromSeveralThreadsNeverInterleave) {
    constexpr int kThreads = 8;
    constexpr int kLines = 300;
    // Long lines, so a line written in pieces would show up as cut or mixed.
    std::vector<std::string> texts;
    for (int t = 0; t < kThreads; ++t)
        texts.push_back(std::string(2000, static_cast<char>('a' + t)));
    const std::string err = Captured([&] {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < kLines; ++i)
                    Log::Warning("%d %s", t, texts[t].c_str());
            });
        for (std::thread& thread : threads)
            thread.join();
    });
    std::map<std::string, int> seen;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);)
        ++seen[line];
    ASSERT_EQ(seen.size(), static_cast<size_t>(kThreads)) << err.substr(0, 300);
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(seen["Quor: " + std::to_string(t) + " " + texts[t]], kLines) << t;
}

}  // namespace
