// Whole-run fuzz target: settings built from a dictionary of edge values for
// every key, run on a short synthetic recording. Every run must end with
// status 0 or with a runtime error report, never with a crash, a hang or a
// sanitizer finding. The input bytes choose, key by key, whether the key is
// absent, which edge value it gets, or whether it stands without "=".
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/run.h"
#include "platform/testing.h"

namespace {

struct Key {
    const char* section;
    const char* name;
};

// Every key that a run reads, except the file names, which stay on the
// scratch folder (a live file name would wait for ever by design).
const Key keys[] = {
    {"location", "lat"}, {"location", "lon"},
    {"file", "date"}, {"file", "time"}, {"file", "bits"}, {"file", "mono"}, {"file", "stereo"},
    {"file", "biasreal"}, {"file", "biasimag"}, {"file", "fileblocklen"}, {"file", "filescale"},
    {"file", "bmpcmd"}, {"file", "bmpcmdcount"}, {"file", "bmperrorhandling"},
    {"frequency", "sr"}, {"frequency", "looffset"}, {"frequency", "lodrift"}, {"frequency", "srcorr"},
    {"frequency", "phasecorr"}, {"frequency", "jittercorr"}, {"frequency", "bandcenter"},
    {"frequency", "srlofactor"}, {"frequency", "srlooffset"},
    {"pll", "pllcommand"}, {"pll", "pllcenter"}, {"pll", "plllow"}, {"pll", "pllhigh"},
    {"pll", "pllfactort"}, {"pll", "pllfactorf"}, {"pll", "plldither"}, {"pll", "pllaveragef"},
    {"pll", "pllavfini"}, {"pll", "ffactor"}, {"pll", "srloavfac"}, {"pll", "srloavini"},
    {"time", "shortintegration"}, {"time", "longintegration"}, {"time", "displaysamples"},
    {"time", "utcoffset"}, {"time", "clockoffset"}, {"time", "timercalavfac"}, {"time", "asf"},
    {"time", "gri5990step"}, {"time", "gri6731step"},
    {"amplitude", "colour"}, {"amplitude", "gamma"}, {"amplitude", "dbrange"}, {"amplitude", "fullscale"},
    {"amplitude", "normalizedistance"}, {"amplitude", "normalizepower"}, {"amplitude", "blankingoffsetcorr"},
    {"amplitude", "hipass"}, {"amplitude", "edgelevel"}, {"amplitude", "phasereference"},
    {"amplitude", "referencestation"}, {"amplitude", "firstblankedsample"}, {"amplitude", "lastblankedsample"},
    {"amplitude", "notch100khz"}, {"amplitude", "xrcdelay7950"}, {"amplitude", "nb"}, {"amplitude", "nbinit"},
    {"amplitude", "nbfac"}, {"amplitude", "nbupdate"}, {"amplitude", "nbspread"}, {"amplitude", "nbcorr"},
    {"firfilter", "firbegin"}, {"firfilter", "tap"}, {"firfilter", "tap"},
    {"taisync", "searchrange"}, {"taisync", "integrationtime"}, {"taisync", "resynclimit"},
    {"taisync", "clockerrorlimit"}, {"taisync", "syncverbose"}, {"taisync", "remove8000frompps"},
    {"taisync", "6731m"}, {"taisync", "7499x"}, {"taisync", "5000a"},
    {"chaindelay", "6731"}, {"chaindelay", "7499"},
    {"stations", "hidden"}, {"stations", "blankedstns"}, {"stations", "blankingdistance"},
    {"stations", "singlepulses"}, {"stations", "printstationlist"}, {"stations", "-6731m"},
    {"stations", "6731y"}, {"stations", "-7499x l"}, {"stations", "6000m"}, {"stations", "6000x"},
    {"stations", "6000y"}, {"stations", "5000a"}, {"stations", "999b"},
    {"eloran", "6731y"},
};

const char* const values[] = {
    "0", "1", "-1", "2", "3", "10", "0.5", "-0.5", "24", "100", "1e9", "-1e9", "1e300", "-1e300",
    "1e-300", "nan", "inf", "-inf", "garbage", "", "32767", "-32768", "2147483648", "0x10",
    "200+", "12-31-2016", "06-30-2015", "00:00:00", "23:59:59", "1,1", "-2,0.5", "13-45-2020", "99:99:99",
};

struct Scratch {
    std::filesystem::path dir;
    Scratch() {
        dir = std::filesystem::temp_directory_path() / "corvane-run-fuzz";
        std::filesystem::create_directories(dir);
        // "stations.txt" is written to the working folder.
        std::filesystem::current_path(dir);
        std::ofstream(dir / "table.txt")
            << "6731,0,M,Lessay,49,8,55,N,1,30,17,W,0,0,250\n"
               "6731,2,Y,Anthorn,54,54,40,N,3,17,14,W,27300,0,250\n"
               "7499,1,X,Lessay,49,8,55,N,1,30,17,W,15068.1,0,250\n"
               "6000,0,M,Pucheng,34,56,54,N,109,32,34,E,0,0,800\n"
               "5000,0,A,Test,50,0,0,N,10,0,0,E,0,0,100\n";
        // Three seconds of 22050 Hz stereo: noise with a few strong pulses.
        const int frames = 3 * 22050;
        std::vector<std::int16_t> samples(2 * static_cast<std::size_t>(frames));
        std::uint32_t x = 12345;
        for (int i = 0; i < frames; ++i) {
            x = x * 1664525u + 1013904223u;
            int noise = static_cast<int>(x >> 20) - 2048;
            int pulse = (i % 1484) < 8 ? 20000 : 0;
            samples[2 * static_cast<std::size_t>(i)] = static_cast<std::int16_t>(noise + pulse);
            samples[2 * static_cast<std::size_t>(i) + 1] = static_cast<std::int16_t>(noise / 3 - pulse / 2);
        }
        std::ofstream rec(dir / "rec.wav", std::ios::binary);
        rec << std::string(46, '\0');
        rec.write(reinterpret_cast<const char*>(samples.data()),
                  static_cast<std::streamsize>(samples.size() * sizeof(std::int16_t)));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Scratch scratch;
    const std::string d = scratch.dir.string();

    std::ostringstream text;
    text << "[file]\nwav = " << d << "/rec.wav\ntable = " << d << "/table.txt\nbmp = " << d
         << "/out.bmp\n[stations]\n6731m\n";
    std::size_t at = 0;
    constexpr std::size_t nvalues = sizeof values / sizeof values[0];
    for (const Key& key : keys) {
        std::uint8_t choice = at < size ? data[at++] : 0;
        if (choice < 128) continue;  // absent
        choice = static_cast<std::uint8_t>(choice - 128);
        text << "[" << key.section << "]\n";
        if (choice >= nvalues)
            text << key.name << "\n";  // without "="
        else
            text << key.name << " = " << values[choice] << "\n";
    }
    {
        std::ofstream(d + "/corvane.ini") << text.str();
    }
    corvane::testing::FakePlatform platform;
    std::ostringstream err;
    const std::string ini = d + "/corvane.ini";
    const char* argv[] = {"corvane", ini.c_str()};
    int status = corvane::corvanemain(2, argv, platform, err);
    if (std::getenv("CORVANE_FUZZ_VERBOSE"))
        std::fprintf(stderr, "status %d%s\n", status, err.str().c_str());
    if (status < 0 || status > 4) __builtin_trap();
    if (status != 0 && err.str().find("Aborting due to runtime error") == std::string::npos) __builtin_trap();
    return 0;
}
