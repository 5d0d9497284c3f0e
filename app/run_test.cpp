#include "app/run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/errors.h"
#include "platform/testing.h"

namespace corvane {
namespace {

TEST(Run, MissingSettingsFileGivesReportAndStatus2) {
    testing::FakePlatform p;
    std::ostringstream err;
    const char* argv[] = {"corvane", "no such settings.ini"};
    EXPECT_EQ(corvanemain(2, argv, p, err), 2);
    EXPECT_EQ(p.fakeconsole.transcript, "\nCorvane Loran-C monitor " CORVANE_VERSION "\n\n");
    // The detail line names the operation and the file; the OS words vary.
    const std::string report = err.str();
    EXPECT_EQ(report.rfind("\ncannot open settings file \"no such settings.ini\": ", 0), 0u) << report;
    const std::string tail = "\nAborting due to runtime error 2 (file not found)\n\n";
    ASSERT_GT(report.size(), tail.size());
    EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
}

TEST(Run, HelpAndVersionExitZeroAndUnknownOptionsAreErrors) {
    for (const char* option : {"--version", "-V"}) {
        testing::FakePlatform p;
        std::ostringstream err;
        const char* argv[] = {"corvane", option};
        EXPECT_EQ(corvanemain(2, argv, p, err), 0);
        EXPECT_EQ(p.fakeconsole.transcript, "Corvane Loran-C monitor " CORVANE_VERSION "\n");
        EXPECT_TRUE(err.str().empty());
    }
    for (const char* option : {"--help", "-h"}) {
        testing::FakePlatform p;
        std::ostringstream err;
        const char* argv[] = {"corvane", "my.ini", option};
        EXPECT_EQ(corvanemain(3, argv, p, err), 0);
        EXPECT_EQ(p.fakeconsole.transcript.rfind("usage: corvane [--check] [settings file]\n", 0), 0u);
        EXPECT_TRUE(err.str().empty());
    }
    // Anything else starting with "-" is an unknown option, not a file name.
    testing::FakePlatform p;
    std::ostringstream err;
    const char* argv[] = {"corvane", "-settings.ini"};
    EXPECT_EQ(corvanemain(2, argv, p, err), 1);
    EXPECT_EQ(err.str(), "corvane: unknown option \"-settings.ini\"; see corvane --help\n");
    EXPECT_EQ(p.fakeconsole.transcript, "");
}

// A folder with a settings file, a one-station table and a short recording.
std::string writerun(const std::string& name, int frames = 5000, const std::string& extra = "") {
    auto dir = std::filesystem::path(testing::testfolder()) / name;
    std::filesystem::create_directories(dir);
    const std::string d = dir.string();
    std::ofstream(d + "/table.txt") << "6731,0,M,Test,54,0,0,N,3,0,0,W,0,0,100\n";
    std::ofstream rec(d + "/rec.wav", std::ios::binary);
    rec << std::string(46, '\0');
    for (int i = 0; i < frames; ++i) rec << (i % 7 ? '\x10' : '\x70') << '\0' << '\0' << '\0';
    rec.close();
    std::ofstream(d + "/corvane.ini") << "[file]\nwav = " << d << "/rec.wav\ntable = " << d
                                      << "/table.txt\nbmp = " << d << "/out.bmp\n[stations]\n6731m\n"
                                      << extra;
    return d + "/corvane.ini";
}

TEST(Run, QuitKeyEndsWithStatus0AndNoReport) {
    testing::FakePlatform p;
    std::ostringstream err;
    // Three seconds of samples, a status line every second unless q ends the
    // run at the first block.
    const std::string ini = writerun("quit", 3 * 22050, "[time]\nshortintegration = 1\n");
    const char* argv[] = {"corvane", ini.c_str()};
    p.fakekeyboard.press("Qq");  // upper case is ignored, lower case quits
    EXPECT_EQ(corvanemain(2, argv, p, err), 0);
    EXPECT_TRUE(err.str().empty()) << err.str();
    EXPECT_TRUE(p.fakekeyboard.keys.empty());
    const std::string& t = p.fakeconsole.transcript;
    EXPECT_EQ(t.find(" max"), std::string::npos) << t;
    // No end-of-run step: the transcript does not end with the final empty line.
    EXPECT_NE(t.substr(t.size() - 2), "\n\n");
}

TEST(Run, ShortIntegrationsKeepTheirRhythmAfter200Days) {
    // Blocks of 0.1 s from sample time 200 days on, short integrations of
    // 0.5 s: one ends at blocks 6, 11, .. 96, 19 in 100 blocks. In real32 the
    // start (steps of 2 s there) would not move and every block would end one.
    const double day200 = 200 * 86400.0;
    double shortstart = day200;
    int ended = 0;
    for (int block = 1; block <= 100; ++block)
        if (shortintegrationdue(shortstart, day200 + block * 0.1, 0.5f)) ++ended;
    EXPECT_EQ(ended, 19);
    EXPECT_EQ(shortstart, day200 + 9.5);
}

TEST(Run, EndOfRecordingEndsWithStatus0AndAnEmptyLine) {
    testing::FakePlatform p;
    std::ostringstream err;
    const std::string ini = writerun("end");
    const char* argv[] = {"corvane", ini.c_str()};
    EXPECT_EQ(corvanemain(2, argv, p, err), 0);
    EXPECT_TRUE(err.str().empty()) << err.str();
    const std::string& t = p.fakeconsole.transcript;
    EXPECT_EQ(t.substr(t.size() - 1), "\n");
}

TEST(Run, ShortIntegrationsStartAfreshAfterAPeriodEnd) {
    // Every fold is bad, so every third short integration ends the period.
    // Ten seconds in periods of three: nine status lines. A period start
    // that kept the old shortstart would wait out the old period first.
    testing::FakePlatform p;
    std::ostringstream err;
    const std::string ini =
        writerun("resync", 10 * 22050, "[time]\nshortintegration = 1\n[taisync]\nresynclimit = 1e9\n");
    const char* argv[] = {"corvane", ini.c_str()};
    EXPECT_EQ(corvanemain(2, argv, p, err), 0) << err.str();
    const std::string& t = p.fakeconsole.transcript;
    int lines = 0;
    for (size_t at = t.find(" max"); at != std::string::npos; at = t.find(" max", at + 1)) ++lines;
    EXPECT_EQ(lines, 9) << t;
}

TEST(Run, WindowsBelowSevenSamplesAreNotAnalysedWithOneNotice) {
    const std::string notice = "displaysamples 6 is below 7: the reference pulse is not analysed";
    for (int d : {6, 7}) {
        testing::FakePlatform p;
        std::ostringstream err;
        const std::string ini =
            writerun("narrow" + std::to_string(d), 2 * 22050,
                     "[time]\nshortintegration = 0.5\ndisplaysamples = " + std::to_string(d) + "\n");
        const char* argv[] = {"corvane", ini.c_str()};
        EXPECT_EQ(corvanemain(2, argv, p, err), 0) << err.str();
        const std::string& t = p.fakeconsole.transcript;
        const size_t at = t.find(notice);
        EXPECT_EQ(at != std::string::npos, d == 6) << t;
        if (at != std::string::npos) {
            EXPECT_EQ(t.find(notice, at + 1), std::string::npos);
        }
    }
}

TEST(Run, ErrorReportFormat) {
    EXPECT_EQ(runtimeerrorreport(3, ""), "\nAborting due to runtime error 3 (file I/O error)\n\n");
    EXPECT_EQ(runtimeerrorreport(1, "x"), "\nx\nAborting due to runtime error 1 (illegal function call)\n\n");
}

}  // namespace
}  // namespace corvane
