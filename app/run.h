// Run control: builds every record of a run in the start-up order, drives the
// main cycle with its three rhythms counted in sample time (block, short
// integration, long integration) and ends the run.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "acquisition/clock.h"
#include "acquisition/samplereader.h"
#include "app/settings.h"
#include "output/console.h"
#include "output/waterfall.h"
#include "platform/platform.h"
#include "pulses/frontend.h"
#include "pulses/integrator.h"
#include "pulses/steering.h"
#include "stations/chaintiming.h"
#include "stations/stationtable.h"
#include "timesync/taisync.h"

namespace corvane {

// Every record of a run, created once at start-up and alive until the end.
struct Run {
    explicit Run(Platform& p) : platform(p) {}
    Platform& platform;
    Settings settings;
    ClockState clock;
    StationTable stations;
    ChainTiming timing;
    SampleBuffer buffer;
    SampleReader reader;
    FrontEnd frontend;
    PulseIntegrator integrator;
    Steering steering;
    Display display;
    TaiSync taisync;
    WaterfallImage image;

    float shortstart = 0;          // sample time at which the short integration began, s
    std::int32_t longcount = 0;    // short integrations since the last waterfall line
    std::int32_t resynccount = 0;  // period health; 3 or more ends the averaging period
    std::int32_t lockcount = 0;    // good short integrations in a row (0 .. 4)
    double configuredsr = 0;       // `sr` as read from the settings
    float phaserotation[2] = {1, 0};  // cos and sin of `phasereference`
};

// Runs the monitor with the given settings file; returns the exit status of a
// normal end. Warnings (a recording header that disagrees with the settings)
// go to err. Throws RuntimeError and QuitRequested.
int runmonitor(const std::string& settingsfile, Platform& platform, std::ostream& err);

// The whole program behind main(): command line, run, and the mapping of the
// quit key and runtime errors to exit statuses. The runtime error report goes
// to err.
int corvanemain(int argc, const char* const* argv, Platform& platform, std::ostream& err);

}  // namespace corvane
