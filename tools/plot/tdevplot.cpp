#include "tdevplot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "svgtext.h"
#include "tdev.h"

namespace corvane::plot {

namespace {

// The pooled terms of one station and status interval, per octave k (m = 2^k).
struct Group {
    std::string station;
    double tau0s = 0;
    std::vector<TdevSum> sums;
    std::size_t values = 0;  // values with toa_us, all runs
};

// Seconds between the run's status records: its shortintegration, else the
// median step of the selected records' times; NaN when neither is known.
double statusinterval(const Run& run, const std::vector<const StatusRecord*>& records) {
    if (!std::isnan(run.shortintegration)) return run.shortintegration;
    std::vector<Millis> steps;
    for (std::size_t k = 1; k < records.size(); ++k)
        if (records[k]->utc > records[k - 1]->utc) steps.push_back(records[k]->utc - records[k - 1]->utc);
    if (steps.empty()) return missing;
    std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2), steps.end());
    return static_cast<double>(steps[steps.size() / 2]) / 1000;
}

// Each selected station's toa_us series of one run, one value per record,
// NaN where the record has no value for it; stations in order of appearance.
std::vector<std::pair<std::string, std::vector<double>>> runseries(const std::vector<const StatusRecord*>& records,
                                                                   const Selection& selection) {
    std::vector<std::pair<std::string, std::vector<double>>> series;
    for (std::size_t k = 0; k < records.size(); ++k)
        for (const StationStatus& s : records[k]->stations) {
            if (!selection.station(s.id) || std::isnan(s.toaus)) continue;
            auto it = std::find_if(series.begin(), series.end(), [&](const auto& p) { return p.first == s.id; });
            if (it == series.end()) {
                series.push_back({s.id, std::vector<double>(records.size(), missing)});
                it = series.end() - 1;
            }
            it->second[k] = s.toaus;
        }
    return series;
}

void addrun(const Run& run, const Selection& selection, std::vector<Group>& groups, std::vector<std::string>& notes) {
    std::vector<const StatusRecord*> records;
    for (const StatusRecord& r : run.status)
        if (selection.time(r.utc)) records.push_back(&r);
    const auto series = runseries(records, selection);
    if (series.empty()) return;
    const double tau0 = statusinterval(run, records);
    if (std::isnan(tau0)) {
        notes.push_back("the run of " + formatutc(run.start) + " has one status record and no status interval: left out");
        return;
    }
    for (const auto& [station, x] : series) {
        auto g = std::find_if(groups.begin(), groups.end(),
                              [&](const Group& e) { return e.station == station && e.tau0s == tau0; });
        if (g == groups.end()) {
            groups.push_back({station, tau0, {}, 0});
            g = groups.end() - 1;
        }
        g->values += static_cast<std::size_t>(std::count_if(x.begin(), x.end(), [](double v) { return !std::isnan(v); }));
        std::size_t k = 0;
        for (std::int64_t m = 1; 3 * static_cast<std::size_t>(m) <= x.size(); m *= 2, ++k) {
            if (g->sums.size() <= k) g->sums.resize(k + 1);
            addtdevterms(x, m, g->sums[k]);
        }
    }
}

}  // namespace

std::vector<TdevCurve> tdevcurves(const Log& log, const Selection& selection, std::vector<std::string>& notes) {
    std::vector<Group> groups;
    for (const Run& run : log.runs) addrun(run, selection, groups, notes);
    std::vector<TdevCurve> curves;
    for (const Group& g : groups) {
        TdevCurve curve{g.station, g.tau0s, {}};
        for (std::size_t k = 0; k < g.sums.size(); ++k) {
            const std::int64_t m = std::int64_t{1} << k;
            const double tdevns = tdevvalue(g.sums[k], m) * 1000;  // NaN without terms, inf past the range of double
            if (std::isfinite(tdevns))
                curve.points.push_back({static_cast<double>(m) * g.tau0s, tdevns, g.sums[k].terms});
        }
        const auto first = std::find_if(groups.begin(), groups.end(), [&](const Group& e) { return e.station == g.station; });
        const bool split = std::any_of(first + 1, groups.end(), [&](const Group& e) { return e.station == g.station; });
        if (split && &*first == &g)
            notes.push_back("station " + g.station + ": runs with different status intervals give separate estimates");
        if (curve.points.empty())
            notes.push_back("station " + g.station + (split ? " at a status interval of " + shortest(g.tau0s) + " s" : "") +
                            ": " + std::to_string(g.values) + " toa_us values: no time deviation (no run has 3 in a row, or they are too large)");
        else
            curves.push_back(std::move(curve));
    }
    return curves;
}

std::string tdevcsv(const std::vector<TdevCurve>& curves) {
    std::string out = "station,tau_s,tdev_ns,n\n";
    for (const TdevCurve& c : curves)
        for (const TdevPoint& p : c.points)
            out += c.station + "," + shortest(p.taus) + "," + shortest(p.tdevns) + "," + std::to_string(p.terms) + "\n";
    return out;
}

namespace {

// A logarithmic axis from one power of ten to another.
struct LogAxis {
    double lo = 1, hi = 10;
    double fraction(double v) const { return (std::log10(v) - std::log10(lo)) / (std::log10(hi) - std::log10(lo)); }
};

LogAxis logaxis(double min, double max) {
    LogAxis a{std::pow(10.0, std::floor(std::log10(min))), std::pow(10.0, std::ceil(std::log10(max)))};
    if (a.hi <= a.lo * 1.000001) a.hi = a.lo * 10;
    return a;
}

// "0.01", "1", "1000", "1e+06".
std::string decade(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

// Grid lines at 1 .. 9 times each power of ten; labels at the powers of ten
// (and at 2 and 5 when the axis spans one decade). at(v, major, label) draws one.
template <typename Draw>
void logticks(const LogAxis& a, Draw at) {
    const bool onedecade = a.hi <= a.lo * 10.000001;
    for (double d = a.lo; d <= a.hi * 1.000001; d *= 10)
        for (int f = 1; f <= 9; ++f) {
            const double v = d * f;
            if (v > a.hi * 1.000001) break;
            const bool label = f == 1 || (onedecade && (f == 2 || f == 5));
            at(v, f == 1, label ? decade(v) : std::string());
        }
}

const char* const palette[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd", "#8c564b",
                               "#e377c2", "#17becf", "#bcbd22", "#7f7f7f"};

constexpr double pagewidth = 900, pageheight = 580, left = 90, right = 160, top = 70, bottom = 70;

}  // namespace

std::string tdevsvg(const std::vector<TdevCurve>& curves, const std::string& title) {
    using namespace svg;
    double xmin = 0, xmax = 0, ymin = 0, ymax = 0;
    bool any = false;
    for (const TdevCurve& c : curves)
        for (const TdevPoint& p : c.points) {
            if (!(p.tdevns > 0) || !(p.taus > 0)) continue;
            xmin = any ? std::min(xmin, p.taus) : p.taus;
            xmax = any ? std::max(xmax, p.taus) : p.taus;
            ymin = any ? std::min(ymin, p.tdevns) : p.tdevns;
            ymax = any ? std::max(ymax, p.tdevns) : p.tdevns;
            any = true;
        }
    if (!any) throw std::runtime_error("no time deviation above 0 to draw");
    const LogAxis xa = logaxis(xmin, xmax), ya = logaxis(ymin, ymax);
    const double w = pagewidth - left - right, h = pageheight - top - bottom;
    auto xof = [&](double v) { return left + xa.fraction(v) * w; };
    auto yof = [&](double v) { return top + h - ya.fraction(v) * h; };

    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      num(pagewidth) + "\" height=\"" + num(pageheight) + "\" viewBox=\"0 0 " + num(pagewidth) + " " +
                      num(pageheight) + "\" font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"11\">\n";
    out += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    out += text(left, 22, title, "font-size=\"14\" font-weight=\"bold\"");
    out += text(left, 40, "time deviation (overlapping TDEV) of each station's time of arrival", "fill=\"#444\"");
    logticks(xa, [&](double v, bool major, const std::string& label) {
        out += line(xof(v), top, xof(v), top + h, major ? "stroke=\"#cccccc\"" : "stroke=\"#eeeeee\"");
        if (!label.empty()) out += text(xof(v), top + h + 16, label, "text-anchor=\"middle\"");
    });
    logticks(ya, [&](double v, bool major, const std::string& label) {
        out += line(left, yof(v), left + w, yof(v), major ? "stroke=\"#cccccc\"" : "stroke=\"#eeeeee\"");
        if (!label.empty()) out += text(left - 6, yof(v) + 4, label, "text-anchor=\"end\"");
    });
    out += "<rect x=\"" + num(left) + "\" y=\"" + num(top) + "\" width=\"" + num(w) + "\" height=\"" + num(h) +
           "\" fill=\"none\" stroke=\"#888\"/>\n";
    out += text(left + w / 2, top + h + 40, "tau (s)", "text-anchor=\"middle\"");
    out += text(24, top + h / 2, "TDEV (ns)", "text-anchor=\"middle\" transform=\"rotate(-90 24 " + num(top + h / 2) + ")\"");

    for (std::size_t i = 0; i < curves.size(); ++i) {
        const TdevCurve& c = curves[i];
        const std::string colour = palette[i % (sizeof palette / sizeof *palette)];
        std::string points;
        for (const TdevPoint& p : c.points) {
            if (!(p.tdevns > 0)) continue;
            points += num(xof(p.taus)) + "," + num(yof(p.tdevns)) + " ";
            out += "<circle cx=\"" + num(xof(p.taus)) + "\" cy=\"" + num(yof(p.tdevns)) + "\" r=\"2.5\" fill=\"" + colour + "\"/>\n";
        }
        out += "<polyline fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"1.5\" points=\"" + points + "\"/>\n";
        const bool split = std::count_if(curves.begin(), curves.end(), [&](const TdevCurve& e) { return e.station == c.station; }) > 1;
        const double y = top + 8 + 16 * static_cast<double>(i);
        out += line(left + w + 10, y - 4, left + w + 30, y - 4, "stroke=\"" + colour + "\" stroke-width=\"2\"");
        out += text(left + w + 34, y, c.station + (split ? " (tau0 " + shortest(c.tau0s) + " s)" : ""));
    }
    out += "</svg>\n";
    return out;
}

}  // namespace corvane::plot
