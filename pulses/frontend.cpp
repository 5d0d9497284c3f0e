#include "pulses/frontend.h"

#include <cmath>

#include "acquisition/samplereader.h"
#include "core/numeric.h"

namespace corvane {

namespace {

// Oscillator step per sample for the current looffset.
void setstep(FrontEnd& fe) {
    const float w = toreal32(2.0 * static_cast<double>(pi32) * fe.looffset / fe.r);
    fe.lostep[0] = std::cos(w);
    fe.lostep[1] = -std::sin(w);
}

// toint16 of a real32 value, without a library call for the samples that
// are in range. NaN and values beyond the int16 range go through toint16 (0
// and clamping).
std::int16_t sampletoint16(float value) {
    if (value > -32768.5f && value < 32767.5f)
        return static_cast<std::int16_t>(static_cast<std::int32_t>(nearestinteger(value)));
    return toint16(value);
}

}  // namespace

void initfrontend(FrontEnd& frontend, const FrontEndConfig& config) {
    frontend = FrontEnd{};
    frontend.looffset = config.looffset;
    frontend.lorotor[0] = config.filescale;
    frontend.lorotor[1] = 0;
    frontend.r = toreal32(config.sr);
}

void accumulatebias(FrontEnd& frontend, const SampleBuffer& buffer, const FrontEndConfig& config) {
    const std::int32_t n = buffer.blocksamples;
    if (n < 1) return;
    const std::int16_t* __restrict re = buffer.samplere.data();
    const std::int16_t* __restrict im = buffer.sampleim.data();
    std::int32_t bre = 0, bim = 0;  // |sum| <= 32767 x 32768: no overflow
    if (config.nb != 0) {
        const float* __restrict power = buffer.samplepower.data();
        // One real32 sum in index order: its rounding is part of the result.
        float sum = 0;
        for (std::int32_t k = 0; k < n; ++k) sum += power[k];
        const float threshold = sum * config.nbfac / static_cast<float>(n);
        // Integer sums in any order; a mask (all bits set below the
        // threshold) instead of a branch lets several samples go at once.
        for (std::int32_t k = 0; k < n; ++k) {
            const std::int32_t below = -static_cast<std::int32_t>(power[k] < threshold);
            bre += re[k] & below;
            bim += im[k] & below;
        }
    } else {
        for (std::int32_t k = 0; k < n; ++k) {
            bre += re[k];
            bim += im[k];
        }
    }
    frontend.biassumre += static_cast<float>(bre);
    frontend.biassumim += static_cast<float>(bim);
    frontend.biascount += static_cast<float>(n);
}

void conditionblock(FrontEnd& frontend, SampleBuffer& buffer, const FrontEndConfig& config) {
    const std::int32_t first = buffer.overlap;
    const std::int32_t end = buffer.overlap + buffer.blocksamples;
    const bool twochannels = config.channels == 2;
    const bool shift = frontend.looffset != 0 || config.lodrift != 0;
    std::int16_t* re = buffer.samplere.data();
    std::int16_t* im = buffer.sampleim.data();

    if (config.filescale != 1 && !shift) {
        const float scale = config.filescale;
        for (std::int32_t i = first; i < end; ++i) {
            re[i] = sampletoint16(scale * static_cast<float>(re[i]));
            if (twochannels) im[i] = sampletoint16(scale * static_cast<float>(im[i]));
        }
    }

    if (shift) {
        FrontEnd& fe = frontend;
        setstep(fe);
        for (std::int32_t i = first; i < end; ++i) {
            fe.locount = static_cast<std::int16_t>(fe.locount + 1);
            if (fe.locount >= 100) {
                // Re-anchor the rotor on the phase so that rounding errors
                // of the repeated multiplication never build up.
                fe.locount = 0;
                const float phi = 2.0f * pi32 * fe.lophase;
                fe.lorotor[0] = config.filescale * std::cos(phi);
                fe.lorotor[1] = -config.filescale * std::sin(phi);
                fe.lophase = toreal32(static_cast<double>(fe.lophase) + 100.0 * fe.looffset / fe.r);
                fe.lophase -= std::floor(fe.lophase);
                if (config.lodrift != 0) {
                    fe.looffset += 100.0 * static_cast<double>(config.lodrift) / fe.r;
                    setstep(fe);
                }
            }
            const float c = fe.lorotor[0], s = fe.lorotor[1];
            const float x = re[i], y = im[i];
            if (twochannels) {
                re[i] = sampletoint16(c * x - s * y);
                im[i] = sampletoint16(s * x + c * y);
            } else {
                re[i] = sampletoint16(c * x);
                im[i] = sampletoint16(s * x);
            }
            const float cs = fe.lostep[0], ss = fe.lostep[1];
            fe.lorotor[0] = cs * c - ss * s;
            fe.lorotor[1] = ss * c + cs * s;
        }
    }

    if (config.nb != 0) {
        for (std::int32_t i = first; i < end; ++i) {
            const float x = re[i], y = im[i];
            buffer.samplepower[i] = x * x + y * y;
        }
    }
}

BiasEstimate takebias(FrontEnd& frontend) {
    BiasEstimate bias;
    if (frontend.biascount > 0) {
        bias.fresh = true;
        bias.re = frontend.biassumre / frontend.biascount;
        bias.im = frontend.biassumim / frontend.biascount;
    }
    frontend.biassumre = 0;
    frontend.biassumim = 0;
    frontend.biascount = 0;
    return bias;
}

}  // namespace corvane
