// Run control: builds every record of a run in the start-up order, drives the
// main cycle with its three rhythms counted in sample time (block, short
// integration, long integration) and ends the run. Each rhythm calls the
// modules' steps in order; the state of each step lives in its module's
// record here.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

#include "acquisition/clock.h"
#include "acquisition/samplereader.h"
#include "app/settings.h"
#include "output/console.h"
#include "output/measurementlog.h"
#include "output/waterfall.h"
#include "platform/platform.h"
#include "pulses/fold.h"
#include "pulses/frontend.h"
#include "pulses/integrator.h"
#include "pulses/periodhealth.h"
#include "pulses/referencepulse.h"
#include "pulses/sampleclock.h"
#include "pulses/stationpulses.h"
#include "pulses/steering.h"
#include "stations/chaintiming.h"
#include "stations/stationtable.h"
#include "timesync/elorantime.h"
#include "timesync/taisync.h"

namespace corvane {

// Every record of a run, created once at start-up and alive until the end.
struct Run {
    explicit Run(Platform& p) : platform(p) {}
    Platform& platform;
    Settings settings;             // as read from the file; never changed
    ModuleConfigs config;          // each module's part of it
    ClockState clock;
    StationTable stations;
    ChainTiming timing;
    SampleBuffer buffer;
    SampleReader reader;
    FrontEnd frontend;
    PulseIntegrator integrator;
    PulseAnalysis reference;       // the reference station's pulse
    SampleClock sampleclock;
    Oscillator oscillator;
    LongIntegration rows;
    PeriodHealth health;
    Display display;
    TaiSync taisync;
    WaterfallImage image;
    MeasurementLog log;            // off unless [file] log is set
    StationPulses stationpulses;   // every station's pulse, for the log
    std::unique_ptr<eloran::DataChannel> channel;  // only with an [eloran] list
    EloranTime elorantime;
    StatusValues laststatus;       // of the latest status line
    bool statusshown = false;

    double shortstart = 0;         // sample time at which the short integration began, s
    std::int32_t longcount = 0;    // short integrations since the last waterfall line
    float phaserotation[2] = {1, 0};  // cos and sin of `phasereference`
    RateLimitWatch ratelimit;      // short integrations with the tracked rate at its limit
    std::ostream* err = nullptr;   // warnings during the run (standard error)
};

// Whether the buffer end (bufend, s of sample time) has passed the end of the
// short integration that began at shortstart (s); if so shortstart moves on by
// shortintegration (s, > 0). Kept in real64: in real32 shortstart stops
// moving once its spacing reaches twice the step (about 97 days at 0.5 s).
bool shortintegrationdue(double& shortstart, double bufend, float shortintegration);

// Runs the monitor with the given settings file; returns the exit status of a
// normal end. Warnings (a recording header that disagrees with the settings)
// go to err. Throws RuntimeError and QuitRequested.
int runmonitor(const std::string& settingsfile, Platform& platform, std::ostream& err);

// The whole program behind main(): command line, run, and the mapping of the
// quit key and runtime errors to exit statuses. The runtime error report goes
// to err.
int corvanemain(int argc, const char* const* argv, Platform& platform, std::ostream& err);

}  // namespace corvane
