// Command line of corvane-sim.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "synth.h"

namespace corvane::sim {

struct StationChoice {
    std::int32_t gri = 0;
    char letter = 'M';
};

struct ChainDelayOption {
    std::int32_t gri = 0;
    double delay = 0;            // ms
};

struct SimOptions {
    std::string table = "table.txt";
    std::vector<StationChoice> stations;
    std::vector<ChainDelayOption> chaindelays;
    std::vector<StationChoice> eloran;   // secondaries of `stations` that send the data channel
    std::int32_t eloranid = -1;          // station ID in their messages; -1: 549 for 6731Y, else 0
    double lat = 50.0, lon = 10.0;  // degrees, north / east positive
    double asf = 1.008;
    std::int32_t year = 2024, month = 1, day = 1, hour = 0, minute = 0;
    double second = 0;           // UTC start
    double duration = 60;        // s of samples (nominal rate)
    std::uint64_t seed = 1;
    double rate = 48000;
    std::int32_t bits = 16;
    std::int32_t channels = 2;
    double level = 0.1;          // full-scale units of 1000 kW at 1000 km
    double attenuation = 8;      // dB per 1000 km
    Impairments impairments;
    std::string output;          // recording file
    std::string live;            // live target file
    double fileseconds = 1;      // live file length, s
    std::int64_t fileframes = 0; // live file length in frames; wins when > 0
    bool realtime = false;
    bool endfile = true;
    bool quiet = false;
    bool help = false;
    bool version = false;       // -V, --version
};

// Parses the arguments (without the program name); throws RuntimeError 1
// with a message naming the option on any mistake.
SimOptions parsesimoptions(const std::vector<std::string>& args);

// The --help text.
std::string simhelp();

// "7499M" -> 7499, 'M'; false when malformed.
bool parsestation(const std::string& text, StationChoice& choice);

}  // namespace corvane::sim
