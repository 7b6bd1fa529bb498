#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fuzz/FuzzTargets.h"
#include "fuzz/PluginFuzzTargets.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;

// Every input kept in fuzz/corpus/<target>/ (the seeds and each input that once
// crashed a fuzz target) still runs through its target.
void Replay(const char* target, int (*run)(const uint8_t*, size_t)) {
    const fs::path folder = fs::path(QUOR_SOURCE_DIR) / "fuzz" / "corpus" / target;
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    int count = 0;
    for (const auto& e : fs::directory_iterator(folder)) {
        std::string bytes = TestEnvironment::ReadFile(e.path().string());
        SCOPED_TRACE(e.path().filename().string());
        EXPECT_EQ(run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
        ++count;
    }
    EXPECT_GT(count, 0);
}

TEST(FuzzRegression, PatchFileInputs) {
    Replay("patch_file", fuzztargets::PatchFile);
}

TEST(FuzzRegression, BsdiffInputs) {
    Replay("bsdiff", fuzztargets::Bsdiff);
}

TEST(FuzzRegression, CatalogInputs) {
    Replay("catalog", fuzztargets::Catalog);
}

TEST(FuzzRegression, ManifestInputs) {
    Replay("manifest", fuzztargets::Manifest);
}

TEST(FuzzRegression, PluginParameterInputs) {
    Replay("plugin_params", fuzztargets::PluginParameters);
}

TEST(FuzzRegression, InstallManifestInputs) {
    Replay("install_manifest", fuzztargets::InstallManifest);
}

TEST(FuzzRegression, ResumeReplyInputs) {
    Replay("resume_reply", fuzztargets::ResumeReply);
}

TEST(FuzzRegression, BridgeMessageInputs) {
    Replay("bridge_message", fuzztargets::BridgeMessage);
}

TEST(FuzzRegression, ConfigDocumentInputs) {
    Replay("config_document", fuzztargets::ConfigDocument);
}

TEST(FuzzRegression, RegStoreInputs) {
    Replay("reg_store", fuzztargets::RegStore);
}

TEST(FuzzRegression, DownloadLockInputs) {
    Replay("download_lock", fuzztargets::DownloadLockContent);
}

}  // namespace
