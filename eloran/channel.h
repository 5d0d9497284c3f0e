// eLoran data channel in the main cycle: the integrator shows it every window
// of the listened stations (pulses/windowlistener.h); it groups each GRI's 8
// pulses, takes each pulse's complex amplitude, demodulates the word and frames
// the messages (demodulator.h, framer.h).
//
// Grouping: a secondary station's pattern has 16 pulses, 0..7 in one GRI and
// 8..15 in the next; a group is complete when its 8 windows came in order,
// 1 ms apart. Amplitude: a matched filter, sum over the window positions of
// weight x sample, where the weight is the envelope less its lowest value
// (the noise floor), and the envelope a running average over the last 16 GRIs
// of the magnitude, position by position, of each GRI's coherent (sign
// corrected) sum of its 8 windows. Magnitudes, not complex values, are
// averaged, because the receiver's oscillator offset turns the carrier by
// degrees from one GRI to the next. Only the first 1 ms of each window (from
// `pulseoffset` samples before the pulse) is used, so the next pulse of the
// group does not leak in. A GRI whose group is incomplete is framed as an
// unreliable word, so the word count stays on the GRI grid. The framer runs
// its quick search (framer.h), since the channel decodes all the time.
// Times are buffer times (s of sample time).
#pragma once

#include <complex>
#include <cstdint>
#include <string>
#include <vector>

#include "eloran/demodulator.h"
#include "eloran/framer.h"
#include "pulses/windowlistener.h"

namespace corvane::eloran {

struct ListenedStation {
    std::int32_t station = 0;   // index as the stations, 0 .. N - 1
    std::int32_t gri = 0;       // 10 us, >= 1000
    std::string id;             // e.g. "6731Y", for the console
};

struct ChannelConfig {
    std::vector<ListenedStation> stations;
    double sr = 22050;          // nominal sample rate, Hz, > 0
    double bandcenter = 0;      // Hz, as the integrator's (windows turned the same way)
};

// A message as the channel found it.
struct ChannelMessage {
    std::size_t entry = 0;      // index into ChannelConfig::stations
    FramedMessage framed;
    double lastwordtime = 0;    // s, buffer time of the first pulse of the group of the last word
};

class DataChannel final : public WindowListener {
public:
    explicit DataChannel(const ChannelConfig& config);
    void window(const PulseWindow& w) override;
    // Period start: buffer time begins again; groups, word times and framers
    // start over (the envelopes are kept).
    void restart();
    // The messages found since the last call, oldest first.
    std::vector<ChannelMessage> takemessages();
    // One flag per station (n stations): listened or not.
    std::vector<std::uint8_t> flags(std::int32_t n) const;
    const ChannelConfig& config() const { return config_; }

private:
    static constexpr int timering = 64;   // word times kept, > 30
    struct StationState {
        std::int32_t length = 0;          // window positions used, 0 .. D
        std::vector<std::complex<float>> windows;  // 8 x length, sign corrected
        int received = 0;                 // windows of the current group, 0 .. 8
        double groupstart = 0;            // s, window start of its pulse 1
        double lastwindow = 0;            // s, window start of the latest window
        std::vector<float> envelope;      // length
        int envelopecount = 0;            // GRIs averaged so far (capped)
        std::vector<float> weights;       // length: the matched filter, envelope less its floor
        Framer framer{true};              // quick search: it runs all the time
        bool anchored = false;
        double anchor = 0;                // s, group start of GRI 0 of the count
        std::int64_t lastgri = 0;         // GRI of the latest word
        double times[timering] = {};      // buffer time of each word's group (slot = count % timering)
    };
    void completegroup(std::size_t entry, StationState& st);
    void pushword(std::size_t entry, StationState& st, std::uint8_t word, float margin, double time);

    ChannelConfig config_;
    std::vector<std::int32_t> entryof_;   // station index -> entry + 1 (0: not listened)
    std::vector<StationState> states_;
    std::vector<ChannelMessage> pending_;
};

// The pulses' complex amplitudes of one group: envelope-weighted sums of each
// of its 8 windows (`length` positions each, window k at k x length).
GroupPulses matchedpulses(const std::vector<std::complex<float>>& windows, const std::vector<float>& envelope,
                          std::int32_t length);

}  // namespace corvane::eloran
