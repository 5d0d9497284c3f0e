#include "simoptions.h"

#include <gtest/gtest.h>

#include "core/errors.h"
#include "simrun.h"

namespace corvane::sim {
namespace {

TEST(SimOptions, ParsesEveryOption) {
    SimOptions o = parsesimoptions(
        {"--table", "t.txt", "--stations", "6731M,6731y", "--stations=7499X", "--chain-delay", "7499:1.5", "--lat",
         "52.5", "--lon", "-3.25", "--asf", "1.0", "--start", "2015-12-31T10:59:30.5", "--duration", "12", "--seed",
         "18446744073709551615", "--rate", "22050", "--bits", "8", "--mono", "--level", "0.3", "--attenuation", "4",
         "--noise", "0.01", "--cw", "1500:0.02", "--cw", "-300:0.01", "--impulses", "20:0.9:50", "--ppm", "20",
         "--lo-offset", "3.5", "--lo-drift", "-0.01", "--live", "audio.dat", "--file-frames", "1000", "--realtime",
         "--no-end-file", "--quiet"});
    EXPECT_EQ(o.table, "t.txt");
    ASSERT_EQ(o.stations.size(), 3u);
    EXPECT_EQ(o.stations[1].gri, 6731);
    EXPECT_EQ(o.stations[1].letter, 'Y');
    EXPECT_EQ(o.stations[2].letter, 'X');
    ASSERT_EQ(o.chaindelays.size(), 1u);
    EXPECT_DOUBLE_EQ(o.chaindelays[0].delay, 1.5);
    EXPECT_DOUBLE_EQ(o.lat, 52.5);
    EXPECT_DOUBLE_EQ(o.lon, -3.25);
    EXPECT_EQ(o.year, 2015);
    EXPECT_EQ(o.month, 12);
    EXPECT_EQ(o.day, 31);
    EXPECT_EQ(o.hour, 10);
    EXPECT_EQ(o.minute, 59);
    EXPECT_DOUBLE_EQ(o.second, 30.5);
    EXPECT_EQ(o.seed, 18446744073709551615ULL);
    EXPECT_EQ(o.bits, 8);
    EXPECT_EQ(o.channels, 1);
    ASSERT_EQ(o.impairments.cw.size(), 2u);
    EXPECT_DOUBLE_EQ(o.impairments.cw[1].frequency, -300);
    EXPECT_DOUBLE_EQ(o.impairments.impulsedecay, 50e-6);
    EXPECT_DOUBLE_EQ(o.impairments.ppm, 20);
    EXPECT_DOUBLE_EQ(o.impairments.lodrift, -0.01);
    EXPECT_EQ(o.live, "audio.dat");
    EXPECT_EQ(o.fileframes, 1000);
    EXPECT_TRUE(o.realtime);
    EXPECT_FALSE(o.endfile);
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(runframes(o), 12 * 22050);
}

TEST(SimOptions, RefusesMistakes) {
    const std::vector<std::vector<std::string>> bad = {
        {"--stations", "6731M"},                                  // no output
        {"--output", "a.wav", "--live", "b.dat"},                 // both outputs
        {"--output", "a.wav", "--stations", "M6731"},
        {"--output", "a.wav", "--bits", "12"},
        {"--output", "a.wav", "--rate", "abc"},
        {"--output", "a.wav", "--rate", "nan"},
        {"--output", "a.wav", "--duration", "-1"},
        {"--output", "a.wav", "--start", "2015-13-01T00:00:00"},
        {"--output", "a.wav", "--start", "yesterday"},
        {"--output", "a.wav", "--seed", "-4"},
        {"--output", "a.wav", "--impulses", "5"},
        {"--output", "a.wav", "--rate", "22050", "--lo-offset", "9500"},  // no band left
        {"--output", "a.wav", "--lo-drift", "100", "--duration", "300"},
        {"--output", "a.wav", "--frobnicate"},
        {"--output", "a.wav", "--stations", "6731M,6731Y", "--eloran", "6731X"},  // not sent
        {"--output", "a.wav", "--stations", "6731M,6731Y", "--eloran", "6731M"},  // not a secondary
        {"--output", "a.wav", "--eloran-id", "1024"},
        {"--output"},
    };
    for (const auto& args : bad) {
        EXPECT_THROW(parsesimoptions(args), RuntimeError) << args.back();
    }
    EXPECT_TRUE(parsesimoptions({"--help"}).help);
    const SimOptions o = parsesimoptions({"--output", "a.wav", "--stations", "6731Y,8830W", "--eloran", "6731y",
                                          "--eloran", "8830W", "--eloran-id", "248"});
    ASSERT_EQ(o.eloran.size(), 2u);
    EXPECT_EQ(o.eloran[0].letter, 'Y');
    EXPECT_EQ(o.eloran[1].gri, 8830);
    EXPECT_EQ(o.eloranid, 248);
}

TEST(SimOptions, HelpDocumentsEveryOption) {
    const std::string help = simhelp();
    for (const char* option : {"--table", "--stations", "--lat", "--lon", "--asf", "--chain-delay", "--level",
                               "--attenuation", "--start", "--duration", "--seed", "--rate", "--bits", "--stereo",
                               "--mono", "--output", "--live", "--file-seconds", "--file-frames", "--realtime",
                               "--no-end-file", "--noise", "--cw", "--impulses", "--ppm", "--lo-offset", "--lo-drift",
                               "--quiet", "--help", "--eloran", "--eloran-id"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace corvane::sim
