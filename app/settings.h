// The settings record: one field per settings key, named like the key, with
// its built-in default, plus the derived fields and the four lists.
//
// The settings file has sections in square brackets and `key = value` lines;
// comments start at ";" or "'". Section names, keys, station codes and flags
// are case-free; values keep their case (file names, commands).
//
// Units: GRIs in 10 us, delays in ms, distances in km, times in s, frequencies
// in Hz, angles in degrees unless a field says otherwise.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/samplereader.h"
#include "eloran/channel.h"
#include "output/console.h"
#include "output/measurementlog.h"
#include "output/waterfall.h"
#include "pulses/fold.h"
#include "pulses/frontend.h"
#include "pulses/integrator.h"
#include "pulses/periodhealth.h"
#include "pulses/referencepulse.h"
#include "pulses/sampleclock.h"
#include "pulses/steering.h"
#include "stations/chaintiming.h"
#include "stations/stationtable.h"
#include "timesync/taisync.h"

namespace corvane {

class Clock;

// One entry of the [chaindelay] list.
struct ChainDelay {
    std::int32_t gri = 0;        // 4001 .. 9999
    float delay = 0;             // ms
};

struct Settings {
    // [location], degrees north / east positive. Built-in position: a site in
    // central Europe, used when the file gives none.
    double lat = 50.0;
    double lon = 10.0;

    // [file]
    std::string bmp = "corvane.bmp";
    std::string table = "table.txt";
    std::string samplefile = "audio.dat";  // set by `wav` and `dat`
    std::int16_t wavinput = 0;             // 1 by `wav`, 0 by `dat`
    std::string date;                      // "mm-dd-yyyy", system date at start
    std::string time;                      // "hh:mm:ss", system time at start
    bool dategiven = false;                // date and time from the settings file (checked
    bool timegiven = false;                //   for their shape; the system's are trusted)
    std::int16_t samplebytes = 2;          // `bits`: 1 if 8 or less, else 2
    std::int16_t channels = 2;             // `stereo` 2, `mono` 1
    float biasreal = 0;
    float biasimag = 0;
    std::int32_t fileblocklen = 0;         // frames per read; 0: from `sr`
    float filescale = 1.0f;
    std::string bmpcmd;
    std::int32_t bmpcmdcount = 1;
    std::int16_t bmperrorhandling = 0;
    std::string log;                       // measurement log; empty: none

    // [frequency]
    double sr = 22050;                     // samples per second
    double looffset = 0;                   // Hz, advanced by `lodrift`
    float lodrift = 0;                     // Hz per second
    float srcorr = 1.0f;
    float srcorrroot = 1.0f;               // sqrt(|srcorr|)
    std::int32_t phasecorr = 1;
    float jittercorr = 1.0f;
    double bandcenter = 0;                 // Hz
    float srlofactor = 0;
    float srlooffset = 0;

    // [pll]
    std::string pllcommand = "Tonegen1 /testsig=";
    std::int16_t pllenabled = 0;           // 1 whenever `pllcommand` is given
    double pllcenter = 900;
    float plllow = 0;
    float pllhigh = 0;
    float pllfactort = 10;
    float pllfactorf = 2000000000.0f;
    float plldither = 0;
    float pllaveragef = 0.1f;
    float pllavfini = 0;                   // also the start of the running mean
    float ffactor = 0;
    float srloavfac = 0;
    float srloavini = 0;

    // [time]
    float shortintegration = 30;           // s
    std::int32_t longintegration = 10;     // short integrations per line
    std::int32_t displaysamples = 24;      // samples per pulse window (D)
    std::int32_t utcoffset = 0;            // hours, local minus UTC
    float clockoffset = 0;                 // s
    float timercalavfac = 0.01f;
    float sleeptime = 0;                   // s
    float asf = 1.008f;
    double gri5990step = 0;                // ms
    double gri6731step = 0;                // ms

    // [amplitude]
    std::int32_t colour = 1;
    float gamma = 1.0f;
    float dbrange = 0;
    float fullscale = 200;
    std::int16_t fullscalefixed = 0;       // value ended in "+"
    float normalizedistance = 0;           // km
    float normalizepower = 0;              // kW
    float blankingoffsetcorr = 1.0f;
    float hipass = 0.1f;                   // also in [firfilter]
    float edgelevel = 0.4f;
    float edgelevelabsolute = 0;           // `edgelevel` when 1.0 or more
    float phasereference = 0;              // degrees
    std::int32_t referencestation = 0;
    std::int16_t firstblankedsample = 3;
    std::int16_t lastblankedsample = 10;
    std::int16_t notch100khz = 1;
    float xrcdelay7950 = 1.06f;
    std::int16_t nb = 0;
    float nbinit = 10000;                  // the square of the number given
    float nbfac = 2.0f;
    float nbupdate = 0.1f;
    std::int16_t nbspread = 2;
    float nbcorr = 1.0f;

    // [firfilter]
    std::int32_t firbegin = 0;
    std::vector<FilterTap> taps;

    // [taisync]
    float searchrange = 3700;              // s
    double integrationtime = 0;            // s; 0 or less: synchronisation off
    float resynclimit = 0;
    float clockerrorlimit = 0;             // s
    std::int16_t syncverbose = 0;
    std::int32_t stations = 0;             // stored, not used
    std::int16_t remove8000frompps = 0;
    std::vector<SyncEntry> taireferences;

    // [chaindelay]
    std::vector<ChainDelay> chaindelays;

    // [stations]
    std::int32_t hidden = 0;
    std::int32_t blankedstns = 0;
    float blankingdistance = 0;            // km
    std::int32_t singlepulses = 0;
    std::int16_t printstationlist = 0;
    std::vector<StationEntry> selection;   // N = selection.size()

    // [eloran]: stations whose data channel is decoded, each also in the selection
    std::vector<StationEntry> eloranstations;
};

// Settings file name from the command-line arguments: joined by single blanks,
// "corvane.ini" when empty.
std::string settingsfilename(int argc, const char* const* argv);

// Parses settings text into a record that starts from the defaults. date and
// time default to the given system texts. Unknown sections and keys are
// skipped; with warnings given, each adds one line "FILE:LINE: unknown ..."
// naming the known name meant when one is within edit distance 2. The keys of
// the sections in the named-keys table are the only keys declared anywhere.
Settings parsesettings(std::string_view text, const std::string& systemdate, const std::string& systemtime,
                       const std::string& filename, std::vector<std::string>* warnings);
Settings parsesettings(std::string_view text, const std::string& systemdate,
                       const std::string& systemtime);

// Reads the settings file; a file that cannot be opened throws RuntimeError
// "file not found" naming it. Warnings as for parsesettings.
Settings loadsettings(const std::string& filename, Clock& clock, std::vector<std::string>* warnings = nullptr);

// Whether a settings text has the one accepted shape: "mm-dd-yyyy" (month
// 1 .. 12, day 1 .. 31) and "hh:mm:ss" (0 .. 23, 0 .. 59, 0 .. 59).
bool isdatetext(const std::string& text);
bool istimetext(const std::string& text);

// Refuses settings that would crash or hang the run: throws RuntimeError 1
// with a message naming the key and its value.
void validatesettings(const Settings& settings);
// Every refusal of the settings, in the order validatesettings checks them
// (one line each, as the refusal's message); empty when a run would start.
std::vector<std::string> settingsrefusals(const Settings& settings);

// Each module's part of the settings.
struct ModuleConfigs {
    StationsConfig stations;
    ChainTimingConfig timing;
    InputConfig input;
    FrontEndConfig frontend;
    IntegratorConfig integrator;
    PulseConfig pulse;
    SampleClockConfig sampleclock;
    SteeringConfig steering;
    FoldConfig fold;
    HealthConfig health;
    TaiConfig tai;
    DisplayConfig display;
    WaterfallConfig waterfall;
    LogConfig log;
    eloran::ChannelConfig eloran;   // no stations: the data channel is off
};
ModuleConfigs moduleconfigs(const Settings& settings);
// The sample reader's part alone (for the settings checks).
InputConfig moduleinputconfig(const Settings& settings);

}  // namespace corvane
