#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/ProtectedStore.h"
#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using platform::ProtectedStore;
using namespace std::string_literals;

const std::string kChild = QUOR_BINARY_DIR "/tests/programs/protected_child";

class ProtectedStoreTest : public testing::Test {
protected:
    TestEnvironment env;
    ProtectedStore store = ProtectedStore::ForCurrentUser();

    std::string Protected(const std::string& plain) {
        std::string blob;
        EXPECT_EQ(store.Protect(plain, blob), 0);
        return blob;
    }
};

TEST_F(ProtectedStoreTest, RoundTrips) {
    std::string allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes += static_cast<char>(i);
    for (const std::string& plain :
         {""s, "p"s, "correct horse battery staple"s, "nul\0inside"s, allBytes, std::string(100000, 'z')}) {
        std::string blob = Protected(plain);
        EXPECT_EQ(store.Unprotect(blob), plain);
        // Short texts may turn up in random ciphertext by chance; longer ones never.
        if (plain.size() >= 8) {
            EXPECT_EQ(blob.find(plain), std::string::npos);
        }
    }
    // A fresh nonce each time: equal texts do not give equal blobs.
    EXPECT_NE(Protected("same"), Protected("same"));
}

TEST_F(ProtectedStoreTest, TheKeyIsPrivateToTheUser) {
    EXPECT_EQ(store.KeyFile(), env.Path("home/.local/share/Brindlemoor/protection.key"));
    Protected("x");  // the first protection makes the key
    struct stat st {};
    ASSERT_EQ(stat(store.KeyFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 32);
    ASSERT_EQ(stat(env.Path("home/.local/share/Brindlemoor").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // No temporary file is left beside it.
    for (const auto& entry : fs::directory_iterator(env.Path("home/.local/share/Brindlemoor")))
        EXPECT_EQ(entry.path().filename(), "protection.key");
}

TEST_F(ProtectedStoreTest, EveryChangedByteMakesTheBlobUnreadable) {
    const std::string blob = Protected("secret login token");
    for (size_t i = 0; i < blob.size(); ++i) {
        std::string changed = blob;
        changed[i] = static_cast<char>(changed[i] ^ 0x01);
        EXPECT_FALSE(store.Unprotect(changed)) << "byte " << i;
    }
    for (size_t length = 0; length < blob.size(); ++length)
        EXPECT_FALSE(store.Unprotect(blob.substr(0, length))) << "cut to " << length;
    EXPECT_FALSE(store.Unprotect(blob + "x"));
    EXPECT_FALSE(store.Unprotect("secret login token"));
}

TEST_F(ProtectedStoreTest, AnotherKeyCannotReadIt) {
    const std::string blob = Protected("secret");
    ProtectedStore other(env.Path("other/protection.key"));
    EXPECT_FALSE(other.Unprotect(blob));  // no key there: none is made by reading
    EXPECT_FALSE(fs::exists(other.KeyFile()));
    std::string otherBlob;
    ASSERT_EQ(other.Protect("secret", otherBlob), 0);
    EXPECT_FALSE(other.Unprotect(blob));
    EXPECT_FALSE(store.Unprotect(otherBlob));
    EXPECT_EQ(other.Unprotect(otherBlob), "secret");
}

TEST_F(ProtectedStoreTest, ADamagedKeyIsNeitherUsedNorReplaced) {
    const std::string blob = Protected("secret");
    env.WriteFile("home/.local/share/Brindlemoor/protection.key", "short");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(store.Unprotect(blob));
    std::string again;
    EXPECT_NE(store.Protect("secret", again), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("damaged"), std::string::npos);
    EXPECT_EQ(TestEnvironment::ReadFile(store.KeyFile()), "short");
}

TEST_F(ProtectedStoreTest, ProcessesCreatingTheKeyAtOnceAgreeOnIt) {
    const std::string go = env.Path("go");
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int i = 0; i < 8; ++i)
        children.push_back(std::make_unique<ChildProcess>(
            std::vector<std::string>{kChild, store.KeyFile(), go, "text " + std::to_string(i)}));
    env.WriteFile("go", "");
    for (int i = 0; i < 8; ++i) {
        auto result = children[static_cast<size_t>(i)]->Wait();
        ASSERT_EQ(result.exitCode, 0) << result.err;
        std::string blob;
        for (size_t at = 0; at + 1 < result.out.size(); at += 2)
            blob += static_cast<char>(std::stoi(result.out.substr(at, 2), nullptr, 16));
        EXPECT_EQ(store.Unprotect(blob), "text " + std::to_string(i));
    }
    for (const auto& entry : fs::directory_iterator(env.Path("home/.local/share/Brindlemoor")))
        EXPECT_EQ(entry.path().filename(), "protection.key");
}

}  // namespace
