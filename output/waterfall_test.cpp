#include "output/waterfall.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include "core/errors.h"
#include "platform/testing.h"
#include "pulses/fold.h"
#include "stations/chaintiming.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

std::int32_t field32(const std::string& bytes, std::size_t at) {
    std::uint32_t u = 0;
    for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return static_cast<std::int32_t>(u);
}

class Waterfall : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::path(testing::testfolder()) /
                 ("waterfall-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        settings.bmp = (folder / "w.bmp").string();
        settings.colour = 0;
        settings.hipass = 0;
        settings.jittercorr = 0;
        settings.longintegration = 1;
        settings.fullscale = 1000;
        settings.displaysamples = 24;
    }
    void TearDown() override { fs::remove_all(folder); }

    // n stations of the given GRI, all visible, rows of zeros.
    void stations(std::int32_t n, std::int32_t gri = 7499) {
        table.stations.assign(static_cast<std::size_t>(n), Station{});
        for (Station& s : table.stations) s.gri = gri;
        table.visiblecount = n;
        clearrows();
    }
    void clearrows() {
        const auto size = table.stations.size() * static_cast<std::size_t>(settings.displaysamples);
        re.assign(size, 0);
        im.assign(size, 0);
        residual.assign(table.stations.size(), 0);
    }
    void create() { createimage(image, settings, table); }
    void draw() { drawline(image, settings, table, rows); }
    // As run control appends: the daily chain steps follow a change to hour 0.
    void append(std::int32_t hour = 0) {
        if (appendline(image, settings, table, rows, hour, platform) && hour == 0) ++dailysteps;
    }
    std::string file() {
        std::string bytes;
        EXPECT_TRUE(readwholefile(settings.bmp, bytes));
        return bytes;
    }
    int pixel(std::size_t k) const { return image.rowbuffer[k]; }
    // Greyscale byte of a single value at station 0, position 5.
    int greylevel(float value) {
        re[5] = value;
        draw();
        return pixel(5);
    }

    fs::path folder;
    WaterfallConfig settings;
    StationTable table;
    ChainTiming timing;
    WaterfallImage image;
    LongIntegration rows;
    std::vector<float>& re = rows.longre;
    std::vector<float>& im = rows.longim;
    std::vector<float>& residual = rows.longresidual;
    testing::FakePlatform platform;
    int dailysteps = 0;
};

TEST_F(Waterfall, GreyscaleFileGrowsByOneLineWithHeaderCountingIt) {
    stations(3);
    create();
    EXPECT_EQ(image.imagewidth, 72);
    std::string bytes = file();
    ASSERT_EQ(bytes.size(), 1078u);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(field32(bytes, 2), 1078);
    EXPECT_EQ(field32(bytes, 10), 1078);
    EXPECT_EQ(field32(bytes, 14), 40);
    EXPECT_EQ(field32(bytes, 18), 72);
    EXPECT_EQ(field32(bytes, 22), 0);
    EXPECT_EQ(field32(bytes, 26) & 0xffff, 1);
    EXPECT_EQ(field32(bytes, 28) & 0xffff, 8);
    EXPECT_EQ(field32(bytes, 54 + 4 * 200), 200 * 0x010101);

    re[30] = 500;  // station 1, position 6: level 0.5
    append(5);
    bytes = file();
    ASSERT_EQ(bytes.size(), 1150u);
    EXPECT_EQ(field32(bytes, 2), 1150);
    EXPECT_EQ(field32(bytes, 22), 1);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1078 + 30]), 127);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1078 + 24]), 255);  // hour mark of station 1
    EXPECT_EQ(static_cast<unsigned char>(bytes[1078 + 25]), 0);

    append(5);
    bytes = file();
    ASSERT_EQ(bytes.size(), 1222u);
    EXPECT_EQ(field32(bytes, 2), 1222);
    EXPECT_EQ(field32(bytes, 22), 2);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1150 + 24]), 0);  // the mark is one line high
}

TEST_F(Waterfall, ColourLinePadsWithDarkGreyAndHasNoPalette) {
    settings.colour = 1;
    settings.displaysamples = 25;
    stations(3);
    create();
    EXPECT_EQ(image.imagewidth, 76);
    ASSERT_EQ(image.rowbuffer.size(), 228u);
    for (float& v : re) v = 3000;
    append(0);
    const std::string bytes = file();
    ASSERT_EQ(bytes.size(), 54u + 228u);
    EXPECT_EQ(field32(bytes, 10), 54);
    EXPECT_EQ(field32(bytes, 28) & 0xffff, 24);
    EXPECT_EQ(bytes.substr(54 + 225, 3), "   ");
}

TEST_F(Waterfall, GreyscaleLevelMappings) {
    stations(1);
    create();
    EXPECT_EQ(greylevel(1000), 255);
    EXPECT_EQ(greylevel(500), 127);
    EXPECT_EQ(greylevel(2000), 255);
    EXPECT_EQ(greylevel(-500), 127);  // amplitude, not sign
    settings.fullscalefixed = 1;
    EXPECT_EQ(greylevel(1500), 198);
    EXPECT_EQ(greylevel(500), 127);
    settings.fullscalefixed = 0;
    settings.gamma = 2;
    EXPECT_EQ(greylevel(500), 63);
    settings.gamma = 1;
    settings.dbrange = 40;
    EXPECT_EQ(greylevel(10), 0);     // 40 dB below full scale
    EXPECT_EQ(greylevel(100), 127);  // 20 dB below
    EXPECT_EQ(greylevel(0), 0);
    settings.dbrange = -40;
    EXPECT_EQ(greylevel(100), 127);
}

TEST_F(Waterfall, ScalingByDistancePowerAndIntegrations) {
    stations(1);
    create();
    table.stations[0].distance = 500;
    settings.normalizedistance = 1000;
    EXPECT_EQ(greylevel(1000), 127);
    table.stations[0].power = 100;
    settings.normalizepower = 400;
    EXPECT_EQ(greylevel(1000), 255);
    EXPECT_EQ(greylevel(250), 63);
    settings.normalizedistance = 0;
    settings.normalizepower = 0;
    settings.longintegration = 4;
    EXPECT_EQ(greylevel(2000), 127);
}

TEST_F(Waterfall, NonFiniteLevelsGiveBlackPixels) {
    stations(1);
    create();
    settings.fullscale = 0;
    EXPECT_EQ(greylevel(500), 0);
    EXPECT_EQ(greylevel(0), 0);
    settings.fullscale = 1000;
    settings.longintegration = 0;
    EXPECT_EQ(greylevel(500), 0);
    settings.longintegration = 1;
    settings.gamma = -1;
    EXPECT_EQ(greylevel(0), 0);   // 0 to the power -1
    EXPECT_EQ(greylevel(2000), 127);
    settings.gamma = 1;
    settings.colour = 1;
    create();
    settings.fullscale = 0;
    re[5] = 500;
    draw();
    EXPECT_EQ(pixel(15), 0);
    EXPECT_EQ(pixel(16), 0);
    EXPECT_EQ(pixel(17), 0);
    EXPECT_EQ(image.phasecos, 0);  // no phase taken from a non-finite amplitude
}

TEST_F(Waterfall, ColourPixelsFollowPhaseAndFadeToWhite) {
    settings.colour = 1;
    stations(1);
    create();
    re[0] = 1000;  // phase 0, level 1: 0.5 after compression
    draw();
    EXPECT_EQ(pixel(0), 0);    // blue
    EXPECT_EQ(pixel(1), 0);    // green
    EXPECT_EQ(pixel(2), 255);  // red
    // Position 1 has no signal: it keeps the phase, at level 0.
    EXPECT_EQ(pixel(3), 0);
    EXPECT_EQ(pixel(5), 0);
    re[0] = 1000 * 1000.0f;  // far above full scale: nearly white
    draw();
    EXPECT_GE(pixel(0), 250);
    EXPECT_GE(pixel(1), 250);
    EXPECT_EQ(pixel(2), 255);
    // Phase 90 degrees: blue term sqrt(3), limited to 1; green -1; red 0.
    re[0] = 0;
    im[0] = 1000;
    draw();
    EXPECT_EQ(pixel(0), 255);
    EXPECT_EQ(pixel(1), 0);
    EXPECT_EQ(pixel(2), 127);
    // colour 2: half the level, limited to 0.5, never fading to white.
    settings.colour = 2;
    im[0] = 0;
    re[0] = 500;
    draw();
    EXPECT_EQ(pixel(2), 127);
    re[0] = 4000;
    draw();
    EXPECT_EQ(pixel(2), 255);
    EXPECT_EQ(pixel(0), 0);
}

TEST_F(Waterfall, ThreeTapFilterSparesTheEdgesOfEveryStation) {
    stations(2);
    create();
    for (float& v : re) v = 500;
    draw();
    for (std::size_t k = 0; k < 48; ++k) EXPECT_EQ(pixel(k), 127) << k;  // filter off
    settings.hipass = 0.25f;
    draw();
    for (std::size_t k : {0u, 23u, 24u, 47u}) EXPECT_EQ(pixel(k), 127) << k;
    for (std::size_t k : {1u, 22u, 25u, 46u}) EXPECT_EQ(pixel(k), 63) << k;
    // The jitter term moves the envelope towards the right neighbour for a
    // positive residual: J = 1 x 0.5 / 1, residual 1: + 0.5 (right - left).
    settings.hipass = 0;
    settings.jittercorr = 1;
    residual[0] = 1;
    re.assign(re.size(), 0);
    re[6] = 400;
    re[7] = 200;
    draw();
    EXPECT_EQ(pixel(5), 51);
    EXPECT_EQ(pixel(6), 127);
    EXPECT_EQ(pixel(7), 0);
    EXPECT_EQ(pixel(8), 25);
}

TEST_F(Waterfall, TapFilterStaysWithinTheStation) {
    stations(2);
    create();
    settings.taps = {{1, 0}};
    re[3] = 250;
    re[24] = 100;
    draw();
    EXPECT_EQ(pixel(3), 127);  // doubled
    EXPECT_EQ(pixel(24), 51);
    settings.firbegin = 2;
    settings.taps = {{1, 0}, {0, 2}};
    re.assign(re.size(), 0);
    re[23] = 1000;  // last position of station 0: never seen by station 1
    re[24] = 250;   // first position of station 1
    draw();
    EXPECT_EQ(pixel(24), 63);
    EXPECT_EQ(pixel(25), 0);
    EXPECT_EQ(pixel(26), 63);   // tap 0 from position 0
    EXPECT_EQ(pixel(27), 127);  // tap 1 from position 0: 2i x 250
    EXPECT_EQ(pixel(28), 0);
    settings.firbegin = std::numeric_limits<std::int32_t>::min();
    draw();
    settings.firbegin = std::numeric_limits<std::int32_t>::max();
    draw();
    EXPECT_EQ(pixel(24), 63);
}

TEST_F(Waterfall, ThreeGri6000StationsTakeHalfOfTheLastTwoRows) {
    stations(4, 6000);
    table.stations[0].gri = 7499;
    timing.count6000 = 3;
    timing.foldcount = -2;
    create();
    for (std::size_t k = 0; k < re.size(); ++k) re[k] = 100.0f * static_cast<float>(k / 24 + 1);
    const std::vector<float> before = re;
    subtractauxiliaryrows(rows, table, timing, table.visiblecount, 24);
    draw();
    for (std::size_t k = 0; k < 24; ++k) EXPECT_EQ(re[k], before[k]);
    for (std::size_t k = 24; k < 48; ++k) EXPECT_EQ(re[k], 200 - 300 / 2 - 400 / 2);
    for (std::size_t k = 48; k < 96; ++k) EXPECT_EQ(re[k], before[k]);
    EXPECT_EQ(pixel(30), 38);  // |-150| / 1000
    // Hidden stations are not drawn, and nothing is subtracted for them.
    table.visiblecount = 1;
    re = before;
    subtractauxiliaryrows(rows, table, timing, table.visiblecount, 24);
    draw();
    EXPECT_EQ(re, before);
}

TEST_F(Waterfall, HourMarksAndDailySteps) {
    settings.colour = 1;
    stations(2);
    create();
    append(23);
    EXPECT_EQ(pixel(0), 255);
    EXPECT_EQ(pixel(3), 0);
    EXPECT_EQ(pixel(72), 255);
    EXPECT_EQ(dailysteps, 0);
    EXPECT_EQ(image.hourchanged, 1);
    append(0);
    EXPECT_EQ(dailysteps, 1);
    for (std::size_t b : {0u, 5u, 72u, 77u}) EXPECT_EQ(pixel(b), 255) << b;
    EXPECT_EQ(pixel(6), 0);
    append(0);
    EXPECT_EQ(dailysteps, 1);
    EXPECT_EQ(image.hourchanged, 0);
    EXPECT_EQ(pixel(0), 0);
    // The first line of a run in hour 0 is no change; one-sample windows
    // get one marked pixel at midnight.
    settings.displaysamples = 1;
    stations(2);
    create();
    append(0);
    EXPECT_EQ(image.hourchanged, 0);
    append(24);
    append(0);
    EXPECT_EQ(dailysteps, 2);
    EXPECT_EQ(pixel(3), 255);
    EXPECT_EQ(pixel(6), 32);  // padding untouched
}

TEST_F(Waterfall, ImageCommandCountdown) {
    stations(1);
    create();
    settings.bmpcmd = "publish w.bmp";
    settings.bmpcmdcount = 3;
    std::vector<int> ran;
    for (int line = 1; line <= 8; ++line) {
        const auto before = platform.fakecommands.lines.size();
        append(0);
        if (platform.fakecommands.lines.size() > before) ran.push_back(line);
    }
    EXPECT_EQ(ran, (std::vector<int>{1, 4, 7}));
    EXPECT_EQ(platform.fakecommands.lines[0], "publish w.bmp");

    create();
    settings.bmpcmdcount = -2;
    ran.clear();
    const int hours[] = {3, 3, 4, 4, 5, 6, 6, 7, 8};
    for (int line = 1; line <= 9; ++line) {
        const auto before = platform.fakecommands.lines.size();
        append(hours[line - 1]);
        if (platform.fakecommands.lines.size() > before) ran.push_back(line);
    }
    EXPECT_EQ(ran, (std::vector<int>{1, 5, 8}));

    settings.bmpcmdcount = std::numeric_limits<std::int32_t>::min();
    create();
    append(1);
    EXPECT_EQ(image.commandcountdown, std::numeric_limits<std::int32_t>::max());
}

TEST_F(Waterfall, DeletedFileIsCreatedAgainAsAWholeBitmap) {
    stations(3);
    create();
    re[0] = 1000;
    append(0);
    ASSERT_TRUE(deletefile(settings.bmp));
    append(0);
    const std::string bytes = file();
    ASSERT_EQ(bytes.size(), 1078u + 2 * 72);
    std::vector<std::uint8_t> header = bitmapheader(image);
    EXPECT_EQ(0, std::memcmp(bytes.data(), header.data(), header.size()));
    EXPECT_EQ(field32(bytes, 22), 2);
    EXPECT_EQ(bytes.substr(1078, 72), std::string(72, '\0'));  // the lost line
    EXPECT_EQ(static_cast<unsigned char>(bytes[1150]), 255);

    // A header overwritten by another program is restored with the next line.
    File damage;
    ASSERT_TRUE(damage.open(settings.bmp, File::Mode::update));
    ASSERT_TRUE(damage.writeat(0, "\0\0", 2));
    ASSERT_TRUE(damage.writeat(54 + 4 * 7, "\0", 1));
    ASSERT_TRUE(damage.close());
    append(0);
    header = bitmapheader(image);
    EXPECT_EQ(0, std::memcmp(file().data(), header.data(), header.size()));
}

// A link into another folder stays a link and its target gets the new
// picture; a group-writable file stays group-writable.
TEST_F(Waterfall, RecreatedBitmapKeepsItsLinkAndMode) {
    stations(2);
    fs::create_directories(folder / "web");
    const fs::path target = folder / "web" / "w.bmp";
    std::ofstream(target) << "old picture";
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::group_write);
    std::error_code linkerror;
    fs::create_symlink(target, settings.bmp, linkerror);
    if (linkerror) GTEST_SKIP() << "no symbolic links here: " << linkerror.message();
    if (renametarget(settings.bmp) == settings.bmp) GTEST_SKIP() << "this platform does not follow links";
    create();
    EXPECT_TRUE(fs::is_symlink(settings.bmp));
    EXPECT_EQ(fs::file_size(target), static_cast<std::uintmax_t>(image.imagefilesize));
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::group_write);
    EXPECT_FALSE(fs::exists(fs::path(target.string() + ".part")));
}

TEST_F(Waterfall, NoStationsVisible) {
    stations(2);
    table.visiblecount = 0;
    create();
    EXPECT_EQ(image.imagewidth, 0);
    append(3);
    append(4);
    const std::string bytes = file();
    EXPECT_EQ(bytes.size(), 1078u);
    EXPECT_EQ(field32(bytes, 22), 2);
}

TEST_F(Waterfall, FailuresWithoutRetryEndTheRun) {
    stations(1);
    create();
    fs::remove(settings.bmp);
    fs::create_directory(settings.bmp);  // a folder cannot be opened as the bitmap
    try {
        append(0);
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 3);
        EXPECT_NE(std::string(e.what()).find(settings.bmp), std::string::npos);
    }
    const std::string old = settings.bmp;
    settings.bmp = (folder / "missing" / "w.bmp").string();
    EXPECT_THROW(create(), RuntimeError);
    settings.bmp = old;
}

// A name that leads to a folder, a pipe or a device is refused before
// anything is written, and the thing itself stays as it was.
TEST_F(Waterfall, BitmapNamingNoRegularFileIsRefused) {
    stations(1);
    auto refused = [this](const char* what) {
        try {
            create();
            ADD_FAILURE() << "accepted " << what;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), 1);
            EXPECT_NE(std::string(e.what()).find(settings.bmp), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
        }
        EXPECT_FALSE(fs::exists(settings.bmp + ".part"));
    };
    fs::create_directory(settings.bmp);
    refused("a directory");
    EXPECT_TRUE(fs::is_directory(settings.bmp));
    fs::remove(settings.bmp);
    if (!testing::makepipe(settings.bmp)) return;  // no special files here
    refused("a named pipe");
    EXPECT_TRUE(fs::is_fifo(settings.bmp));
    fs::remove(settings.bmp);
    if (testing::makenulldevice(settings.bmp)) {
        refused("a device");
        EXPECT_TRUE(fs::is_character_file(settings.bmp));
    }
    // Through a link too.
    fs::remove(settings.bmp);
    fs::create_directory(folder / "sub");
    fs::create_symlink(folder / "sub", settings.bmp);
    refused("a directory");
    EXPECT_TRUE(fs::is_symlink(settings.bmp));
}

TEST_F(Waterfall, FileThatWouldPassTwoGigabytesEndsTheRun) {
    stations(1);
    create();
    image.imagefilesize = std::numeric_limits<std::int32_t>::max() - 23;  // one byte short of a line
    try {
        append(0);
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 3);
        EXPECT_NE(std::string(e.what()).find("2147483647"), std::string::npos);
    }
    EXPECT_EQ(image.imageheight, 0);
    EXPECT_EQ(file().size(), 1078u);
}

// A clock that frees the bitmap's path at the given sleep.
class FreeingClock : public testing::FakeClock {
public:
    void sleepms(int milliseconds) override {
        FakeClock::sleepms(milliseconds);
        if (static_cast<int>(sleeps.size()) == freeat) fs::remove(path);
    }
    int freeat = 0;
    fs::path path;
};

TEST_F(Waterfall, RetryPrintsTheErrorAndWritesWhenThePathIsFree) {
    stations(1);
    settings.bmperrorhandling = 2;
    create();
    fs::remove(settings.bmp);
    fs::create_directory(settings.bmp);

    FreeingClock clock;
    clock.freeat = 2;
    clock.path = settings.bmp;
    testing::FakeConsole console;
    testing::FakeKeyboard keyboard;
    testing::FakeCommandRunner commands;
    Platform retrying(console, keyboard, clock, commands);
    keyboard.press("Q");
    re[0] = 1000;
    appendline(image, settings, table, rows, 0, retrying);
    EXPECT_EQ(console.transcript, " 3 \n 3 \n");
    EXPECT_EQ(clock.sleeps, (std::vector<int>{200, 200}));
    EXPECT_TRUE(keyboard.keys.empty());
    const std::string bytes = file();
    ASSERT_EQ(bytes.size(), 1078u + 24);
    EXPECT_EQ(field32(bytes, 22), 1);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1078]), 255);

    // bmperrorhandling 1 retries silently; q ends the run.
    settings.bmperrorhandling = 1;
    fs::remove(settings.bmp);
    fs::create_directory(settings.bmp);
    platform.fakekeyboard.press("xq");
    EXPECT_THROW(append(0), QuitRequested);
    EXPECT_EQ(platform.fakeconsole.transcript, "");
    EXPECT_EQ(platform.fakeclock.sleeps, (std::vector<int>{200}));
}

}  // namespace
}  // namespace corvane
