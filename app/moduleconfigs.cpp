// Hands each module its part of the settings record.
#include "app/settings.h"

namespace corvane {

InputConfig moduleinputconfig(const Settings& s) {
    InputConfig c;
    c.samplefile = s.samplefile;
    c.wavinput = s.wavinput;
    c.samplebytes = s.samplebytes;
    c.channels = s.channels;
    c.fileblocklen = s.fileblocklen;
    c.displaysamples = s.displaysamples;
    c.sr = s.sr;
    c.sleeptime = s.sleeptime;
    c.keeppower = s.nb != 0;
    c.clock.utcoffset = s.utcoffset;
    c.clock.clockoffset = s.clockoffset;
    c.clock.timercalavfac = s.timercalavfac;
    c.clock.framebytes = s.samplebytes * s.channels;
    return c;
}

namespace {

SteeringConfig steeringconfig(const Settings& s) {
    SteeringConfig c;
    c.shortintegration = s.shortintegration;
    c.srlofactor = s.srlofactor;
    c.srlooffset = s.srlooffset;
    c.resynclimit = s.resynclimit;
    c.pllenabled = s.pllenabled;
    c.pllcommand = s.pllcommand;
    c.pllcenter = s.pllcenter;
    c.plllow = s.plllow;
    c.pllhigh = s.pllhigh;
    c.pllfactort = s.pllfactort;
    c.pllfactorf = s.pllfactorf;
    c.plldither = s.plldither;
    c.pllaveragef = s.pllaveragef;
    c.pllavfini = s.pllavfini;
    c.ffactor = s.ffactor;
    c.srloavfac = s.srloavfac;
    c.srloavini = s.srloavini;
    return c;
}

WaterfallConfig waterfallconfig(const Settings& s) {
    WaterfallConfig c;
    c.bmp = s.bmp;
    c.bmpcmd = s.bmpcmd;
    c.bmpcmdcount = s.bmpcmdcount;
    c.bmperrorhandling = s.bmperrorhandling;
    c.colour = s.colour;
    c.gamma = s.gamma;
    c.dbrange = s.dbrange;
    c.fullscale = s.fullscale;
    c.fullscalefixed = s.fullscalefixed;
    c.normalizedistance = s.normalizedistance;
    c.normalizepower = s.normalizepower;
    c.hipass = s.hipass;
    c.jittercorr = s.jittercorr;
    c.firbegin = s.firbegin;
    c.taps = s.taps;
    c.displaysamples = s.displaysamples;
    c.longintegration = s.longintegration;
    return c;
}

}  // namespace

ModuleConfigs moduleconfigs(const Settings& s) {
    ModuleConfigs m;
    m.stations = {GeoPoint{s.lat, s.lon}, s.table, s.selection, s.taireferences,
                  s.hidden, s.blankedstns, s.blankingdistance};
    m.timing = {s.singlepulses, s.firstblankedsample, s.lastblankedsample, s.displaysamples, s.sr, s.asf,
                s.xrcdelay7950, s.gri5990step, s.gri6731step};
    m.input = moduleinputconfig(s);
    m.frontend = {s.filescale, s.looffset, s.lodrift, s.channels, s.nb, s.nbfac, s.sr};
    m.integrator = {s.displaysamples, s.nb, s.nbinit, s.nbfac, s.nbupdate, s.nbspread, s.bandcenter};
    m.pulse = {s.edgelevel, s.edgelevelabsolute};
    m.sampleclock = {s.srcorr, s.srcorrroot, s.shortintegration};
    m.steering = steeringconfig(s);
    m.fold = {s.phasecorr, s.notch100khz, s.biasreal, s.biasimag, s.nb, s.nbcorr, s.blankingoffsetcorr};
    m.health = {s.resynclimit, s.clockerrorlimit, s.wavinput == 0};
    m.tai = {s.integrationtime, s.searchrange, s.syncverbose, s.remove8000frompps, s.bandcenter, s.sr,
             s.wavinput == 0, s.clockoffset};
    m.display = {s.clockoffset, s.wavinput == 0};
    m.waterfall = waterfallconfig(s);
    m.log = {s.log, s.clockoffset};
    m.eloran.sr = s.sr;
    m.eloran.bandcenter = s.bandcenter;
    for (const StationEntry& e : s.eloranstations)
        for (std::size_t i = 0; i < s.selection.size(); ++i) {
            const StationEntry& x = s.selection[i];
            if ((x.gri < 0 ? -static_cast<std::int64_t>(x.gri) : x.gri) == e.gri && x.letter == e.letter) {
                m.eloran.stations.push_back({static_cast<std::int32_t>(i), e.gri, std::to_string(e.gri) + e.letter});
                break;
            }
        }
    return m;
}

}  // namespace corvane
