#include "app/settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "core/errors.h"
#include "platform/testing.h"

namespace corvane {
namespace {

Settings parse(const std::string& text) { return parsesettings(text, "01-15-2020", "12:00:00"); }

TEST(Settings, DefaultsWithoutAFile) {
    Settings s = parse("");
    EXPECT_EQ(s.samplefile, "audio.dat");
    EXPECT_EQ(s.wavinput, 0);
    EXPECT_EQ(s.samplebytes, 2);
    EXPECT_EQ(s.channels, 2);
    EXPECT_DOUBLE_EQ(s.sr, 22050);
    EXPECT_FLOAT_EQ(s.nbinit, 10000);
    EXPECT_EQ(s.pllcommand, "Tonegen1 /testsig=");
    EXPECT_EQ(s.pllenabled, 0);
    EXPECT_EQ(s.date, "01-15-2020");
    EXPECT_EQ(s.time, "12:00:00");
    EXPECT_TRUE(s.selection.empty());
}

TEST(Settings, SectionsAndKeysAreCaseFreeAndCommentsAreCut) {
    Settings s = parse("[Location]\nLat = 50.1 ; home\nLON=8.5 ' also a comment\n");
    EXPECT_DOUBLE_EQ(s.lat, 50.1);
    EXPECT_DOUBLE_EQ(s.lon, 8.5);
}

TEST(Settings, ValuesKeepTheirCaseButKeysStationsAndFlagsAreCaseFree) {
    Settings s = parse("[FILE]\nWAV = /tmp/x/Sox2/G7UAK.wav\nTable = Tables/Europe.TXT\nMONO\n"
                       "[Stations]\n6731M\n7499y Extra\n");
    EXPECT_EQ(s.samplefile, "/tmp/x/Sox2/G7UAK.wav");
    EXPECT_EQ(s.wavinput, 1);
    EXPECT_EQ(s.table, "Tables/Europe.TXT");
    EXPECT_EQ(s.channels, 1);
    ASSERT_EQ(s.selection.size(), 2u);
    EXPECT_EQ(s.selection[0].letter, "M");
    EXPECT_EQ(s.selection[1].letter, "Y");
}

// The warnings for unknown sections and keys: file, line, and the name meant.
TEST(Settings, UnknownSectionsAndKeysAreWarnedAboutWithTheNameMeant) {
    std::vector<std::string> w;
    Settings s = parsesettings("lat = 3\n[time]\nshortintegraton = 5\n[taisynch]\nresynclimit = 2\n"
                               "[taisync]\n7499x = 1\nresynclimt = 1\n6731 = 2\n[stations]\n6731m\nhiden = 1\n"
                               "zzz\n[chaindelay]\n12 = 3\n[file]\nlongintegration = 3\n[Colours]\n",
                               "01-15-2020", "12:00:00", "my.ini", &w);
    const std::vector<std::string> expected = {
        "my.ini:1: key \"lat\" before the first section",
        "my.ini:3: unknown key \"shortintegraton\" in [time]; did you mean \"shortintegration\"?",
        "my.ini:4: unknown section [taisynch]; did you mean [taisync]?",
        "my.ini:8: unknown key \"resynclimt\" in [taisync]; did you mean \"resynclimit\"?",
        "my.ini:9: unknown key \"6731\" in [taisync]",
        "my.ini:12: unknown key \"hiden\" in [stations]; did you mean \"hidden\"?",
        "my.ini:13: unknown key \"zzz\" in [stations]",
        "my.ini:17: unknown key \"longintegration\" in [file]; it belongs in [time]",
        "my.ini:18: unknown section [colours]",
    };
    EXPECT_EQ(w, expected);
    // The run goes on with what was understood.
    EXPECT_FLOAT_EQ(s.shortintegration, 30);
    EXPECT_FLOAT_EQ(s.resynclimit, 0);
    ASSERT_EQ(s.taireferences.size(), 1u);
    EXPECT_EQ(s.taireferences[0].gri, 7499);
    ASSERT_EQ(s.selection.size(), 1u);
}

TEST(Settings, WindowsLineEndsAreStripped) {
    Settings s = parse("[time]\r\nshortintegration = 12\r\n[file]\r\nwav = rec.wav\r\n");
    EXPECT_FLOAT_EQ(s.shortintegration, 12);
    EXPECT_EQ(s.samplefile, "rec.wav");
}

TEST(Settings, ByteOrderMarkBeforeTheFirstLineIsSkipped) {
    Settings s = parse("\xEF\xBB\xBF[file]\nwav = rec.wav\n");
    EXPECT_EQ(s.samplefile, "rec.wav");
}

// At 23:59:59.8 a clock that moves on 0.3 s with every reading: a date and a
// time read one after the other fall on two days.
struct MidnightClock : testing::FakeClock {
    MidnightClock() { offset = 0, now = 86399.8; }
    std::string today() const { return now < 86400 ? "01-15-2020" : "01-16-2020"; }
    std::string datetext() override { return tick(today()); }
    std::string timetext() override { return tick(FakeClock::timetext()); }
    DateTime datetime() override { return tick(DateTime{today(), FakeClock::timetext()}); }
    template <typename T> T tick(T value) {
        now += 0.3;
        return value;
    }
};

TEST(Settings, DateAndTimeAtMidnightComeFromOneReading) {
    const std::string file = testing::testfolder() + "midnight.ini";
    std::ofstream(file) << "[file]\nwav = rec.wav\n";
    MidnightClock clock;
    const Settings s = loadsettings(file, clock);
    EXPECT_EQ(s.date + " " + s.time, "01-15-2020 23:59:59");
    // The clock reads UTC: a monitor at UTC + 1 starts on the next day.
    std::ofstream(file) << "[file]\nwav = rec.wav\n[time]\nutcoffset = 1\n";
    MidnightClock east;
    const Settings e = loadsettings(file, east);
    EXPECT_EQ(e.date + " " + e.time, "01-16-2020 00:59:59");
}

TEST(Settings, PllCommandKeepsTextBeforeSemicolonAndEnablesSteering) {
    Settings s = parse("[pll]\npllcommand = Tone /f= ; comment\n");
    EXPECT_EQ(s.pllcommand, "Tone /f=");
    EXPECT_EQ(s.pllenabled, 1);
}

TEST(Settings, SpecialKeys) {
    Settings s = parse("[amplitude]\nfullscale = 150+\nnbinit = 50\nedgelevel = 5\nedgelevel = 0.3\n"
                       "[frequency]\nsrcorr = -4\n");
    EXPECT_FLOAT_EQ(s.fullscale, 150);
    EXPECT_EQ(s.fullscalefixed, 1);
    EXPECT_FLOAT_EQ(s.nbinit, 2500);
    EXPECT_FLOAT_EQ(s.edgelevel, 0.3f);
    EXPECT_FLOAT_EQ(s.edgelevelabsolute, 5);  // kept by the later smaller value
    EXPECT_FLOAT_EQ(s.srcorr, -4);
    EXPECT_FLOAT_EQ(s.srcorrroot, 2);

    Settings plain = parse("[amplitude]\nfullscale = 150\nedgelevel = 0.3\n");
    EXPECT_EQ(plain.fullscalefixed, 0);
    EXPECT_FLOAT_EQ(plain.edgelevelabsolute, 0);
}

TEST(Settings, BitsChannelsAndSampleFile) {
    EXPECT_EQ(parse("[file]\nbits = 8\n").samplebytes, 1);
    EXPECT_EQ(parse("[file]\nbits = 12\n").samplebytes, 2);
    EXPECT_EQ(parse("[file]\nbits = 16\n").samplebytes, 2);
    EXPECT_EQ(parse("[file]\nbits\n").samplebytes, 1);  // no value reads 0
    EXPECT_EQ(parse("[file]\nmono\n").channels, 1);
    EXPECT_EQ(parse("[file]\nmono\nstereo = whatever\n").channels, 2);
    Settings s = parse("[file]\nwav = a.wav\ndat = b.dat\n");
    EXPECT_EQ(s.samplefile, "b.dat");
    EXPECT_EQ(s.wavinput, 0);
    s = parse("[file]\ndat = b.dat\nwav = a.wav\n");
    EXPECT_EQ(s.samplefile, "a.wav");
    EXPECT_EQ(s.wavinput, 1);
}

TEST(Settings, UnclosedSectionLineMatchesNothing) {
    Settings s = parse("[time\nshortintegration = 5\n");
    EXPECT_FLOAT_EQ(s.shortintegration, 30);
}

TEST(Settings, KeysBeforeTheFirstSectionAreIgnored) {
    Settings s = parse("sr = 48000\n[frequency]\n");
    EXPECT_DOUBLE_EQ(s.sr, 22050);
}

TEST(Settings, ChainDelayRange) {
    Settings s = parse("[chaindelay]\n4000 = 1\n10000 = 2\n4001 = 3\n8970 = 34.5\n8970 = 35\n"
                       "[taisync]\n8970m = 2\n[stations]\n-8970x\n");
    ASSERT_EQ(s.chaindelays.size(), 3u);
    EXPECT_EQ(s.chaindelays[0].gri, 4001);
    // The last matching entry wins; a selection uses the absolute GRI.
    EXPECT_FLOAT_EQ(s.taireferences.at(0).chaindelay, 35);
    EXPECT_FLOAT_EQ(s.selection.at(0).chaindelay, 35);
}

TEST(Settings, TaiReferenceEntries) {
    Settings s = parse("[taisync]\n7499m = 12.5\nstations = 3\n0x = 1\nsyncverbose\nintegrationtime = 20\n");
    ASSERT_EQ(s.taireferences.size(), 1u);
    EXPECT_EQ(s.taireferences[0].gri, 7499);
    EXPECT_EQ(s.taireferences[0].letter, "M");
    EXPECT_FLOAT_EQ(s.taireferences[0].value, 12.5f);
    EXPECT_EQ(s.stations, 3);
    EXPECT_EQ(s.syncverbose, 1);
    EXPECT_DOUBLE_EQ(s.integrationtime, 20);
}

TEST(Settings, StationSelectionAndBlankedFlags) {
    Settings s = parse("[stations]\nblankedstns = 1\n-9940x\n9940w long\n-7499m\nx\nhidden = 1\n");
    ASSERT_EQ(s.selection.size(), 3u);
    EXPECT_EQ(s.selection[0].gri, -9940);
    EXPECT_EQ(s.selection[0].letter, "X");
    EXPECT_EQ(s.selection[0].blanked, 1);
    EXPECT_EQ(s.selection[1].letter, "W");
    EXPECT_EQ(s.selection[1].suffix, " long");
    EXPECT_EQ(s.selection[1].blanked, 0);
    EXPECT_EQ(s.selection[2].gri, -7499);
    EXPECT_EQ(s.selection[2].blanked, 0);  // blankedstns already used up
    EXPECT_EQ(s.hidden, 1);

    Settings none = parse("[stations]\n-9940x\n");
    EXPECT_EQ(none.selection[0].blanked, 0);  // blankedstns 0
}

TEST(Settings, FilterTaps) {
    Settings s = parse("[firfilter]\ntap = 0.5, -0.25\ntap = 2\nhipass = 0.3\n");
    ASSERT_EQ(s.taps.size(), 2u);
    EXPECT_FLOAT_EQ(s.taps[0].re, 0.5f);
    EXPECT_FLOAT_EQ(s.taps[0].im, -0.25f);
    EXPECT_FLOAT_EQ(s.taps[1].re, 2);
    EXPECT_FLOAT_EQ(s.taps[1].im, 0);
    EXPECT_FLOAT_EQ(s.hipass, 0.3f);
}

TEST(Settings, ListsGrowBeyondTheClassicCapacities) {
    std::string text = "[stations]\n";
    for (int i = 0; i < 250; ++i) text += std::to_string(5000 + i) + "m\n";
    EXPECT_EQ(parse(text).selection.size(), 250u);
}

TEST(Settings, IntegerFieldsRoundHalfEvenAndClamp) {
    EXPECT_EQ(parse("[time]\nlongintegration = 2.5\n").longintegration, 2);
    EXPECT_EQ(parse("[time]\nlongintegration = 3.5\n").longintegration, 4);
    EXPECT_EQ(parse("[time]\nlongintegration = 1e20\n").longintegration, 2147483647);
    EXPECT_EQ(parse("[amplitude]\nnb = -99999\n").nb, -32768);
    EXPECT_FLOAT_EQ(parse("[time]\nshortintegration = 1e300\n").shortintegration, 3.4028235e38f);
}

TEST(Settings, FileNameFromTheCommandLine) {
    const char* none[] = {"corvane"};
    EXPECT_EQ(settingsfilename(1, none), "corvane.ini");
    const char* two[] = {"corvane", "my", "settings.ini"};
    EXPECT_EQ(settingsfilename(3, two), "my settings.ini");
}

// A valid base that each refusal case spoils in one key.
std::string base(const std::string& extra) {
    return "[stations]\n7499m\n7499x\n" + extra;
}

void expectrefused(const std::string& text, const std::string& key) {
    Settings s = parse(text);
    try {
        validatesettings(s);
        FAIL() << "accepted: " << text;
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 1);
        EXPECT_NE(std::string(e.what()).find(key), std::string::npos) << e.what();
    }
}

TEST(Settings, EveryRefusalIsListedTheFirstIsThrown) {
    const Settings s = parse(base("[frequency]\nsr = 500\n[time]\nshortintegration = 0\n[file]\ndate = 1-5-2024\n"));
    const std::vector<std::string> refusals = settingsrefusals(s);
    ASSERT_EQ(refusals.size(), 3u);
    EXPECT_EQ(refusals[0].rfind("setting sr = 500 refused", 0), 0u) << refusals[0];
    EXPECT_EQ(refusals[1].rfind("setting shortintegration = 0 refused", 0), 0u) << refusals[1];
    EXPECT_EQ(refusals[2].rfind("setting date = 1-5-2024 refused", 0), 0u) << refusals[2];
    expectrefused(base("[frequency]\nsr = 500\n[time]\nshortintegration = 0\n"), "sr = 500");
    EXPECT_TRUE(settingsrefusals(parse(base(""))).empty());
}

TEST(Settings, ValidationRefusesSettingsThatWouldCrashOrHang) {
    EXPECT_NO_THROW(validatesettings(parse(base(""))));
    expectrefused(base("[frequency]\nsr = 0\n"), "sr");
    expectrefused(base("[frequency]\nsr = -5\n"), "sr");
    expectrefused(base("[frequency]\nsr = 2000\n"), "sr");          // blocks of 0 samples
    expectrefused(base("[file]\nfileblocklen = 23\n[frequency]\nsr = 1\n"), "sr");  // hours per block
    expectrefused(base("[frequency]\nsr = 200000\n"), "sr");        // buffer over 32767
    expectrefused(base("[file]\nfileblocklen = 40000\n"), "fileblocklen");
    expectrefused(base("[time]\ndisplaysamples = 0\n"), "displaysamples");
    expectrefused(base("[time]\ndisplaysamples = 20000\n"), "displaysamples");  // N x D
    expectrefused(base("[stations]\nsinglepulses = 19\n"), "singlepulses");
    expectrefused(base("[stations]\nsinglepulses = -1\n"), "singlepulses");
    expectrefused("[stations]\n", "[stations]");
    expectrefused(base("[amplitude]\nreferencestation = 2\n"), "referencestation");
    expectrefused(base("[amplitude]\nreferencestation = -1\n"), "referencestation");
    expectrefused(base("[time]\nshortintegration = 0\n"), "shortintegration");
    expectrefused(base("[file]\ndate = 13-01-2020\n"), "date");
    expectrefused(base("[file]\ndate = 2020-01-15\n"), "date");      // day first or ISO
    expectrefused(base("[file]\ndate = 01-32-2020\n"), "date");
    expectrefused(base("[file]\ndate = 6-15-2024\n"), "date = 6-15-2024");   // read as 5 June before
    expectrefused(base("[file]\ndate = 06-15-24\n"), "date = 06-15-24");
    expectrefused(base("[file]\ntime = 9:35:00\n"), "time = 9:35:00");     // read as 09:05:00 before
    expectrefused(base("[file]\ntime = 09:35\n"), "time = 09:35");
    expectrefused(base("[file]\ntime = 24:00:00\n"), "time");
    expectrefused(base("[file]\ntime = 09:35:0x\n"), "time");
    EXPECT_NO_THROW(validatesettings(parse(base("[file]\ndate = 12-31-2024\ntime = 23:59:59\n"))));
    // The system's own texts are not checked.
    EXPECT_NO_THROW(validatesettings(parsesettings(base(""), "1-5-2024", "9:05:00")));
    expectrefused(base("[stations]\n999m\n"), "999M");
    expectrefused(base("[taisync]\nintegrationtime = 10\n"), "integrationtime");
    expectrefused(base("[eloran]\n7499y\n"), "[eloran] 7499Y");   // not selected
    expectrefused(base("[eloran]\n7499m\n"), "[eloran] 7499M");   // not a secondary
    expectrefused(base("singlepulses = 2\n[eloran]\n7499x\n"), "[eloran] 7499X");
    // The data channel's windows are placed by the synchronisation.
    expectrefused(base("[eloran]\n7499x\n"), "[taisync] integrationtime");
    EXPECT_NO_THROW(validatesettings(parse(base("[eloran]\n7499x\n[taisync]\nintegrationtime = 4\n7499m = 1\n"))));
    // Accepted near the limits.
    EXPECT_NO_THROW(validatesettings(parse(base("[file]\nfileblocklen = 32511\n"))));
    EXPECT_NO_THROW(validatesettings(parse(base("[stations]\n999a\nsinglepulses = 18\n"))));
    EXPECT_NO_THROW(validatesettings(parse(base("[file]\nfileblocklen = 1024\n[frequency]\nsr = 1000\n"))));
}

TEST(Settings, EloranStationsGoToTheirSelectedIndex) {
    const Settings s =
        parse("[taisync]\nintegrationtime = 4\n6731m = 1\n[stations]\n6731m\n-6731y\n7499x\n[eloran]\n7499X\n6731y\n");
    EXPECT_NO_THROW(validatesettings(s));
    const eloran::ChannelConfig c = moduleconfigs(s).eloran;
    ASSERT_EQ(c.stations.size(), 2u);
    EXPECT_EQ(c.stations[0].station, 2);
    EXPECT_EQ(c.stations[0].id, "7499X");
    EXPECT_EQ(c.stations[1].station, 1);  // a blanking candidate is selected too
    EXPECT_EQ(c.stations[1].gri, 6731);
    EXPECT_TRUE(moduleconfigs(parse(base(""))).eloran.stations.empty());
}

}  // namespace
}  // namespace corvane
