#include "charts.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>

#include "svgtext.h"
#include "timeaxis.h"

namespace corvane::plot {

namespace {

using svg::escape;
using svg::line;
using svg::num;
using svg::text;

// "2025-12-07 18:35:31".
std::string spaced(Millis t) { return formatdate(t) + " " + formathhmmss(t); }

const char* const colours[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd", "#8c564b",
                               "#e377c2", "#17becf", "#bcbd22", "#7f7f7f", "#000080", "#808000"};

struct Point {
    Millis t;
    double v;
};
using Segment = std::vector<Point>;

struct Series {
    std::string name;
    std::string colour;
    std::vector<Segment> segments;
    void add(Millis t, double v, bool newsegment) {
        if (std::isnan(v) || !std::isfinite(v)) return;
        if (segments.empty() || newsegment) segments.emplace_back();
        segments.back().push_back({t, v});
    }
};

struct Panel {
    std::string title;
    std::vector<Series> series;
    bool fixedrange = false;
    double lo = 0, hi = 0;
};

// The selected station ids that status records name, in the order the start
// records list them, then in the order the status records first name them.
std::vector<std::string> stationorder(const Log& log, const Selection& sel) {
    std::vector<std::string> measured, ids;
    for (const Run& run : log.runs)
        for (const StatusRecord& r : run.status)
            for (const StationStatus& s : r.stations)
                if (sel.station(s.id) && std::find(measured.begin(), measured.end(), s.id) == measured.end())
                    measured.push_back(s.id);
    auto add = [&](const std::string& id) {
        if (std::find(measured.begin(), measured.end(), id) != measured.end() &&
            std::find(ids.begin(), ids.end(), id) == ids.end())
            ids.push_back(id);
    };
    for (const Run& run : log.runs)
        for (const StationInfo& s : run.stations) add(s.id);
    for (const std::string& id : measured) add(id);
    return ids;
}

// Each station's time of arrival in microseconds, in the colours of the
// peak and edge panels, a segment per run; no series at all when no selected
// status record has toa_us (logs of monitors before it).
Panel toapanel(const Log& log, const Selection& sel, const std::vector<std::string>& ids) {
    Panel panel{"time of arrival (\u00B5s)", {}};
    for (std::size_t i = 0; i < ids.size(); ++i)
        panel.series.push_back({ids[i], colours[i % (sizeof colours / sizeof *colours)], {}});
    bool any = false;
    for (const Run& run : log.runs) {
        for (const StatusRecord& r : run.status) {
            if (!sel.time(r.utc)) continue;
            for (const StationStatus& s : r.stations) {
                const auto it = std::find(ids.begin(), ids.end(), s.id);
                if (it == ids.end() || std::isnan(s.toaus)) continue;
                panel.series[static_cast<std::size_t>(it - ids.begin())].add(r.utc, s.toaus, false);
                any = true;
            }
        }
        for (Series& s : panel.series)
            if (!s.segments.empty() && !s.segments.back().empty()) s.segments.emplace_back();
    }
    if (!any) panel.series.clear();
    return panel;
}

constexpr double pagewidth = 1100, left = 90, right = 140, top = 100, panelheight = 130, panelgap = 28,
                 bottom = 70;

}  // namespace

std::string chartsvg(const Log& log, const Selection& sel, const std::string& title) {
    const std::vector<std::string> ids = stationorder(log, sel);
    Millis t0 = 0, t1 = 0;
    bool any = false;
    std::size_t runcount = 0;
    for (const Run& run : log.runs) {
        bool inrun = false;
        for (const StatusRecord& r : run.status)
            if (sel.time(r.utc)) {
                if (!any || r.utc < t0) t0 = r.utc;
                if (!any || r.utc > t1) t1 = r.utc;
                any = inrun = true;
            }
        runcount += inrun;
    }
    if (!any) throw std::runtime_error("no status record in the selected time");
    // Events of the runs shown (an abnormal end after the last status record).
    for (const Run& run : log.runs)
        for (const Event& e : run.events)
            if (sel.time(e.utc) && e.utc > t0 && e.utc < t1 + 600000) t1 = std::max(t1, e.utc);
    if (sel.hasfrom) t0 = std::min(t0, sel.from);
    if (sel.hasto) t1 = std::max(t1, sel.to);
    if (t1 - t0 < 10000) {
        t0 -= 5000;
        t1 += 5000;
    }

    // The series, one segment per run (and per wrap of the phase).
    std::map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < ids.size(); ++i) index[ids[i]] = i;
    Panel peak{"peak (dB)", {}}, edge{"edge (samples)", {}}, phase{"reference phase (deg)", {}}, sr{"SR (Hz)", {}},
        lo{"LO (fraction)", {}}, lous{"LO (\u00B5s)", {}}, pc{"PC offset (s)", {}};
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const std::string colour = colours[i % (sizeof colours / sizeof *colours)];
        peak.series.push_back({ids[i], colour, {}});
        edge.series.push_back({ids[i], colour, {}});
    }
    phase.series.push_back({"", "#1f77b4", {}});
    phase.fixedrange = true;
    phase.lo = -180;
    phase.hi = 180;
    sr.series.push_back({"", "#1f77b4", {}});
    lo.series.push_back({"", "#1f77b4", {}});
    lous.series.push_back({"", "#1f77b4", {}});
    pc.series.push_back({"", "#1f77b4", {}});
    std::vector<std::string> references;
    bool anypc = false;
    for (const Run& run : log.runs) {
        bool first = true;
        double lastphase = std::nan("");
        if (!run.reference.empty() &&
            std::find(references.begin(), references.end(), run.reference) == references.end())
            references.push_back(run.reference);
        for (const StatusRecord& r : run.status) {
            if (!sel.time(r.utc)) continue;
            for (const StationStatus& s : r.stations) {
                const auto it = index.find(s.id);
                if (it != index.end()) {
                    peak.series[it->second].add(r.utc, s.peak > 0 ? 20 * std::log10(s.peak) : missing, first);
                    edge.series[it->second].add(r.utc, s.edge, first);
                }
                if (s.id == run.reference && !std::isnan(s.phasedeg)) {
                    const bool wrap = !std::isnan(lastphase) && std::fabs(s.phasedeg - lastphase) > 180;
                    phase.series[0].add(r.utc, s.phasedeg, first || wrap);
                    lastphase = s.phasedeg;
                }
            }
            sr.series[0].add(r.utc, r.sr, first);
            lo.series[0].add(r.utc, r.lo, first);
            lous.series[0].add(r.utc, r.lous, first);
            pc.series[0].add(r.utc, r.pc, first);
            anypc = anypc || !std::isnan(r.pc);
            first = false;
        }
        // The next run starts new segments even if this one had no record.
        for (Panel* p : {&peak, &edge, &phase, &sr, &lo, &lous, &pc})
            for (Series& s : p->series)
                if (!s.segments.empty() && !s.segments.back().empty()) s.segments.emplace_back();
    }
    if (!references.empty()) {
        phase.title = "phase of";
        for (const std::string& r : references) phase.title += " " + r;
        phase.title += " (deg)";
    }
    std::vector<Panel*> panels = {&peak, &edge, &phase, &sr, &lo, &lous};
    Panel toa = toapanel(log, sel, ids);
    if (!toa.series.empty()) panels.insert(panels.begin() + 2, &toa);
    if (anypc) panels.push_back(&pc);

    const double plotwidth = pagewidth - left - right;
    const double pageheight = top + panels.size() * (panelheight + panelgap) - panelgap + bottom;
    const double plotbottom = top + panels.size() * (panelheight + panelgap) - panelgap;
    auto xof = [&](Millis t) { return left + static_cast<double>(t - t0) / static_cast<double>(t1 - t0) * plotwidth; };

    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      num(pagewidth) + "\" height=\"" + num(pageheight) + "\" viewBox=\"0 0 " + num(pagewidth) + " " +
                      num(pageheight) + "\" font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"11\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += text(left, 22, title, "font-size=\"14\" font-weight=\"bold\"");
    const std::string span = spaced(t0) + " to " + spaced(t1) + " UTC, " + std::to_string(runcount) +
                             (runcount == 1 ? " run" : " runs");
    svg += text(left, 40, span, "fill=\"#444\"");

    // Time grid and labels.
    const std::vector<TimeTick> ticks = timeticks(t0, t1, std::max(2, static_cast<int>(plotwidth / 90)));
    for (const TimeTick& tick : ticks) {
        const double x = xof(tick.t);
        svg += line(x, top, x, plotbottom, "stroke=\"#e4e4e4\"");
        svg += text(x, plotbottom + 16, tick.label, "text-anchor=\"middle\"");
        if (!tick.date.empty()) svg += text(x, plotbottom + 30, tick.date, "text-anchor=\"middle\" fill=\"#444\"");
    }
    std::string axistitle = "UTC";
    if (formatdate(t0) == formatdate(t1)) axistitle += " " + formatdate(t0);
    svg += text(left + plotwidth / 2, plotbottom + 50, axistitle, "text-anchor=\"middle\"");

    // Event markers: lines through every panel, labels in three rows above.
    double rowend[3] = {-1e9, -1e9, -1e9};
    for (const Run& run : log.runs)
        for (const Event& e : run.events) {
            if (!sel.time(e.utc) || e.utc < t0 || e.utc > t1) continue;
            const double x = xof(e.utc);
            const char* colour = e.type == "sync" ? "#c00000" : e.type == "eloran" ? "#008060" : "#000000";
            svg += line(x, top - 18, x, plotbottom, std::string("stroke=\"") + colour +
                                                       "\" stroke-width=\"0.8\" stroke-dasharray=\"3,2\" opacity=\"0.7\"");
            const double width = 6.2 * static_cast<double>(e.label.size());
            for (int row = 0; row < 3; ++row)
                if (x > rowend[row] + 4 && x + width <= pagewidth - 4) {
                    svg += text(x + 2, top - 20 - 13 * (2 - row), e.label, std::string("fill=\"") + colour + "\" font-size=\"10\"");
                    rowend[row] = x + width;
                    break;
                }
        }

    for (std::size_t p = 0; p < panels.size(); ++p) {
        Panel& panel = *panels[p];
        const double y0 = top + p * (panelheight + panelgap);
        double vlo = panel.lo, vhi = panel.hi;
        if (!panel.fixedrange) {
            bool have = false;
            for (const Series& s : panel.series)
                for (const Segment& seg : s.segments)
                    for (const Point& pt : seg) {
                        if (!have || pt.v < vlo) vlo = pt.v;
                        if (!have || pt.v > vhi) vhi = pt.v;
                        have = true;
                    }
            if (!have) {
                vlo = 0;
                vhi = 1;
            } else if (vhi - vlo <= std::max(std::fabs(vhi), std::fabs(vlo)) * 1e-12) {
                const double d = vlo != 0 ? std::fabs(vlo) * 1e-3 : 1;
                vlo -= d;
                vhi += d;
            } else {
                const double pad = (vhi - vlo) * 0.05;
                vlo -= pad;
                vhi += pad;
            }
        }
        auto yof = [&](double v) { return y0 + panelheight - (v - vlo) / (vhi - vlo) * panelheight; };
        svg += "<rect x=\"" + num(left) + "\" y=\"" + num(y0) + "\" width=\"" + num(plotwidth) + "\" height=\"" +
               num(panelheight) + "\" fill=\"none\" stroke=\"#888\"/>\n";
        svg += text(left + 4, y0 - 4, panel.title, "font-weight=\"bold\"");
        double step = 0;
        for (double v : valueticks(vlo, vhi, 6, step)) {
            const double y = yof(v);
            svg += line(left, y, left + plotwidth, y, "stroke=\"#eeeeee\"");
            svg += line(left - 4, y, left, y, "stroke=\"#888\"");
            svg += text(left - 6, y + 4, formattick(v, step), "text-anchor=\"end\"");
        }
        for (const TimeTick& tick : ticks) {
            const double x = xof(tick.t);
            svg += line(x, y0 + panelheight, x, y0 + panelheight + 4, "stroke=\"#888\"");
        }
        bool haspoints = false;
        for (const Series& s : panel.series)
            for (const Segment& seg : s.segments) {
                if (seg.empty()) continue;
                haspoints = true;
                if (seg.size() == 1) {
                    svg += "<circle cx=\"" + num(xof(seg[0].t)) + "\" cy=\"" + num(yof(seg[0].v)) + "\" r=\"1.8\" fill=\"" +
                           s.colour + "\"/>\n";
                    continue;
                }
                svg += "<polyline fill=\"none\" stroke=\"" + s.colour + "\" stroke-width=\"1.2\" points=\"";
                for (const Point& pt : seg) svg += num(xof(pt.t)) + "," + num(yof(pt.v)) + " ";
                svg += "\"/>\n";
            }
        if (!haspoints) svg += text(left + plotwidth / 2, y0 + panelheight / 2, "no data", "text-anchor=\"middle\" fill=\"#888\"");
    }
    // Legend of the per-station panels, right of the first two.
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const double y = top + 8 + 14 * static_cast<double>(i);
        if (y > top + 2 * panelheight + panelgap) break;
        const std::string colour = colours[i % (sizeof colours / sizeof *colours)];
        svg += line(left + plotwidth + 10, y - 4, left + plotwidth + 30, y - 4, "stroke=\"" + colour + "\" stroke-width=\"2\"");
        svg += text(left + plotwidth + 34, y, ids[i]);
    }
    svg += "</svg>\n";
    return svg;
}

std::string waterfallsvg(const Picture& picture, const Log& log, const std::string& bmpname,
                         std::vector<std::string>& notes) {
    auto basename = [](std::string s) {
        const auto slash = s.find_last_of("/\\");
        if (slash != std::string::npos) s.erase(0, slash + 1);
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    const Run* run = nullptr;
    for (const Run& r : log.runs)
        if (r.hasstart && !r.bmp.empty() && basename(r.bmp) == basename(bmpname)) run = &r;
    if (!run)
        for (const Run& r : log.runs)
            if (!r.lines.empty()) run = &r;

    const double width = picture.width, height = picture.height;
    const double sx = std::max(1.0, std::min(4.0, std::floor(640 / width)));
    // Rows at least as tall as the columns are wide, the picture 200 .. 1600 units tall.
    double sy = sx;
    if (height * sy < 200) sy = 200 / height;
    if (height * sy > 1600) sy = 1600 / height;
    const double wleft = 130, wtop = 110, dw = width * sx, dh = height * sy;
    const double pw = std::max(wleft + dw + 30, 420.0), ph = wtop + dh + 40;

    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
                      "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"" + num(pw) + "\" height=\"" + num(ph) +
                      "\" viewBox=\"0 0 " + num(pw) + " " + num(ph) +
                      "\" font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"11\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += text(10, 20, basename(bmpname) + ": " + std::to_string(picture.height) + " lines, newest on top",
                "font-size=\"14\" font-weight=\"bold\"");
    svg += "<image x=\"" + num(wleft) + "\" y=\"" + num(wtop) + "\" width=\"" + num(dw) + "\" height=\"" + num(dh) +
           "\" preserveAspectRatio=\"none\" style=\"image-rendering:pixelated\" xlink:href=\"data:image/png;base64," +
           base64(encodepng(picture)) + "\"/>\n";

    if (!run) {
        notes.push_back("the log has no run with waterfall lines: no station ids or times drawn");
    } else {
        // Station columns.
        std::vector<std::string> ids;
        for (const StationInfo& s : run->stations)
            if (!s.hidden) ids.push_back(s.id);
        const double d = static_cast<double>(run->displaysamples);
        if (d <= 0 || ids.empty()) {
            notes.push_back("the run's start record gives no stations or displaysamples: no station ids drawn");
        } else {
            if (d * static_cast<double>(ids.size()) > width)
                notes.push_back(std::to_string(ids.size()) + " stations of " + std::to_string(run->displaysamples) +
                                " pixels do not fit in the bitmap's " + std::to_string(picture.width) + " pixels");
            const double column = d * sx;
            for (std::size_t i = 0; i < ids.size(); ++i) {
                const double x = wleft + column * static_cast<double>(i);
                if (x >= wleft + dw) break;
                if (i > 0) svg += line(x, wtop - 6, x, wtop, "stroke=\"#444\"");
                if (column >= 40)
                    svg += text(x + column / 2, wtop - 10, ids[i], "text-anchor=\"middle\"");
                else
                    svg += text(x + column / 2 + 4, wtop - 10, ids[i], "transform=\"rotate(-90 " + num(x + column / 2 + 4) + " " +
                                                                        num(wtop - 10) + ")\"");
            }
        }
        // Time ticks: a tick at the lower edge of the first line at or after each round time.
        if (!run->lines.empty()) {
            std::vector<LineRecord> lines = run->lines;
            std::stable_sort(lines.begin(), lines.end(), [](const LineRecord& a, const LineRecord& b) { return a.line < b.line; });
            if (lines.back().line != picture.height)
                notes.push_back("the log names " + std::to_string(lines.back().line) + " lines, the bitmap holds " +
                                std::to_string(picture.height));
            const Millis first = lines.front().utc, last = lines.back().utc;
            std::vector<TimeTick> ticks;
            if (last > first) ticks = timeticks(first, last, std::max(2, static_cast<int>(dh / 45)));
            std::size_t k = 0;
            double lasty = 1e9;
            for (const TimeTick& tick : ticks) {
                while (k < lines.size() && lines[k].utc < tick.t) ++k;
                if (k == lines.size()) break;
                const std::int64_t n = lines[k].line;
                if (n > picture.height) break;
                const double y = wtop + static_cast<double>(picture.height - n + 1) * sy;
                if (lasty - y < 26) continue;  // too close to the tick below
                lasty = y;
                svg += line(wleft - 6, y, wleft, y, "stroke=\"#000\"");
                svg += text(wleft - 9, y + 4, tick.label, "text-anchor=\"end\"");
                if (!tick.date.empty()) svg += text(wleft - 9, y + 16, tick.date, "text-anchor=\"end\" fill=\"#444\" font-size=\"10\"");
            }
            const std::string span = "UTC, " + spaced(first) + " to " + spaced(last);
            svg += text(10, 38, span, "fill=\"#444\"");
        }
    }
    svg += "</svg>\n";
    return svg;
}

}  // namespace corvane::plot
