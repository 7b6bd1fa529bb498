#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "games/patching/ReplacementFile.h"
#include "tests/fixtures/TestEnvironment.h"
#include "tests/games/patching/PatchTestSupport.h"
#include "tools/patch-writer/PatchFileWriter.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Build = std::map<std::string, std::string>;  // relative path -> content

// A child running the patcher, its stdout read line by line.
class PatcherChild {
public:
    PatcherChild(const std::string& install, const std::string& patch) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::string program = QUOR_PATCH_CHILD;
        char* argv[] = {program.data(), const_cast<char*>(install.c_str()), const_cast<char*>(patch.c_str()), nullptr};
        int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (rc != 0)
            throw std::runtime_error("cannot start the patch child");
        out = ::fdopen(fds[0], "r");
    }
    ~PatcherChild() {
        Kill();
        if (out)
            std::fclose(out);
    }

    // The next progress the child reports; nullopt once it is done.
    std::optional<double> NextProgress() {
        char line[128];
        while (std::fgets(line, sizeof line, out)) {
            double p = 0;
            if (std::sscanf(line, "progress %lf", &p) == 1)
                return p;
        }
        return std::nullopt;
    }
    void Kill() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            int status = 0;
            ::waitpid(pid, &status, 0);
            pid = -1;
        }
    }
    int Wait() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid = -1;
    FILE* out = nullptr;
};

void Lay(const std::string& folder, const Build& build) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const auto& [path, bytes] : build) {
        fs::create_directories(fs::path(folder + "/" + path).parent_path());
        std::FILE* f = std::fopen((folder + "/" + path).c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

TEST(PatchKill, EveryFileIsOldOrNewAtAnyKillAndApplyingAgainCompletes) {
    TestEnvironment env;
    const std::string tools = env.Path("tools");
    Build oldBuild, newBuild;
    PatchFileWriter w;
    // Binary diffs of large files, whole-file writes (replacing and new), deletes.
    for (int i = 0; i < 4; ++i) {
        std::string name = "data/pack" + std::to_string(i) + ".pak";
        oldBuild[name] = patchtest::SampleData((2 + i) << 18, 100 + i);
        newBuild[name] = patchtest::ChangedVersion(oldBuild[name], 200 + i);
        w.AddBinaryDiff("\\data", "pack" + std::to_string(i) + ".pak",
                        patchtest::DebianBsdiff(tools, oldBuild[name], newBuild[name]),
                        patchtest::ZlibCrc(oldBuild[name]), patchtest::ZlibCrc(newBuild[name]));
    }
    for (int i = 0; i < 4; ++i) {
        std::string name = "bin/module" + std::to_string(i) + ".dll";
        oldBuild[name] = patchtest::SampleData(1 << 18, 300 + i);
        newBuild[name] = patchtest::SampleData((1 << 19) + i, 400 + i);
        w.AddWrite("\\bin", "module" + std::to_string(i) + ".dll", CompressLzmaAlone(newBuild[name], i % 2 == 0, 1),
                   patchtest::ZlibCrc(newBuild[name]));
    }
    for (int i = 0; i < 3; ++i) {
        std::string name = "content/new" + std::to_string(i) + "/file.dat";
        newBuild[name] = patchtest::SampleData(600000, 500 + i);
        w.AddWrite("\\content\\new" + std::to_string(i), "file.dat", CompressLzmaAlone(newBuild[name], false, 1),
                   patchtest::ZlibCrc(newBuild[name]));
    }
    for (int i = 0; i < 3; ++i) {
        std::string name = "old/gone" + std::to_string(i) + ".txt";
        oldBuild[name] = "obsolete " + std::to_string(i);
        w.AddDelete("\\old", "gone" + std::to_string(i) + ".txt");
    }
    oldBuild["readme.txt"] = "untouched";
    newBuild["readme.txt"] = "untouched";
    const std::string patch = env.WriteFile("update.quorpatch", w.Bytes());
    const std::string install = env.Path("install");

    std::mt19937 random(12345);
    const int kPoints = 24;
    int killedMidway = 0;
    for (int point = 0; point < kPoints; ++point) {
        SCOPED_TRACE("kill point " + std::to_string(point));
        Lay(install, oldBuild);
        {
            PatcherChild child(install, patch);
            // Kill once progress has passed the point's share, after a short random spin.
            const double threshold = static_cast<double>(point) / kPoints;
            bool finished = false;
            for (;;) {
                std::optional<double> p = child.NextProgress();
                if (!p || *p >= 1.0) {
                    finished = true;
                    break;
                }
                if (*p >= threshold)
                    break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
            child.Kill();
            if (!finished)
                ++killedMidway;
        }
        // Every file is whole: its old or its new version, or absent where one
        // of the versions has none.
        Build seen;
        for (const auto& [path, bytes] : patchtest::ListFiles(install)) {
            if (ReplacementFile::IsTemporaryName(fs::path(path).filename().string()))
                continue;  // an unfinished replacement, never the target itself
            seen[path] = bytes;
        }
        std::set<std::string> paths;
        for (const Build* b : {&oldBuild, &newBuild, &seen})
            for (const auto& entry : *b)
                paths.insert(entry.first);
        for (const std::string& path : paths) {
            auto version = [&](const Build& b) -> std::optional<std::string> {
                auto it = b.find(path);
                return it == b.end() ? std::nullopt : std::optional<std::string>(it->second);
            };
            std::optional<std::string> now = version(seen);
            EXPECT_TRUE(now == version(oldBuild) || now == version(newBuild))
                << path << (now ? " is neither version" : " vanished");
        }

        // Applying the same file again reaches the new build, with no leftovers.
        PatcherChild again(install, patch);
        while (again.NextProgress()) {
        }
        EXPECT_EQ(again.Wait(), 0);
        Build after;
        for (const auto& [path, bytes] : patchtest::ListFiles(install))
            after[path] = bytes;
        EXPECT_TRUE(after == newBuild);
    }
    // Most kill points land inside the run, not after it.
    EXPECT_GE(killedMidway, kPoints / 2);
}

}  // namespace
