#include "eloran/schedule.h"

#include "acquisition/clock.h"
#include "core/calendar.h"
#include "core/loran.h"

namespace corvane::eloran {

Message scheduledmessage(const ScheduleConfig& config, std::int64_t m) {
    Message msg;
    if (m % 10 == 9) {
        msg.type = stationtype;
        msg.stationid = config.stationid;
        msg.health = 0;
        msg.system = 1;
        msg.role = config.role;
        const bool latitude = (m / 10) % 2 == 0;
        msg.coordinatekind = latitude ? 1 : 2;
        msg.coordinate = latitude ? config.latitude : config.longitude;
        return msg;
    }
    msg.type = utctype;
    msg.subtype = m % 2 == 0 ? utchoursubtype : utcleapsubtype;
    const std::int64_t tot = (m + 1) * codewords * static_cast<std::int64_t>(config.gri) + config.emissiondelay -
                             static_cast<std::int64_t>(config.leapseconds) * tenuspersecond;
    const std::int64_t hours = tot / tenusperhour;  // since 1958, 24 a day
    msg.timeinhour = static_cast<std::uint32_t>(tot - hours * tenusperhour);
    if (isutchour(msg)) {
        const auto days = static_cast<std::int32_t>(hours / 24);
        const auto year = static_cast<std::int32_t>(civilfromdays(days + daysfromcivil(1958, 1, 1)).year);
        msg.year = static_cast<std::uint8_t>(year - 2000);
        msg.hourofyear = static_cast<std::uint16_t>(hours - static_cast<std::int64_t>(daysince1958(year, 1, 1)) * 24);
    } else {
        msg.leapseconds = static_cast<std::uint8_t>(config.leapseconds);
    }
    return msg;
}

std::uint8_t MessageSchedule::word(std::int64_t gri) {
    if (gri < 0) return 0;
    const std::int64_t m = gri / codewords;
    auto it = cache_.find(m);
    if (it == cache_.end()) {
        if (cache_.size() > 4) cache_.erase(cache_.begin());
        it = cache_.emplace(m, rsencode(encodemessage(scheduledmessage(config_, m)))).first;
    }
    return it->second[static_cast<std::size_t>(gri % codewords)];
}

}  // namespace corvane::eloran
