#include "booster/PmbUrl.h"

#include <gtest/gtest.h>

#include "core/text/StringUtils.h"

namespace {

struct UrlCase {
    const char* method;
    PmbParams params;
    const char* query;  // after "?format=xml"
    int tokenAsks;
};

PmbParams Torrent(const wchar_t* id) {
    PmbParams p;
    p.torrentId = id;
    return p;
}

}  // namespace

TEST(PmbUrl, EveryMethodBuildsItsFragmentsInOrder) {
    PmbParams keys;
    keys.category = L"cat";
    keys.key = L"k1";
    keys.value = L"v1";
    PmbParams client;
    client.ClientID = L"PMB_Client";
    PmbParams validate;
    validate.netToken = L"given";
    PmbParams start;
    start.packageUrl = L"http://cdn.example/p.torrent";
    PmbParams startDir = start;
    startDir.destDir = L"C:\\Games\\G";
    startDir.setP2P = false;
    PmbParams cancel = Torrent(L"t1");
    cancel.deleteFiles = true;
    PmbParams open = Torrent(L"t1");
    open.withNetToken = true;
    PmbParams update = Torrent(L"t1");
    update.setP2P = false;

    const std::vector<UrlCase> cases = {
        {"version", {}, "", 0},
        {"loginStatus", {}, "", 0},
        {"getKeyValue", keys, "&category=cat&key=k1&netToken=TOKEN", 1},
        {"getToken", client, "&ClientID=PMB_Client", 0},
        {"setKeyValue", keys, "&category=cat&key=k1&value=v1&netToken=TOKEN", 1},
        {"validateDiskToken", validate, "&netToken=given", 0},
        {"shutdown", {}, "&netToken=TOKEN", 1},
        {"upgrade", {}, "&netToken=TOKEN", 1},
        {"transfer.start", start, "&packageUrl=http%3a%2f%2fcdn.example%2fp.torrent&setP2P=on", 0},
        {"transfer.start", startDir,
         "&packageUrl=http%3a%2f%2fcdn.example%2fp.torrent&destDir=C%3a%5cGames%5cG&netToken=TOKEN&setP2P=off", 1},
        {"transfer.status", Torrent(L"t1"), "&torrentId=t1", 0},
        {"transfer.files", Torrent(L"t1"), "&torrentId=t1", 0},
        {"transfer.info", Torrent(L"t1"), "&torrentId=t1", 0},
        {"transfer.pause", Torrent(L"t1"), "&torrentId=t1", 0},
        {"transfer.resume", Torrent(L"t1"), "&torrentId=t1", 0},
        {"transfer.cancel", Torrent(L"t1"), "&torrentId=t1", 0},
        {"transfer.cancel", cancel, "&torrentId=t1&delete=1&netToken=TOKEN", 1},
        {"transfer.open", Torrent(L"t1"), "&torrentId=t1", 0},
        {"transfer.open", open, "&torrentId=t1&netToken=TOKEN", 1},
        {"transfer.update", update, "&torrentId=t1&setP2P=off", 0},
        {"transfer.update", Torrent(L"t1"), "&torrentId=t1&setP2P=on", 0},
    };
    for (const UrlCase& c : cases) {
        int asks = 0;
        const std::string url = BuildPmbUrl(c.method, c.params, 60524, [&] {
            ++asks;
            return std::wstring(L"TOKEN");
        });
        EXPECT_EQ(url, std::string("http://127.0.0.1:60524/rest/") + c.method + "?format=xml" + c.query) << c.method;
        EXPECT_EQ(asks, c.tokenAsks) << c.method << " " << c.query;
    }
}

TEST(PmbUrl, ValuesCannotAddParametersOrBreakTheAddress) {
    const std::string url = BuildPmbUrl("transfer.status", Torrent(L"a&delete=1#x+y z"), 1234, {});
    EXPECT_EQ(url, "http://127.0.0.1:1234/rest/transfer.status?format=xml&torrentId=a%26delete%3d1%23x%2by%20z");
    // The token too, and non-ASCII text goes as UTF-8.
    const std::string token = BuildPmbUrl("shutdown", {}, 1, [] { return std::wstring(L"n=1&\u00e9"); });
    EXPECT_EQ(token, "http://127.0.0.1:1/rest/shutdown?format=xml&netToken=n%3d1%26%c3%a9");
}

TEST(PmbUrl, LongValuesAreNotCut) {
    const std::wstring id(5000, L'a');
    const std::string url = BuildPmbUrl("transfer.status", Torrent(id.c_str()), 1, {});
    EXPECT_EQ(url.size(), std::string("http://127.0.0.1:1/rest/transfer.status?format=xml&torrentId=").size() + 5000);
}

TEST(PmbUrl, AnOpenWithoutATokenToSendLeavesTheFragmentOut) {
    PmbParams open = Torrent(L"t1");
    open.withNetToken = true;
    EXPECT_EQ(BuildPmbUrl("transfer.open", open, 1, [] { return std::wstring(); }),
              "http://127.0.0.1:1/rest/transfer.open?format=xml&torrentId=t1");
}

TEST(PmbUrl, TextThatCannotBeConvertedIsRefusedBeforeAnyTokenIsAsked) {
    const std::wstring bad(1, static_cast<wchar_t>(0xD800));
    PmbParams category;
    category.category = bad;
    PmbParams value;
    value.value = bad;
    PmbParams destDir;
    destDir.packageUrl = L"u";
    destDir.destDir = bad;
    PmbParams cancel = Torrent(bad.c_str());
    cancel.deleteFiles = true;
    PmbParams open = Torrent(bad.c_str());
    open.withNetToken = true;
    const std::vector<std::pair<const char*, PmbParams>> cases = {
        {"getKeyValue", category},   {"setKeyValue", value},  {"transfer.start", destDir},
        {"transfer.cancel", cancel}, {"transfer.open", open},
    };
    for (const auto& [method, params] : cases) {
        int asks = 0;
        EXPECT_THROW(BuildPmbUrl(method, params, 1,
                                 [&] {
                                     ++asks;
                                     return std::wstring(L"TOKEN");
                                 }),
                     ConversionError)
            << method;
        EXPECT_EQ(asks, 0) << method;
    }
    EXPECT_THROW(
        BuildPmbUrl("transfer.status", Torrent(std::wstring(1, static_cast<wchar_t>(0x110000)).c_str()), 1, {}),
        ConversionError);
}
