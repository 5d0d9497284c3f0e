#include "timebase/timebase.h"

namespace corvane {

void setstartepoch(TimeBase& base, double startepoch, bool live) {
    base.startepoch = startepoch;
    if (!base.synced) base.source = live ? TimeSource::pcclock : TimeSource::starttime;
}

void advancestartepoch(TimeBase& base, double seconds) { base.startepoch += seconds; }

void takesynchronisation(TimeBase& base, double offset, bool matched) {
    base.sampleepoch = base.startepoch + offset;
    base.synced = true;
    base.source = matched ? TimeSource::taimatch : TimeSource::taiguess;
}

void moveintervals(TimeBase& base, std::int64_t count, double interval) {
    base.sampleepoch += static_cast<double>(count) * interval;
    base.source = TimeSource::eloran;
}

double epochofbuffer(const TimeBase& base) { return base.synced ? base.sampleepoch : base.startepoch; }

std::string_view sourcename(TimeSource source) {
    switch (source) {
        case TimeSource::starttime: return "start time";
        case TimeSource::pcclock: return "PC clock";
        case TimeSource::taiguess: return "TAI guess";
        case TimeSource::taimatch: return "TAI match";
        case TimeSource::eloran: return "eLoran";
    }
    return "unknown";
}

}  // namespace corvane
