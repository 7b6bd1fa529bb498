// The barrier checker against small call logs, each with one fault or none, and
// the download record's claims read from a hive.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <sstream>

#include "tests/fixtures/BarrierChecker.h"
#include "tests/fixtures/DownloadRecordClaims.h"
#include "tests/fixtures/FsCallLog.h"

namespace {

// Builds a log as the recorder writes it, one call at a time; every path gets an
// inode of its own, and each change moves the file's ctime.
class SyntheticLog {
public:
    SyntheticLog& Create(const std::string& path) {
        ids[path] = "1:" + std::to_string(++lastInode);
        sizes[path] = 0;
        return Add("open", path, {{"created", "1"}, {"flags", "0101"}}, true);
    }
    SyntheticLog& Write(const std::string& path, int64_t bytes) {
        sizes[path] += bytes;
        return Add("write", path, {{"fd", "3"}}, true);
    }
    SyntheticLog& Cut(const std::string& path, int64_t size) {
        std::string was = std::to_string(sizes[path]);
        sizes[path] = size;
        return Add("truncate", path, {{"fd", "3"}, {"was", was}}, true);
    }
    SyntheticLog& Fdatasync(const std::string& path) { return Add("fdatasync", path, {{"fd", "3"}}, false); }
    SyntheticLog& Fsync(const std::string& path) { return Add("fsync", path, {{"fd", "3"}}, false); }
    SyntheticLog& Chmod(const std::string& path) { return Add("chmod", path, {{"mode", "0755"}}, true); }
    // A change no recorded call shows (a write through stdio): only the ctime moves.
    SyntheticLog& Touch(const std::string& path) {
        ctimes[path] = ++clock;
        return *this;
    }
    SyntheticLog& SyncFolder(const std::string& folder) {
        return Line("fsync", {{"fd", "4"}, {"path", folder}, {"id", FolderId(folder)}, {"kind", "dir"}});
    }
    SyntheticLog& Mkdir(const std::string& path) {
        folderIds[path] = "1:" + std::to_string(++lastInode);
        return Line("mkdir", {{"path", path},
                              {"id", folderIds[path]},
                              {"kind", "dir"},
                              {"dir", FolderId(Parent(path))},
                              {"dirpath", Parent(path)}});
    }
    SyntheticLog& Rename(const std::string& from, const std::string& to) { return NewName("rename", from, to); }
    SyntheticLog& Link(const std::string& from, const std::string& to) { return NewName("link", from, to); }
    // A rename onto the record file; `claims` is what the record then says ("claim PATH LENGTH" lines).
    SyntheticLog& Record(const std::string& from, const std::string& to, const std::string& claims) {
        NewName("rename", from, to);
        calls.back().isRecord = true;
        calls.back().recordBytes = claims;
        return *this;
    }

    std::vector<FsCall> Calls() const { return calls; }

private:
    static std::string Parent(const std::string& path) { return path.substr(0, path.rfind('/')); }

    std::string FolderId(const std::string& folder) {
        std::string& id = folderIds[folder];
        if (id.empty())
            id = "1:" + std::to_string(++lastInode);
        return id;
    }

    SyntheticLog& Add(const std::string& name, const std::string& path,
                      std::vector<std::pair<std::string, std::string>> fields, bool changes) {
        if (changes)
            ctimes[path] = ++clock;
        fields.insert(fields.end(), {{"path", path},
                                     {"id", ids[path]},
                                     {"kind", "file"},
                                     {"size", std::to_string(sizes[path])},
                                     {"ctime", std::to_string(ctimes[path])},
                                     {"dir", FolderId(Parent(path))},
                                     {"dirpath", Parent(path)}});
        return Line(name, fields);
    }

    SyntheticLog& NewName(const std::string& name, const std::string& from, const std::string& to) {
        std::string id = ids[from];
        std::string ctime = std::to_string(ctimes[from]);
        std::string size = std::to_string(sizes[from]);
        ids[to] = id;
        sizes[to] = sizes[from];
        ctimes[to] = ctimes[from] = ++clock;
        return Line(name, {{"from", from},
                           {"to", to},
                           {"id", id},
                           {"kind", "file"},
                           {"size", size},
                           {"ctime", ctime},
                           {"dir", FolderId(Parent(to))},
                           {"dirpath", Parent(to)},
                           {"after_ctime", std::to_string(ctimes[to])}});
    }

    SyntheticLog& Line(const std::string& name, const std::vector<std::pair<std::string, std::string>>& fields) {
        std::string text = name + "\tpid=1\ttid=1\tret=0";
        for (const auto& [key, value] : fields)
            text += "\t" + key + "=" + value;
        FsCall call = FsCallLog::Parse(text);
        call.index = calls.size();
        calls.push_back(std::move(call));
        return *this;
    }

    std::vector<FsCall> calls;
    std::map<std::string, std::string> ids, folderIds;
    std::map<std::string, int64_t> sizes, ctimes;
    int lastInode = 0;
    int64_t clock = 0;
};

// "claim PATH LENGTH" per line.
std::vector<DurableClaim> ReadClaims(const std::string& bytes) {
    std::vector<DurableClaim> claims;
    std::istringstream lines(bytes);
    std::string word, path;
    int64_t length;
    while (lines >> word >> path >> length)
        claims.push_back({path, length});
    return claims;
}

// The hive written through its temporary file, claims and all.
SyntheticLog& WriteHive(SyntheticLog& log, const std::string& claims) {
    return log.Create("/h/hkcu.reg.tmp")
        .Write("/h/hkcu.reg.tmp", 300)
        .Fsync("/h/hkcu.reg.tmp")
        .Record("/h/hkcu.reg.tmp", "/h/hkcu.reg", claims)
        .SyncFolder("/h");
}

TEST(BarrierChecker, EachFaultIsFoundAndASoundLogPasses) {
    struct Case {
        const char* name;
        std::function<void(SyntheticLog&)> calls;
        std::optional<BarrierRule> fault;  // none: the log is sound
    } cases[] = {
        {"sound: a new folder, a file published into it, a truncation synced, the record behind them",
         [](SyntheticLog& log) {
             log.Mkdir("/s/new").SyncFolder("/s");
             log.Create("/s/new/f.tmp").Write("/s/new/f.tmp", 100).Chmod("/s/new/f.tmp").Fsync("/s/new/f.tmp");
             log.Rename("/s/new/f.tmp", "/s/new/f").SyncFolder("/s/new");
             log.Create("/s/new/g").Write("/s/new/g", 500).Cut("/s/new/g", 0).Write("/s/new/g", 200);
             log.Fdatasync("/s/new/g").SyncFolder("/s/new");
             WriteHive(log, "claim /s/new/g 200\nclaim /s/new/f -1\n");
         },
         std::nullopt},
        {"a rename without the file's sync",
         [](SyntheticLog& log) {
             log.Create("/s/f.tmp").Write("/s/f.tmp", 100).Rename("/s/f.tmp", "/s/f").SyncFolder("/s");
         },
         BarrierRule::FileNotSynced},
        {"a rename after a change no call shows (the ctime moved since the sync)",
         [](SyntheticLog& log) {
             log.Create("/s/f.tmp").Write("/s/f.tmp", 100).Fdatasync("/s/f.tmp").Touch("/s/f.tmp");
             log.Rename("/s/f.tmp", "/s/f").SyncFolder("/s");
         },
         BarrierRule::FileNotSynced},
        {"a link after a mode change synced only with fdatasync",
         [](SyntheticLog& log) {
             log.Create("/s/f.new").Write("/s/f.new", 10).Chmod("/s/f.new").Fdatasync("/s/f.new");
             log.Link("/s/f.new", "/s/f").SyncFolder("/s");
         },
         BarrierRule::ModeNotSynced},
        {"a rename without the folder sync afterwards",
         [](SyntheticLog& log) {
             log.Create("/s/f.tmp").Write("/s/f.tmp", 1).Fsync("/s/f.tmp").Rename("/s/f.tmp", "/s/f");
         },
         BarrierRule::FolderNotSynced},
        {"a record while a link still waits for its folder, though the folder is synced later",
         [](SyntheticLog& log) {
             log.Create("/s/lock.new").Write("/s/lock.new", 4).Fsync("/s/lock.new").Link("/s/lock.new", "/s/lock");
             WriteHive(log, "");
             log.SyncFolder("/s");
         },
         BarrierRule::FolderNotSynced},
        {"a mkdir whose parent is never synced", [](SyntheticLog& log) { log.Mkdir("/s/new"); },
         BarrierRule::ParentNotSynced},
        {"a file made inside a new folder before the folder's parent was synced",
         [](SyntheticLog& log) { log.Mkdir("/s/new").Create("/s/new/f").SyncFolder("/s").SyncFolder("/s/new"); },
         BarrierRule::InsideNewFolder},
        {"a hive record naming a durable length beyond the last sync",
         [](SyntheticLog& log) {
             log.Create("/s/game.exe").SyncFolder("/s").Write("/s/game.exe", 1000).Fdatasync("/s/game.exe");
             log.Write("/s/game.exe", 500);
             WriteHive(log, "claim /s/game.exe 1500\n");
         },
         BarrierRule::ClaimNotDurable},
        {"a hive record claiming a synced file whose name is not yet durable",
         [](SyntheticLog& log) {
             log.Create("/s/game.exe").Write("/s/game.exe", 1000).Fdatasync("/s/game.exe");
             WriteHive(log, "claim /s/game.exe 1000\n");
             log.SyncFolder("/s");
         },
         BarrierRule::ClaimNotDurable},
        {"a truncation not synced before the hive record",
         [](SyntheticLog& log) {
             log.Create("/s/game.exe").Write("/s/game.exe", 1000).Fdatasync("/s/game.exe").SyncFolder("/s");
             log.Cut("/s/game.exe", 0);
             WriteHive(log, "");
             log.Write("/s/game.exe", 10).Fdatasync("/s/game.exe");
         },
         BarrierRule::CutNotSynced},
    };
    for (const Case& c : cases) {
        SyntheticLog log;
        c.calls(log);
        std::vector<FsCall> calls = log.Calls();
        std::vector<BarrierFault> faults = BarrierChecker(ReadClaims).Check(calls);
        std::string described = BarrierChecker::Describe(faults, calls);
        if (!c.fault) {
            EXPECT_TRUE(faults.empty()) << c.name << "\n" << described;
            continue;
        }
        ASSERT_EQ(faults.size(), 1u) << c.name << "\n" << described;
        EXPECT_EQ(faults[0].rule, *c.fault) << c.name << "\n" << described;
        // The message shows the calls at fault.
        EXPECT_FALSE(faults[0].calls.empty()) << c.name;
        EXPECT_NE(described.find(BarrierChecker::Summary(calls[faults[0].calls.back()])), std::string::npos) << c.name;
    }
}

TEST(BarrierChecker, FailedCallsAndRemovedNamesOweNothing) {
    SyntheticLog log;
    log.Create("/s/lock.new").Write("/s/lock.new", 4);
    std::vector<FsCall> calls = log.Calls();
    // A link that failed (the lock was there already) publishes nothing.
    FsCall failed = FsCallLog::Parse("link\tpid=1\ttid=1\tret=-1\terr=17\tfrom=/s/lock.new\tto=/s/lock\tid=1:1");
    failed.index = calls.size();
    calls.push_back(failed);
    FsCall removed = FsCallLog::Parse("unlink\tpid=1\ttid=1\tret=0\tpath=/s/lock.new");
    removed.index = calls.size();
    calls.push_back(removed);
    std::vector<BarrierFault> faults = BarrierChecker().Check(calls);
    EXPECT_TRUE(faults.empty()) << BarrierChecker::Describe(faults, calls);
}

TEST(DownloadRecordClaims, StateCompletedAndEveryNumberOutsideTheFixedValues) {
    const std::string address = "http://127.0.0.1:8080/d1/game.exe";
    auto hive = [&](const std::string& values) {
        return "Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_CURRENT_USER\\Software\\Brindlemoor\\Quor!\\Downloads]\r\n\"" +
               address + "_downloadSaveDirectory\"=\"/save3/\"\r\n\"" + address + "_downloadAddress\"=\"" + address +
               "\"\r\n\"" + address + "_downloadStartTime\"=dword:6553f100\r\n" + values;
    };
    ClaimReader read = DownloadRecordClaims(address);
    auto claims = [&](const std::string& values) {
        std::vector<std::pair<std::string, int64_t>> out;
        for (const DurableClaim& c : read(hive(values)))
            out.push_back({c.path, c.length});
        return out;
    };
    using Claims = std::vector<std::pair<std::string, int64_t>>;
    // The fixed values claim nothing, digits and all; running, nothing is claimed.
    EXPECT_EQ(claims("\"" + address + "_downloadState\"=dword:000000ca\r\n"), Claims{});
    EXPECT_EQ(claims("\"" + address + "_downloadState\"=dword:000000ce\r\n"), (Claims{{"/save3/game.exe", -1}}));
    // A validator without digits claims nothing; a length beside it, in any value, is a claim.
    EXPECT_EQ(claims("\"" + address + "_downloadFiles\"=\"E:\\\"first\\\"\"\r\n"), Claims{});
    EXPECT_EQ(claims("\"" + address + "_downloadFiles\"=\"E:\\\"first\\\" 65536\"\r\n"),
              (Claims{{"/save3/game.exe", 65536}}));
    EXPECT_EQ(claims("\"" + address + "_downloadDurable\"=dword:00010000\r\n"), (Claims{{"/save3/game.exe", 65536}}));
    // Another download's values are not this one's.
    EXPECT_EQ(claims("\"http://other/x.exe_downloadFiles\"=\"12\"\r\n"), Claims{});
}

}  // namespace
