#include "eloran/channel.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/loran.h"
#include "core/numeric.h"
#include "eloran/demodulator.h"

namespace corvane::eloran {

namespace {

constexpr int grouppulses = 8;
constexpr double pulsespacing = 1e-3;      // s between the pulses of a group
constexpr int envelopememory = 16;         // GRIs of the running average, at most
constexpr std::int64_t largestgap = 2 * codewords;  // GRIs lost before framing starts over

}  // namespace

DataChannel::DataChannel(const ChannelConfig& config) : config_(config) {
    states_.resize(config_.stations.size());
    for (std::size_t e = 0; e < config_.stations.size(); ++e) {
        const std::int32_t s = config_.stations[e].station;
        if (s < 0) continue;
        if (static_cast<std::size_t>(s) >= entryof_.size()) entryof_.resize(static_cast<std::size_t>(s) + 1, 0);
        entryof_[static_cast<std::size_t>(s)] = static_cast<std::int32_t>(e) + 1;
    }
}

std::vector<std::uint8_t> DataChannel::flags(std::int32_t n) const {
    std::vector<std::uint8_t> f(static_cast<std::size_t>(std::max(n, 0)), 0);
    for (const ListenedStation& l : config_.stations)
        if (l.station >= 0 && l.station < n) f[static_cast<std::size_t>(l.station)] = 1;
    return f;
}

void DataChannel::restart() {
    for (StationState& st : states_) {
        st.received = 0;
        st.framer = Framer(true);
        st.anchored = false;
    }
}

std::vector<ChannelMessage> DataChannel::takemessages() {
    std::vector<ChannelMessage> out;
    out.swap(pending_);
    return out;
}

void DataChannel::window(const PulseWindow& w) {
    if (w.station < 0 || static_cast<std::size_t>(w.station) >= entryof_.size()) return;
    const std::int32_t e1 = entryof_[static_cast<std::size_t>(w.station)];
    if (e1 == 0 || w.samples < 1 || w.re == nullptr || w.im == nullptr) return;
    const auto entry = static_cast<std::size_t>(e1 - 1);
    StationState& st = states_[entry];
    if (st.length == 0) {
        // The first 1 ms from the window start, `pulseoffset` samples before
        // the pulse: the next pulse of the group begins after it.
        const double span = static_cast<double>(pulseoffset) + std::floor(config_.sr * pulsespacing);
        st.length = static_cast<std::int32_t>(std::clamp(span, 1.0, static_cast<double>(w.samples)));
        st.windows.assign(static_cast<std::size_t>(grouppulses * st.length), {});
        st.envelope.assign(static_cast<std::size_t>(st.length), 0.0f);
    }
    const std::int32_t length = std::min(st.length, w.samples);
    const int slot = w.pulseindex % grouppulses;
    if (slot == 0) {
        st.received = 0;
        st.groupstart = w.windowstart;
    } else if (st.received != slot || std::fabs(w.windowstart - st.lastwindow - pulsespacing) > 0.5 * pulsespacing) {
        st.received = 0;  // a window was passed over: the group is lost
        return;
    }
    st.lastwindow = w.windowstart;
    // Sign corrected and, with a band centre, turned as the integrator turns
    // it (written out: a complex product of the library checks for NaN).
    float c = static_cast<float>(w.sign), q = 0;
    if (config_.bandcenter != 0) {
        const double v = w.windowstart * config_.bandcenter;
        const double phi = 2.0 * pi64 * (v - std::floor(v));
        c = static_cast<float>(std::cos(phi) * w.sign);
        q = static_cast<float>(std::sin(phi) * w.sign);
    }
    std::complex<float>* x = st.windows.data() + static_cast<std::size_t>(slot * st.length);
    for (std::int32_t j = 0; j < length; ++j) {
        const float re = w.re[j], im = w.im[j];
        x[j] = {c * re - q * im, q * re + c * im};
    }
    for (std::int32_t j = length; j < st.length; ++j) x[j] = {};
    st.received = slot + 1;
    if (st.received == grouppulses) {
        st.received = 0;
        completegroup(entry, st);
    }
}

GroupPulses matchedpulses(const std::vector<std::complex<float>>& windows, const std::vector<float>& envelope,
                          std::int32_t length) {
    GroupPulses c{};
    if (length < 1 || windows.size() < static_cast<std::size_t>(grouppulses * length) ||
        envelope.size() < static_cast<std::size_t>(length))
        return c;
    for (int k = 0; k < grouppulses; ++k) {
        const std::complex<float>* x = windows.data() + static_cast<std::size_t>(k * length);
        std::complex<float> sum;
        for (std::int32_t j = 0; j < length; ++j) sum += envelope[static_cast<std::size_t>(j)] * x[j];
        c[static_cast<std::size_t>(k)] = sum;
    }
    return c;
}

void DataChannel::completegroup(std::size_t entry, StationState& st) {
    const std::int32_t length = st.length;
    // Running average of the magnitude of this GRI's coherent sum.
    st.envelopecount = std::min(st.envelopecount + 1, envelopememory);
    const float weight = 1.0f / static_cast<float>(st.envelopecount);
    for (std::int32_t j = 0; j < length; ++j) {
        std::complex<float> sum;
        for (int k = 0; k < grouppulses; ++k) sum += st.windows[static_cast<std::size_t>(k * length + j)];
        float& env = st.envelope[static_cast<std::size_t>(j)];
        env += weight * (std::sqrt(sum.real() * sum.real() + sum.imag() * sum.imag()) - env);
    }
    // The noise adds the same magnitude everywhere: the weights are the
    // envelope above its lowest position.
    const float floor = *std::min_element(st.envelope.begin(), st.envelope.end());
    st.weights.resize(st.envelope.size());
    for (std::size_t j = 0; j < st.envelope.size(); ++j) st.weights[j] = st.envelope[j] - floor;
    const WordDecision d = demodulateword(matchedpulses(st.windows, st.weights, length));
    pushword(entry, st, d.word, d.margin, st.groupstart + pulseoffset / config_.sr);
}

void DataChannel::pushword(std::size_t entry, StationState& st, std::uint8_t word, float margin, double time) {
    const double g = griseconds(config_.stations[entry].gri);
    if (!(g > 0)) return;
    std::int64_t gri = 0;
    if (st.anchored) {
        const double n = std::floor((time - st.anchor) / g + 0.5);
        if (!(n > static_cast<double>(st.lastgri)) || n - static_cast<double>(st.lastgri) > largestgap) {
            st.framer = Framer(true);  // time went back, or too much is lost: start over
            st.anchored = false;
        } else {
            gri = static_cast<std::int64_t>(n);
        }
    }
    if (!st.anchored) {
        st.anchored = true;
        st.anchor = time;
        gri = 0;
        st.lastgri = -1;
    }
    // Lost GRIs in between are framed as words nobody is sure of.
    for (std::int64_t k = st.lastgri + 1; k < gri; ++k) {
        std::optional<FramedMessage> m = st.framer.push(0, std::numeric_limits<float>::quiet_NaN());
        const double t = st.anchor + static_cast<double>(k) * g;
        st.times[st.framer.count() % timering] = t;
        if (m) pending_.push_back({entry, *m, t});
    }
    st.lastgri = gri;
    std::optional<FramedMessage> m = st.framer.push(word, margin);
    st.times[st.framer.count() % timering] = time;
    if (m) pending_.push_back({entry, *m, st.times[m->lastindex % timering]});
}

}  // namespace corvane::eloran
