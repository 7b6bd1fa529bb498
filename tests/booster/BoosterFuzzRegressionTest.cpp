#include <filesystem>
#include <gtest/gtest.h>
#include <string>

#include "booster/PmbReplyReader.h"
#include "fuzz/BoosterFuzzTarget.h"
#include "tests/fixtures/TestEnvironment.h"

namespace fs = std::filesystem;

// Every input kept in fuzz/corpus/booster_reply/ (the seeds and each input that
// once crashed the target) still runs through it.
TEST(BoosterFuzzRegression, ReplyInputs) {
    const fs::path folder = fs::path(QUOR_SOURCE_DIR) / "fuzz" / "corpus" / "booster_reply";
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string bytes = TestEnvironment::ReadFile(entry.path().string());
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_EQ(fuzztargets::BoosterReply(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
        ++count;
    }
    EXPECT_GT(count, 0);
}

TEST(BoosterFuzzRegression, ASurrogateWrittenAsAReferenceIsABadReply) {
    VersionResp version;
    EXPECT_EQ(pmbreply::Read("<?xml version=\"1.0\" encoding=\"UTF-8\"?><VersionResp><version>&#xD800;</version>"
                             "</VersionResp>",
                             version),
              pmbreply::Outcome::BadReply);
}
