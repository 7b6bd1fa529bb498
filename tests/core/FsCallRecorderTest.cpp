// The file-system call recorder, preloaded into a program whose calls are known.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/fixtures/FsRecording.h"
#include "tests/fixtures/TestEnvironment.h"

namespace {

const std::string kChild = std::string(QUOR_BINARY_DIR) + "/tests/programs/quor_fs_calls_child";

std::vector<FsCall> Named(const std::vector<FsCall>& calls, const std::string& name, const std::string& key,
                          const std::string& value) {
    std::vector<FsCall> found;
    for (const FsCall& call : calls)
        if (call.name == name && call.Field(key) == value)
            found.push_back(call);
    return found;
}

TEST(FsCallRecorder, RecordsEachCallWithAbsoluteNamesInodesAndTheRecordAsItWas) {
    TestEnvironment env;
    const std::string folder = std::filesystem::canonical(env.Root()).string() + "/work";
    std::filesystem::create_directories(folder);
    FsRecording recording(env.Path("log"), folder + "/record");
    ChildProcess::Result run = recording.Run({kChild, folder});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<FsCall> calls = recording.Calls();

    // Through a dirfd: created, written in parts, cut, synced, its mode changed.
    auto opened = Named(calls, "open", "path", folder + "/a.tmp");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].Field("created"), "1");
    EXPECT_EQ(opened[0].Field("dirpath"), folder);
    const std::string id = opened[0].Field("id");
    auto writes = Named(calls, "write", "path", folder + "/a.tmp");
    ASSERT_EQ(writes.size(), 2u) << "writev and pwrite";
    EXPECT_EQ(writes[0].Field("ret"), "4");
    EXPECT_EQ(writes[0].Field("size"), "4");
    EXPECT_EQ(writes[1].Field("size"), "13");
    auto cut = Named(calls, "truncate", "path", folder + "/a.tmp");
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].Field("was"), "13");
    EXPECT_EQ(cut[0].Field("size"), "5");
    EXPECT_EQ(Named(calls, "fdatasync", "id", id).size(), 1u);
    auto mode = Named(calls, "chmod", "id", id);
    ASSERT_EQ(mode.size(), 1u);
    EXPECT_EQ(mode[0].Field("mode"), "0640");
    EXPECT_EQ(Named(calls, "fsync", "id", id).size(), 1u);

    // The rename onto the record names the file it moved and keeps what the record held.
    auto renamed = Named(calls, "rename", "to", folder + "/record");
    ASSERT_EQ(renamed.size(), 1u);
    EXPECT_EQ(renamed[0].Field("from"), folder + "/a.tmp");
    EXPECT_EQ(renamed[0].Field("id"), id);
    EXPECT_TRUE(renamed[0].isRecord);
    EXPECT_EQ(renamed[0].recordBytes, std::string("abcd\0", 5));

    // A folder made through the dirfd, then that dirfd synced as a folder.
    auto made = Named(calls, "mkdir", "path", folder + "/sub");
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0].Field("dirpath"), folder);
    auto folderSyncs = Named(calls, "fsync", "path", folder);
    ASSERT_EQ(folderSyncs.size(), 1u);
    EXPECT_EQ(folderSyncs[0].Field("kind"), "dir");
    EXPECT_EQ(folderSyncs[0].Field("id"), made[0].Field("dir"));

    // Names relative to the working folder; an O_TRUNC open of a file with bytes is a cut.
    auto relative = Named(calls, "open", "path", folder + "/sub/rel");
    ASSERT_EQ(relative.size(), 2u);
    EXPECT_EQ(relative[0].Field("created"), "1");
    EXPECT_FALSE(relative[0].Has("cut"));
    EXPECT_EQ(relative[1].Field("cut"), "5");
    auto linked = Named(calls, "link", "to", folder + "/hard");
    ASSERT_EQ(linked.size(), 1u);
    EXPECT_EQ(linked[0].Field("from"), folder + "/sub/rel");
    EXPECT_EQ(linked[0].Field("dirpath"), folder);
    auto soft = Named(calls, "symlink", "to", folder + "/sub/soft");
    ASSERT_EQ(soft.size(), 1u);
    EXPECT_EQ(soft[0].Field("target"), "rel");
    EXPECT_EQ(Named(calls, "unlink", "path", folder + "/hard").size(), 1u);

    // An O_TMPFILE file is a file made; its link through /proc names it.
    auto unnamed = Named(calls, "link", "to", folder + "/sub/named");
    ASSERT_EQ(unnamed.size(), 1u);
    EXPECT_EQ(unnamed[0].Field("kind"), "file");
    EXPECT_EQ(unnamed[0].Field("size"), "7");
    auto tmpfile = Named(calls, "open", "id", unnamed[0].Field("id"));
    ASSERT_EQ(tmpfile.size(), 1u);
    EXPECT_EQ(tmpfile[0].Field("created"), "1");

    // stdio: the open, the close with what the stream wrote, a truncate by name.
    EXPECT_EQ(Named(calls, "open", "path", folder + "/stdio").size(), 1u);
    auto closed = Named(calls, "close", "path", folder + "/stdio");
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0].Field("size"), "13");
    auto byName = Named(calls, "truncate", "path", folder + "/stdio");
    ASSERT_EQ(byName.size(), 1u);
    EXPECT_EQ(byName[0].Field("was"), "13");

    // Four threads wrote at once: 800 whole lines, none about the log itself.
    size_t threadWrites = 0;
    for (int t = 0; t < 4; ++t) {
        auto lines = Named(calls, "write", "path", folder + "/sub/thread-" + std::to_string(t));
        threadWrites += lines.size();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().Field("size"), "200");
    }
    EXPECT_EQ(threadWrites, 800u);
    for (const FsCall& call : calls) {
        EXPECT_TRUE(call.Has("pid") && call.Has("tid") && call.Has("ret")) << call.line;
        for (const char* key : {"path", "from", "to"})
            if (call.Has(key)) {
                EXPECT_EQ(call.Field(key).find(env.Path("log")), std::string::npos) << call.line;
                EXPECT_EQ(call.Field(key).rfind('/', 0), 0u) << "not absolute: " << call.line;
            }
    }
    // Read-only opens and pipes are left out.
    EXPECT_EQ(Named(calls, "open", "path", folder).size(), 0u);
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [](const FsCall& c) { return c.name == "write" && c.Field("path").empty(); }),
              0);
}

TEST(FsCallRecorder, WithoutALogTheProgramRunsAsAlways) {
    TestEnvironment env;
    const std::string folder = env.Path("work");
    std::filesystem::create_directories(folder);
    ChildProcess::Result run =
        ChildProcess::Run({kChild, folder}, {"LD_PRELOAD=" + std::string(QUOR_FS_RECORDER), "QUOR_FS_LOG"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists(folder + "/record"));
}

}  // namespace
