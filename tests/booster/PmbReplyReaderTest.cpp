#include "booster/PmbReplyReader.h"

#include <gtest/gtest.h>
#include <limits>

using pmbreply::Outcome;

TEST(PmbReplyReader, MissingElementsKeepFreshValues) {
    TransferStatus status;
    ASSERT_EQ(pmbreply::Read("<TransferStatus><torrentId>t9</torrentId><bitRate></bitRate></TransferStatus>", status),
              Outcome::Ok);
    EXPECT_EQ(status.torrentId, L"t9");
    EXPECT_EQ(status.status.statusId, 0);
    EXPECT_TRUE(status.status.statusStr.empty());
    EXPECT_TRUE(status.type.empty());
    EXPECT_EQ(status.bytesDownloaded, 0);
    EXPECT_EQ(status.bitRate, 0);

    VersionResp version;
    ASSERT_EQ(pmbreply::Read("<VersionResp><upgradeAvailable>TRUE</upgradeAvailable></VersionResp>", version),
              Outcome::Ok);
    EXPECT_FALSE(version.upgradeAvailable);  // exactly "true"
}

TEST(PmbReplyReader, EveryFieldOfATransferStatus) {
    TransferStatus s;
    ASSERT_EQ(pmbreply::Read("<?xml version=\"1.0\"?><TransferStatus><status><statusId>902</statusId>"
                             "<statusLink>l</statusLink><statusStr>Bad token</statusStr></status>"
                             "<torrentId>t</torrentId><type>dl</type><bytesDownloaded>  -12x</bytesDownloaded>"
                             "<torrentSize>+9000000000</torrentSize><bitRate>77</bitRate><bytesFromCDN>1</bytesFromCDN>"
                             "<bytesFromSPs>2</bytesFromSPs><bytesFromPeers>3</bytesFromPeers></TransferStatus>",
                             s),
              Outcome::Ok);
    EXPECT_EQ(s.status.statusId, 902);
    EXPECT_EQ(s.status.statusLink, L"l");
    EXPECT_EQ(s.status.statusStr, L"Bad token");
    EXPECT_EQ(s.type, L"dl");
    EXPECT_EQ(s.bytesDownloaded, -12);
    EXPECT_EQ(s.torrentSize, 9000000000LL);
    EXPECT_EQ(s.bitRate, 77);
    EXPECT_EQ(s.bytesFromCDN + s.bytesFromSPs + s.bytesFromPeers, 6);
}

TEST(PmbReplyReader, BadBodiesAndNoBody) {
    struct Case {
        const char* body;
        Outcome outcome;
    };
    const Case cases[] = {
        {"", Outcome::NoReply},
        {"<Other><loginStatus>LoggedIn</loginStatus></Other>", Outcome::BadReply},
        {"not xml at all", Outcome::BadReply},
        {"<LoginStatus><loginStatus>LoggedIn</loginStatus>", Outcome::BadReply},
        {"<LoginStatus><loginStatus>\xC3\x28</loginStatus></LoginStatus>", Outcome::BadReply},
        {"<LoginStatus><loginStatus>\xED\xA0\x80</loginStatus></LoginStatus>", Outcome::BadReply},  // a surrogate
        {"<Other/><LoginStatus><loginStatus>LoggedIn</loginStatus></LoginStatus>", Outcome::Ok},
    };
    for (const Case& c : cases) {
        LoginStatusResp record;
        record.subscriptionLevel = 5;
        EXPECT_EQ(pmbreply::Read(c.body, record), c.outcome) << c.body;
        if (c.outcome != Outcome::Ok) {
            EXPECT_EQ(record.subscriptionLevel, 5) << "a bad reply changes nothing";
        }
    }
}

TEST(PmbReplyReader, StatusRepliesNeedTheirOwnRoot) {
    const char* roots[] = {"KeyResp", "Shutdown", "UpgradeResp", "CancelStatus", "OpenStatus", "Update"};
    for (const char* root : roots) {
        StatusResp status;
        const std::string body = std::string("<") + root + "><status><statusId>905</statusId></status></" + root + ">";
        EXPECT_EQ(pmbreply::ReadStatus(body, root, status), Outcome::Ok) << root;
        EXPECT_EQ(status.statusId, 905);
        EXPECT_EQ(pmbreply::ReadStatus(body, "TransferStatus", status), Outcome::BadReply) << root;
    }
}

TEST(PmbReplyReader, TransferFilesKeepTheBoostersBackslash) {
    struct Case {
        const char* destDir;  // nullptr: no element
        std::vector<std::wstring> files;
    };
    const Case cases[] = {
        {"<DestDir>C:\\Games</DestDir>", {L"C:\\Games\\a.pak", L"C:\\Games\\b.pak"}},
        {"<DestDir>C:\\Games\\</DestDir>", {L"C:\\Games\\a.pak", L"C:\\Games\\b.pak"}},
        {"<DestDir></DestDir>", {L"a.pak", L"b.pak"}},
        {"", {L"a.pak", L"b.pak"}},
    };
    for (const Case& c : cases) {
        TransferFiles files;
        const std::string body = std::string("<TransferFiles>") + c.destDir +
                                 "<File>a.pak</File><file>ignored</file><File>b.pak</File></TransferFiles>";
        ASSERT_EQ(pmbreply::Read(body, files), Outcome::Ok);
        EXPECT_EQ(files.files, c.files) << c.destDir;
    }
}

TEST(PmbReplyReader, AFileListThatWouldOutgrowItsLimitIsABadReply) {
    // A 20000-character folder before each of 1000 names: 20 million characters
    // from a reply of 27 KB.
    std::string names;
    for (int k = 0; k < 1000; ++k)
        names += "<File/>";
    TransferFiles files;
    files.files.push_back(L"kept");
    EXPECT_EQ(
        pmbreply::Read("<TransferFiles><DestDir>" + std::string(20000, 'd') + "</DestDir>" + names + "</TransferFiles>",
                       files),
        Outcome::BadReply);
    EXPECT_EQ(files.files, std::vector<std::wstring>{L"kept"});
    // Up to the limit it is read.
    TransferFiles within;
    EXPECT_EQ(
        pmbreply::Read("<TransferFiles><DestDir>" + std::string(2000, 'd') + "</DestDir>" + names + "</TransferFiles>",
                       within),
        Outcome::Ok);
    EXPECT_EQ(within.files.size(), 1000u);
}

TEST(PmbReplyReader, TransferInfoInDocumentOrder) {
    PD_Lib_TransferInfo info;
    ASSERT_EQ(pmbreply::Read("<TransferInfo><packageId>p</packageId><key>k</key><description>d</description>"
                             "<packageURL>u</packageURL><packageUrl>wrong case</packageUrl><packager>pk</packager>"
                             "<creationDate>2009</creationDate><files>"
                             "<file><name>1</name><size>10</size></file><File><name>no</name></File>"
                             "<file><name>2</name><size>20</size></file><file><name>3</name></file></files>"
                             "<packageSize>30</packageSize><Sequential>true</Sequential><targetRate>4</targetRate>"
                             "<idleRate>5</idleRate><httpEncrypted>true</httpEncrypted>"
                             "<LeaveEncrypted>true</LeaveEncrypted><noP2PPermitted>true</noP2PPermitted>"
                             "<DownloadToExpire>6</DownloadToExpire><PlayToExpire>7</PlayToExpire>"
                             "<sequential>false</sequential></TransferInfo>",
                             info),
              Outcome::Ok);
    ASSERT_EQ(info.files.size(), 3u);
    EXPECT_EQ(info.files[0].name, L"1");
    EXPECT_EQ(info.files[1].size, 20);
    EXPECT_EQ(info.files[2].name, L"3");
    EXPECT_EQ(info.files[2].size, 0);
    EXPECT_EQ(info.packageURL, L"u");
    EXPECT_EQ(info.creationDate, L"2009");
    EXPECT_EQ(info.packageSize, 30);
    EXPECT_TRUE(info.Sequential && info.httpEncrypted && info.LeaveEncrypted && info.noP2PPermitted);
    EXPECT_EQ(info.targetRate + info.idleRate + info.DownloadToExpire + info.PlayToExpire, 22);
}

TEST(PmbReplyReader, NumbersThatOverflowAreClamped) {
    EXPECT_EQ(pmbreply::ReadInt64("99999999999999999999999"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(pmbreply::ReadInt64("-99999999999999999999999"), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(pmbreply::ReadInt64("9223372036854775807"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(pmbreply::ReadInt64("-9223372036854775808"), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(pmbreply::ReadInt64(" \t42abc"), 42);
    EXPECT_EQ(pmbreply::ReadInt64("x1"), 0);
    EXPECT_EQ(pmbreply::ReadInt64("-"), 0);

    TransferStatus s;
    ASSERT_EQ(pmbreply::Read("<TransferStatus><bitRate>5000000000</bitRate><status><statusId>-5000000000</statusId>"
                             "</status></TransferStatus>",
                             s),
              Outcome::Ok);
    EXPECT_EQ(s.bitRate, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(s.status.statusId, std::numeric_limits<int32_t>::min());
}

TEST(PmbReplyReader, TokenAndKeyReplies) {
    TokenResp token;
    ASSERT_EQ(pmbreply::Read("<TokenResp><diskToken>d</diskToken><netToken>n</netToken><filePath>/p/t</filePath>"
                             "<validated>true</validated></TokenResp>",
                             token),
              Outcome::Ok);
    EXPECT_EQ(token.diskToken + token.netToken + token.filePath, L"dn/p/t");
    EXPECT_TRUE(token.validated);
    KeyResp key;
    ASSERT_EQ(
        pmbreply::Read("<KeyResp><status><statusId>1</statusId></status><value>caf\xC3\xA9 \xF0\x9F\x8E\xAE</value>"
                       "</KeyResp>",
                       key),
        Outcome::Ok);
    EXPECT_EQ(key.value, L"caf\u00e9 \U0001F3AE");
    EXPECT_EQ(key.status.statusId, 1);
}

TEST(PmbReplyReader, ATokenHoldingALineEndOrANulIsABadReply) {
    struct Case {
        const char* inner;
        Outcome outcome;
    };
    const Case cases[] = {
        {"<diskToken>#!/bin/sh&#10;touch x</diskToken>", Outcome::BadReply},
        {"<diskToken>a&#13;b</diskToken>", Outcome::BadReply},
        {"<diskToken>a&#0;b</diskToken>", Outcome::BadReply},  // GetText would end at the NUL
        {"<diskToken>a&#x0A;</diskToken>", Outcome::BadReply},
        {"<netToken>n&#10;</netToken>", Outcome::BadReply},
        {"<diskToken><![CDATA[a\nb]]></diskToken>", Outcome::BadReply},
        {"<diskToken>a\nb</diskToken>", Outcome::Ok},   // a raw line end in text reads as a blank
        {"<filePath>a&#10;b</filePath>", Outcome::Ok},  // only the tokens go whole into a file
    };
    for (const Case& c : cases) {
        TokenResp token;
        token.netToken = L"kept";
        EXPECT_EQ(pmbreply::Read(std::string("<TokenResp>") + c.inner + "</TokenResp>", token), c.outcome) << c.inner;
        if (c.outcome == Outcome::BadReply) {
            EXPECT_EQ(token.netToken, L"kept") << c.inner;
        }
    }
}
