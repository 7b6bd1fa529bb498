#include <gtest/gtest.h>

#include "tests/ui/panels/RecordingPageCalls.h"
#include "ui/panels/ProgressBar.h"

namespace {

enum class Flag { None, Patching, DownloadingPatch, Paused, Checking };

ProgressBar BarWith(Flag flag) {
    ProgressBar bar("Game", 7);
    switch (flag) {
    case Flag::Patching: bar.SetPatching(); break;
    case Flag::DownloadingPatch: bar.SetDownloadingPatch(); break;
    case Flag::Paused: bar.SetPaused(true); break;
    case Flag::Checking: bar.SetChecking(); break;
    case Flag::None: break;
    }
    return bar;
}

struct TextCase {
    Flag flag;
    const char* language;
    const char* expected;  // for 50 % at 30 KB/s
};

// The table of status texts, with 50 % and 30 KB/s filled in. "\xc2\xa0" is the
// no-break space of the two Portuguese texts.
const TextCase kTexts[] = {
    {Flag::Patching, "en", "Patching: 50%"},
    {Flag::Patching, "tr", "Yama: 50%"},
    {Flag::Patching, "de", "Patching: 50%"},
    {Flag::Patching, "es", "Remendar: 50%"},
    {Flag::Patching, "pt", "Atualizando: 50%"},
    {Flag::DownloadingPatch, "en", "Downloading Patch: 50%  (30 KB/s)"},
    {Flag::DownloadingPatch, "tr",
     "Yama Y\xc3\xbckleme"
     "si: 50%  (30 KB/s)"},
    {Flag::DownloadingPatch, "de", "Patch Download: 50%  (30 KB/s)"},
    {Flag::DownloadingPatch, "es", "Transferencia del Remiendo: 50%  (30 KB/s)"},
    {Flag::DownloadingPatch, "pt",
     "Download de Atualiza\xc3\xa7\xc3\xb5"
     "es: 50%\xc2\xa0 (30 KB/s)"},
    {Flag::Paused, "en", "50%  (Paused)"},
    {Flag::Paused, "tr", "50%  (Durdu)"},
    {Flag::Paused, "de", "50%  (angehalten)"},
    {Flag::Paused, "es", "50%  (Pausado)"},
    {Flag::Paused, "pt", "50%\xc2\xa0 (Pausado)"},
    {Flag::Checking, "en", "Checking Install: 50%"},
    {Flag::Checking, "tr", "Checking Install: 50%"},
    {Flag::Checking, "de", "Checking Install: 50%"},
    {Flag::Checking, "es", "Checking Install: 50%"},
    {Flag::Checking, "pt", "Checking Install: 50%"},
    {Flag::None, "en", "50%  (30 KB/s)"},
    {Flag::None, "tr", "50%  (30 KB/s)"},
    {Flag::None, "de", "50%  (30 KB/s)"},
    {Flag::None, "es", "50%  (30 KB/s)"},
    {Flag::None, "pt", "50%  (30 KB/s)"},
    // Any other language: nothing, except the installation check.
    {Flag::Patching, "fr", ""},
    {Flag::DownloadingPatch, "fr", ""},
    {Flag::Paused, "fr", ""},
    {Flag::None, "fr", ""},
    {Flag::Checking, "fr", "Checking Install: 50%"},
    {Flag::None, "", ""},
    {Flag::None, "EN", ""},
};

TEST(ProgressBarTest, StatusTextsInEveryLanguage) {
    for (const TextCase& c : kTexts) {
        ProgressBar bar = BarWith(c.flag);
        RecordingPageCalls page;
        bar.Show({512, 1024, 30, "x.exe"}, c.language, page);
        ASSERT_EQ(page.calls.size(), 1u);
        EXPECT_EQ(page.calls[0], std::string("updateProgress(7, '") + c.expected + "', 512, 1024, 30, 'x.exe')")
            << "language " << c.language << ", flag " << static_cast<int>(c.flag);
    }
}

TEST(ProgressBarTest, FractionRules) {
    struct Case {
        ProgressRecord record;
        int percent;
    } cases[] = {
        {{512, 1024, 30, ""}, 50}, {{999, 0, 0, ""}, 0},        // total 0: 0 % whatever is done
        {{0, 0, 0, ""}, 0},        {{2048, 1024, 0, ""}, 100},  // done over total
        {{999, 1000, 0, ""}, 99},                               // truncated, never rounded up
        {{-5, 1000, 0, ""}, 0},                                 // below the range
        {{1, 3, 0, ""}, 33},       {{1000, 1000, 0, ""}, 100},
    };
    for (const Case& c : cases) {
        ProgressBar bar("Game", 1);
        RecordingPageCalls page;
        bar.Show(c.record, "en", page);
        EXPECT_EQ(bar.Percent(), c.percent) << c.record.done << "/" << c.record.total;
        EXPECT_GE(bar.Fraction(), 0.0f);
        EXPECT_LE(bar.Fraction(), 1.0f);
    }
}

TEST(ProgressBarTest, PageGetsTheRecordsWholeNumbers) {
    ProgressBar bar("Game", 3);
    RecordingPageCalls page;
    bar.Show({1536.9, 4096.5, 12, "a 1 MB of 4 MB"}, "en", page);
    EXPECT_EQ(page.calls.at(0), "updateProgress(3, '37%  (12 KB/s)', 1536, 4096, 12, 'a 1 MB of 4 MB')");
    EXPECT_EQ(bar.Speed(), 12);

    // Amounts beyond the page's 32-bit numbers are held at the limit.
    page.calls.clear();
    bar.Show({1e12, 1e12, 0, ""}, "en", page);
    EXPECT_EQ(page.calls.at(0), "updateProgress(3, '100%  (0 KB/s)', 2147483647, 2147483647, 0, '')");
}

TEST(ProgressBarTest, GermanPatchAtHalfWay) {
    ProgressBar bar = BarWith(Flag::Patching);
    RecordingPageCalls page;
    bar.Show({0.5 * 1000, 1000, 0, ""}, "de", page);
    EXPECT_EQ(page.calls.at(0), "updateProgress(7, 'Patching: 50%', 500, 1000, 0, '')");
}

TEST(ProgressBarTest, FlagsPriority) {
    ProgressBar bar("Game", 1);
    RecordingPageCalls page;
    // paused wins over checking
    bar.SetChecking();
    bar.SetPaused(true);
    bar.Show({1, 2, 4, ""}, "en", page);
    EXPECT_EQ(bar.StatusText("en"), "50%  (Paused)");
    // a patch download wins over paused
    bar.SetDownloadingPatch();
    EXPECT_EQ(bar.StatusText("en"), "Downloading Patch: 50%  (4 KB/s)");
    // patching wins over everything
    bar.SetPatching();
    EXPECT_EQ(bar.StatusText("en"), "Patching: 50%");
    // the end of a patch leaves the others
    bar.ClearPatch();
    EXPECT_EQ(bar.StatusText("en"), "50%  (Paused)");
    bar.SetPaused(false);
    EXPECT_EQ(bar.StatusText("en"), "Checking Install: 50%");
    bar.ClearChecking();
    EXPECT_EQ(bar.StatusText("en"), "50%  (4 KB/s)");
}

TEST(ProgressBarTest, FlagTransitions) {
    ProgressBar bar("Game", 1);
    EXPECT_FALSE(bar.Patching() || bar.DownloadingPatch() || bar.Paused() || bar.Checking());
    bar.SetDownloadingPatch();
    EXPECT_TRUE(bar.DownloadingPatch());
    EXPECT_FALSE(bar.Patching());
    bar.SetPatching();
    EXPECT_FALSE(bar.DownloadingPatch());
    EXPECT_TRUE(bar.Patching());
    // a check clears both patch flags
    bar.SetChecking();
    EXPECT_TRUE(bar.Checking());
    EXPECT_FALSE(bar.Patching() || bar.DownloadingPatch());
}

}  // namespace
