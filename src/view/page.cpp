#include "view/page.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string_view>

#include "base/sha256.h"
#include "view/page_assets.h"
#include "base/encoding.h"
#include "base/text_format.h"
#include "model/chainage.h"

namespace sb::view {

// --- text ---------------------------------------------------------------

namespace {

// The page shows a control byte other than tab and line feed as U+FFFD.
char32_t code_point_1252(unsigned char b) {
  if (b < 0x20) return (b == '\t' || b == '\n') ? b : 0xFFFD;
  if (b == 0x7F) return 0xFFFD;
  return cp1252_character(b);
}

}  // namespace

std::string page_text_utf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char b : text) append_utf8(out, code_point_1252(b));
  return out;
}

namespace {

// HTML text of UTF-8 text.
std::string html_utf8(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

std::string html_text(const std::string& text_1252) { return html_utf8(page_text_utf8(text_1252)); }

namespace {

// A JSON string literal of UTF-8 text that is safe inside a <script>
// element.
std::string json_string(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char b : utf8) {
    switch (b) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '<': out += "\\u003c"; break;
      case '>': out += "\\u003e"; break;
      case '&': out += "\\u0026"; break;
      default:
        if (b < 0x20 || b == 0x7F) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", b);
          out += buffer;
        } else {
          out += static_cast<char>(b);
        }
    }
  }
  return out + "\"";
}

std::string num(double v, int decimals = 1) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
  std::string s = buffer;
  if (s == "-0.0" || s == "-0") s = s.substr(1);
  return s;
}

// "FILE:LINE" in UTF-8: file names are kept as the author gave them.
std::string source_text(const Element& e) {
  return e.source ? display_utf8(e.source->file) + ":" + decimal(e.source->line) : std::string();
}

// A round length (1, 2 or 5 times a power of ten) of at most `limit`.
double nice_step(double limit) {
  if (!(limit > 0)) return 1;
  double p = std::pow(10.0, std::floor(std::log10(limit)));
  for (double f : {5.0, 2.0, 1.0}) {
    if (f * p <= limit) return f * p;
  }
  return p;
}

// --- the page ---------------------------------------------------------------

constexpr double kProfileWidth = 1200;
constexpr double kLeft = 52;
constexpr double kRight = 14;
constexpr double kNamesBottom = 70;
constexpr double kElevationTop = 78, kElevationBottom = 190;
constexpr double kSpeedTop = 204, kSpeedBottom = 356;
constexpr double kTicksTop = 364, kTicksBottom = 396;
constexpr double kCurvesTop = 402, kCurvesBottom = 432;
constexpr double kAxis = 438;
constexpr double kChainageAxis = 466;  // the optional chainage labels, under the km
constexpr double kProfileHeight = 476;

class Page {
 public:
  explicit Page(const PageModel& m) : m_(m) {
    extent_ = std::max<double>({static_cast<double>(m.cell_count) * 50.0, static_cast<double>(m.route_length), 1.0});
    link_diagnostics();
  }

  std::string render() {
    head();
    header();
    // A failed build shows its diagnostics first, under the banner.
    if (m_.build.failed) diagnostics_panel();
    o_ += "<main>\n";
    map_panel();
    o_ += "<div id=\"side\">\n";
    details_panel();
    timetable();
    o_ += "</div>\n";
    profile_panel();
    lists();
    if (!m_.build.failed) diagnostics_panel();
    documents_panel();
    o_ += "</main>\n";
    data_script();
    o_ += "<pre id=\"selftest\" hidden></pre>\n<script>\n";
    o_ += kScript;
    o_ += "</script>\n</body>\n</html>\n";
    return std::move(o_);
  }

 private:
  // The element a diagnostic is about: the one read from the diagnostic's
  // line; failing that, the one at its position, else the nearest within
  // 100 m. A curve is found by its line only (its warnings name no
  // position).
  void link_diagnostics() {
    std::map<std::pair<std::string, int>, int32_t> by_line;
    std::multimap<int32_t, int32_t> by_position;
    for (std::size_t i = 0; i < m_.elements.size(); ++i) {
      const Element& e = m_.elements[i];
      if (e.kind != ElementKind::kCurve) by_position.emplace(e.position, static_cast<int32_t>(i));
      if (e.source) by_line.emplace(std::make_pair(e.source->file, e.source->line), static_cast<int32_t>(i));
    }
    for (const Diagnostic& d : m_.diagnostics) {
      int32_t link = -1;
      if (d.line > 0) {
        auto it = by_line.find({d.file, d.line});
        if (it != by_line.end()) link = it->second;
      }
      if (link < 0 && d.position && !by_position.empty()) {
        const auto it = by_position.lower_bound(*d.position);
        int64_t best = 101;
        for (auto at : {it, it == by_position.begin() ? it : std::prev(it)}) {
          if (at == by_position.end()) continue;
          const int64_t off = std::llabs(int64_t{at->first} - int64_t{*d.position});
          if (off < best) best = off, link = at->second;
        }
      }
      diag_links_.push_back(link);
    }
  }

  static std::string attrs(const Element& e, std::size_t index) {
    return std::string(" data-kind=\"") + kind_name(e.kind) + "\" data-cell=\"" + decimal(e.cell) + "\" data-el=\"" +
           decimal(static_cast<int64_t>(index)) + "\"";
  }

  void head() {
    const std::string title = html_text(m_.route_name) + " &middot; train " + html_text(m_.train_number);
    o_ +=
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"";
    o_ += content_security_policy();
    // A served page opens its event stream, to its own server only.
    if (!m_.live_events.empty()) o_ += "; connect-src 'self'";
    o_ += "\">\n<title>";
    o_ += title;
    o_ += "</title>\n<style>\n";
    o_ += kStyle;
    o_ += "</style>\n<script>";
    o_ += kErrorScript;
    o_ += m_.build.failed ? "</script>\n</head>\n<body class=\"failed\">\n" : "</script>\n</head>\n<body>\n";
  }

  // The page runs its own scripts and styles only, each named by its hash:
  // text that escaped escaping could not run.
  static const std::string& content_security_policy() {
    static const std::string policy = [] {
      auto hash = [](const std::string& text) {
        const auto digest = sha256(text);
        std::string named = "'sha256-";
        named += base64(digest.data(), digest.size());
        named += '\'';
        return named;
      };
      std::vector<std::string> scripts = {kErrorScript};
      std::string rest = std::string("\n") + kScript;
      const std::string boundary = "</script>\n<script>";
      for (std::size_t at = rest.find(boundary); at != std::string::npos; at = rest.find(boundary)) {
        scripts.push_back(rest.substr(0, at));
        rest.erase(0, at + boundary.size());
      }
      scripts.push_back(rest);
      std::string out = "default-src 'none'; style-src ";
      out += hash(std::string("\n") + kStyle);
      out += "; script-src";
      for (const std::string& script : scripts) {
        out += ' ';
        out += hash(script);
      }
      out += "; img-src data:";
      return out;
    }();
    return policy;
  }

  void header() {
    o_ += "<header>\n<h1>" + html_text(m_.route_name) + " <span class=\"sub\">train " + html_text(m_.train_number) +
          "</span></h1>\n<p class=\"facts\">";
    o_ += "route length " + num(m_.route_length / 1000.0, 3) + " km &middot; " + decimal(m_.cell_count) +
          " track cells &middot; " + decimal(static_cast<int64_t>(m_.stations.size())) + " stations &middot; " +
          decimal(count(ElementKind::kSignal)) + " signals &middot; " + decimal(count(ElementKind::kLineBoard)) +
          " line boards &middot; " + decimal(count(ElementKind::kSpeedBoard)) + " speed-limit boards &middot; " +
          decimal(count(ElementKind::kSlowdown)) + " slowdowns &middot; " +
          decimal(count(ElementKind::kCurve) + m_.curves_not_shown) + " curves" +
          (m_.from_descriptions ? "" : " &middot; drawn from compiled files") + "</p>\n";
    banner();
    o_ += "<p class=\"checks\">";
    check("route check code", m_.route_check_stored, m_.route_check_computed);
    check("cell check code", m_.cell_check_stored, m_.cell_check_computed);
    const std::size_t shown = m_.diagnostics.size() + static_cast<std::size_t>(m_.diagnostics_not_kept);
    o_ += shown == 0
              ? "<span class=\"ok\">no diagnostics</span>"
              : std::string("<a class=\"") + (m_.build.failed ? "bad" : "warn") + "\" href=\"#diagnostics\">" +
                    decimal(static_cast<int64_t>(shown)) + (shown == 1 ? " diagnostic" : " diagnostics") + "</a>";
    o_ += "</p>\n";
    if (m_.cells_not_drawn > 0) {
      o_ += "<p class=\"facts\" id=\"cells-not-drawn\">only the first " +
            decimal(m_.cell_count + 1 - m_.cells_not_drawn) + " track cells are drawn: " + decimal(m_.cells_not_drawn) +
            " more cells and the " + decimal(m_.elements_not_shown) + " elements in them are not shown</p>\n";
    }
    o_ += "</header>\n";
  }

  // Whether the build failed, in words no one can miss; and a good build
  // of watch after failed ones says so.
  void banner() {
    const BuildState& b = m_.build;
    if (b.failed) {
      const int64_t failing = b.errors > 0 ? b.errors : b.warnings;
      const std::string counted =
          decimal(failing) + (b.errors > 0 ? (b.errors == 1 ? " error" : " errors")
                                           : (b.warnings == 1 ? " warning treated as an error (-Werror)"
                                                              : " warnings treated as errors (-Werror)"));
      o_ += "<p id=\"banner\" class=\"banner failed\" role=\"alert\"><strong>";
      o_ += b.time.empty() ? "These descriptions do not compile: " + counted
                           : "Build failed at " + html_utf8(b.time) + ": " + counted;
      o_ += "</strong> &mdash; ";
      o_ += b.time.empty() ? "compile writes no compiled file until they are mended."
                           : "the compiled files were not updated.";
      o_ += " <a href=\"#diagnostics\" id=\"first-error\">Go to the first error</a></p>\n";
      return;
    }
    if (!b.failed_before.empty()) {
      o_ += "<p id=\"banner\" class=\"banner mended\" role=\"status\"><strong>Built at " + html_utf8(b.time) +
            "</strong> &mdash; the build at " + html_utf8(b.failed_before) +
            " failed; this one compiled and the compiled files are up to date.</p>\n";
    }
  }

  int64_t count(ElementKind k) const {
    return std::count_if(m_.elements.begin(), m_.elements.end(), [k](const Element& e) { return e.kind == k; });
  }

  // A check code stored and computed again; unknown after a failed build,
  // which compiled nothing.
  void check(const char* name, int32_t stored, int32_t computed) {
    const std::string id = name[0] == 'r' ? "route-check" : "cell-check";
    if (m_.build.failed) {
      o_ += "<span class=\"check unknown\" id=\"" + id + "\">" + name + " unknown: nothing was compiled</span> ";
      return;
    }
    const bool same = stored == computed;
    o_ += std::string("<span class=\"check ") + (same ? "ok" : "bad") + "\" id=\"" + id + "\">" + name + " " +
          decimal(stored) + (same ? " &#10003; confirmed" : " &#10007; expected " + decimal(computed)) + "</span> ";
  }

  // --- plan map -------------------------------------------------------------

  // The plan position of metre `metre` on the thinned plan.
  std::optional<std::pair<double, double>> plan_at(double metre) const {
    const auto& p = m_.plan;
    if (p.empty() || metre < static_cast<double>(p.front().metre) || metre > static_cast<double>(p.back().metre)) {
      return std::nullopt;
    }
    auto it = std::lower_bound(p.begin(), p.end(), metre,
                               [](const PlanPoint& a, double v) { return static_cast<double>(a.metre) < v; });
    if (it == p.begin()) return std::make_pair(it->x, it->y);
    const PlanPoint& b = *it;
    const PlanPoint& a = *(it - 1);
    const double t = (metre - static_cast<double>(a.metre)) / static_cast<double>(b.metre - a.metre);
    return std::make_pair(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t);
  }

  // The thinned plan from metre `from` to metre `to` as path data; empty
  // where the plan does not reach or the stretch has no length.
  template <typename U, typename V>
  std::string plan_path(int64_t from, int64_t to, const U& u, const V& v) const {
    if (to <= from || m_.plan.empty()) return {};
    const double a = std::max<double>(static_cast<double>(from), static_cast<double>(m_.plan.front().metre));
    const double b = std::min<double>(static_cast<double>(to), static_cast<double>(m_.plan.back().metre));
    const auto start = plan_at(a), end = plan_at(b);
    if (!(a < b) || !start || !end) return {};
    std::string d = "M" + u(start->first) + " " + v(start->second);
    auto it = std::upper_bound(m_.plan.begin(), m_.plan.end(), a,
                               [](double value, const PlanPoint& p) { return value < static_cast<double>(p.metre); });
    for (; it != m_.plan.end() && static_cast<double>(it->metre) < b; ++it) d += " " + u(it->x) + " " + v(it->y);
    return d + " " + u(end->first) + " " + v(end->second);
  }

  void map_panel() {
    o_ += "<section id=\"map-panel\" class=\"panel\">\n<h2>Line plan</h2>\n";
    if (m_.plan.size() < 2) {
      o_ +=
          "<p class=\"empty\">" +
          (m_.plan_note.empty() ? std::string("No line plan was built for this scenario.") : html_text(m_.plan_note)) +
          "</p>\n</section>\n";
      return;
    }
    double min_x = m_.plan[0].x, max_x = min_x, min_y = m_.plan[0].y, max_y = min_y;
    auto grow = [&](double x, double y) {
      min_x = std::min(min_x, x), max_x = std::max(max_x, x);
      min_y = std::min(min_y, y), max_y = std::max(max_y, y);
    };
    // Fitted to the route; the tail past its end may run out of view.
    const double route_end = has_tail() ? m_.route_length : static_cast<double>(m_.plan.back().metre);
    for (const PlanPoint& p : m_.plan) {
      if (static_cast<double>(p.metre) <= route_end) grow(p.x, p.y);
    }
    if (const auto end = plan_at(route_end)) grow(end->first, end->second);
    const double span = std::max({max_x - min_x, max_y - min_y, 1.0});
    const double scale = 10000.0 / span;  // drawing units per metre
    auto u = [&](double x) { return num((x - min_x) * scale); };
    auto v = [&](double y) { return num((max_y - y) * scale); };
    const double w = (max_x - min_x) * scale, h = (max_y - min_y) * scale;
    const double pad = 400;
    o_ +=
        "<div class=\"map-tools\"><button type=\"button\" data-zoom=\"in\" title=\"zoom in\">+</button>"
        "<button type=\"button\" data-zoom=\"out\" title=\"zoom out\">&minus;</button>"
        "<button type=\"button\" data-zoom=\"home\" title=\"whole line\">&#8962;</button>"
        "<span class=\"hint\">wheel: zoom &middot; drag: pan</span></div>\n";
    // The map takes the line's shape (its height follows the view box),
    // within what a window holds.
    o_ += std::string("<div class=\"map-box\">") + "<svg id=\"map\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"" +
          num(-pad) + " " + num(-pad) + " " + num(w + 2 * pad) + " " + num(h + 2 * pad) + "\" data-metres-per-unit=\"" +
          num(1.0 / scale, 6) + "\" role=\"img\" aria-label=\"line plan\">\n";
    const int64_t first_metre = m_.plan.front().metre, last_metre = m_.plan.back().metre;
    if (has_tail() && m_.route_length < last_metre) {
      o_ += "<path class=\"line\" d=\"" + plan_path(first_metre, m_.route_length, u, v) + "\"/>\n";
      o_ += "<path class=\"line tail\" d=\"" + plan_path(m_.route_length, last_metre, u, v) +
            "\"><title>tail: past the route's end</title></path>\n";
    } else {
      o_ += "<path class=\"line\" d=\"M";
      for (std::size_t i = 0; i < m_.plan.size(); ++i) {
        o_ += (i == 0 ? "" : " ") + u(m_.plan[i].x) + "," + v(m_.plan[i].y);
      }
      o_ += "\"/>\n";
    }
    o_ += "<g class=\"kms\">";
    const double last = std::min(static_cast<double>(last_metre), route_end);
    const double step = std::max(1000.0, nice_step(last / 8.0 / 1000.0) * 1000.0);
    std::string labels;
    for (double km = 0; km <= last; km += step) {
      auto at = plan_at(km);
      if (!at) continue;
      o_ += "<path class=\"kt\" d=\"M" + u(at->first) + " " + v(at->second) + "h0\"/>";
      labels += "<text class=\"kl\" dx=\"0.6em\" dy=\"1.2em\" x=\"" + u(at->first) + "\" y=\"" + v(at->second) + "\">" +
                num(km / 1000, 0) + "</text>";
    }
    o_ += "</g>\n<g class=\"curves\">\n";
    for (const Curve& c : m_.curves) {
      const std::string d = plan_path(c.start, c.start + c.length, u, v);
      if (d.empty()) continue;
      const auto index = static_cast<std::size_t>(c.element);
      o_ += "<path class=\"mk cv\"" + attrs(m_.elements[index], index) + " d=\"" + d + "\"/>\n";
    }
    o_ += "</g>\n<g class=\"markers\">\n";
    int station_label_count = 0;
    static constexpr ElementKind kOrder[] = {ElementKind::kAbbattimento, ElementKind::kSlowdown,
                                             ElementKind::kLineBoard,    ElementKind::kSpeedBoard,
                                             ElementKind::kSignal,       ElementKind::kStation};
    for (ElementKind k : kOrder) {
      for (std::size_t i = 0; i < m_.elements.size(); ++i) {
        const Element& e = m_.elements[i];
        if (e.kind != k || !m_.element_xy[i]) continue;
        const auto& [x, y] = *m_.element_xy[i];
        o_ += "<path class=\"mk\"" + attrs(e, i) + " d=\"M" + u(x) + " " + v(y) + "h0\"/>\n";
        if (k == ElementKind::kStation) {
          // Names alternate sides, but stay inside the map at its edges.
          const double from_left = (x - min_x) * scale;
          const bool left = from_left > w - 1500 || (station_label_count++ % 2 == 1 && from_left > 1500);
          labels += std::string("<text class=\"sl") + (left ? " left" : "") + "\"" + attrs(e, i) +
                    (left ? " dx=\"-0.7em\"" : " dx=\"0.7em\"") + " dy=\"0.35em\" x=\"" + u(x) + "\" y=\"" + v(y) +
                    "\">" + html_text(e.label) + "</text>";
        }
      }
    }
    if (has_tail()) {
      if (const auto end = plan_at(m_.route_length)) {
        o_ += "<path class=\"route-end\" id=\"map-route-end\" d=\"M" + u(end->first) + " " + v(end->second) +
              "h0\"><title>route end, " + metres_text(m_.route_length) + "</title></path>\n";
        labels += "<text class=\"re\" dx=\"0.8em\" dy=\"1.4em\" x=\"" + u(end->first) + "\" y=\"" + v(end->second) +
                  "\">route end</text>";
      }
    }
    o_ += "</g>\n<g class=\"labels\">" + labels + "</g>\n</svg>\n";
    o_ +=
        "<div class=\"scale\"><div class=\"scale-bar\" id=\"scale-bar\"></div><span id=\"scale-text\"></span></div>"
        "</div>\n";
    legend_map();
    o_ += "</section>\n";
  }

  void legend_map() {
    o_ += "<p class=\"legend\">";
    for (PageKind kind : kPageKinds) {
      const CellKindInfo& row = page_kind_info(kind);
      o_ += std::string("<span class=\"lg lg-") + row.data_kind + "\"></span>" + row.legend + " ";
    }
    o_ += "&middot; numbers along the line: km from the route start</p>\n";
  }

  void details_panel() {
    o_ +=
        "<aside id=\"details-panel\" class=\"panel\">\n<h2>Details</h2>\n<div id=\"details\" aria-live=\"polite\">"
        "<p class=\"empty\">Point at or click an element in the map, the profile or the lists.</p></div>\n</aside>\n";
  }

  // --- profile ----------------------------------------------------------------

  double px(double metres) const {
    metres = std::clamp(metres, 0.0, extent_);
    return kLeft + metres / extent_ * (kProfileWidth - kLeft - kRight);
  }

  void profile_panel() {
    o_ += "<section id=\"profile-panel\" class=\"panel\">\n<h2>Profile and speed limits</h2>\n";
    if (m_.gradient.empty()) {
      o_ += "<p class=\"empty\">No track cells were built for this scenario.</p>\n</section>\n";
      return;
    }
    o_ += "<div class=\"profile-box\"><svg id=\"profile\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " +
          num(kProfileWidth, 0) + " " + num(kProfileHeight, 0) + "\" role=\"img\" aria-label=\"profile\">\n";
    tail();
    elevation();
    speeds();
    ticks();
    curves();
    axis();
    route_end();
    o_ += "</svg></div>\n";
    o_ +=
        "<p class=\"legend\"><svg class=\"key\" viewBox=\"0 0 30 6\"><line class=\"rank-a\" x1=\"0\" y1=\"3\" "
        "x2=\"30\" y2=\"3\"/></svg>rank A <svg class=\"key\" viewBox=\"0 0 30 6\"><line class=\"rank-b\" x1=\"0\" "
        "y1=\"3\" x2=\"30\" y2=\"3\"/></svg>rank B <svg class=\"key\" viewBox=\"0 0 30 6\"><line class=\"rank-c\" "
        "x1=\"0\" y1=\"3\" x2=\"30\" y2=\"3\"/></svg>rank C <svg class=\"key\" viewBox=\"0 0 30 6\"><line "
        "class=\"train-limit\" x1=\"0\" y1=\"3\" x2=\"30\" y2=\"3\"/></svg>train's limit <span class=\"lg "
        "lg-slowdown\"></span>slowdown <span class=\"lg lg-montagna\"></span>montagna span <span class=\"lg "
        "lg-curve\"></span>curve: right above the line, left below, higher for a tighter class &middot; A, B and C "
        "are drawn 2 and 4 px apart where they coincide";
    if (m_.has_chainage) {
      o_ += " &middot; <label><input type=\"checkbox\" id=\"chainage-toggle\" checked> chainage axis</label>";
    }
    o_ += "</p>\n</section>\n";
  }

  // Cells up to the last one the gradient records filled; the cells past
  // it hold a zero byte, which is no gradient anyone gave.
  std::size_t filled_cells() const {
    std::size_t n = m_.gradient.size();
    while (n > 1 && m_.gradient[n - 1] == -100) --n;
    return n;
  }

  void elevation() {
    const std::vector<int16_t> g(m_.gradient.begin(),
                                 m_.gradient.begin() + static_cast<std::ptrdiff_t>(filled_cells()));
    std::vector<std::pair<double, double>> points;  // metres, elevation
    double e = 0, low = 0, high = 0;
    points.emplace_back(0, 0);
    for (std::size_t i = 0; i < g.size(); ++i) {
      e += g[i] / 1000.0 * 50.0;
      low = std::min(low, e), high = std::max(high, e);
      const bool change = i + 1 == g.size() || g[i + 1] != g[i];
      if (change) points.emplace_back(static_cast<double>(i + 1) * 50.0, e);
    }
    const double range = std::max(high - low, 10.0);
    auto y = [&](double elevation) {
      return kElevationBottom - (elevation - low) / range * (kElevationBottom - kElevationTop);
    };
    // Montagna spans behind the profile.
    const auto& mt = m_.montagna_type;
    for (std::size_t i = 0; i < mt.size();) {
      if (mt[i] == 0) {
        ++i;
        continue;
      }
      std::size_t j = i;
      while (j < mt.size() && mt[j] == mt[i]) ++j;
      o_ += "<rect class=\"montagna\" x=\"" + num(px(i * 50.0)) + "\" y=\"" + num(kElevationTop) + "\" width=\"" +
            num(std::max(px(j * 50.0) - px(i * 50.0), 0.5)) + "\" height=\"" + num(kElevationBottom - kElevationTop) +
            "\"><title>montagna type " + decimal(mt[i]) + ", " + num(i * 0.05, 2) + " to " + num(j * 0.05, 2) +
            " km</title></rect>\n";
      i = j;
    }
    std::string line;
    for (const auto& [m, el] : points) line += num(px(m)) + "," + num(y(el)) + " ";
    o_ += "<polygon class=\"ground\" points=\"" + num(px(0)) + "," + num(kElevationBottom) + " " + line +
          num(px(points.back().first)) + "," + num(kElevationBottom) + "\"/>\n";
    o_ += "<polyline class=\"elevation\" points=\"" + line + "\"/>\n";
    o_ += "<text class=\"band\" x=\"4\" y=\"" + num(kElevationTop + 10) + "\">elevation</text>";
    o_ += "<text class=\"scale-label\" x=\"" + num(kLeft - 4) + "\" y=\"" + num(kElevationTop + 4) + "\">" +
          num(high, 0) + " m</text><text class=\"scale-label\" x=\"" + num(kLeft - 4) + "\" y=\"" +
          num(kElevationBottom) + "\">" + num(low, 0) + " m</text>\n";
    // Gradient labels where a gradient of some length begins.
    double at = 0;
    for (std::size_t i = 1; i < points.size(); ++i) {
      const double len = points[i].first - at;
      const double grad = (points[i].second - points[i - 1].second) / len * 1000.0;
      if (px(points[i].first) - px(at) > 30 && std::fabs(grad) > 0.01) {
        o_ += "<text class=\"grad\" x=\"" + num((px(at) + px(points[i].first)) / 2) + "\" y=\"" +
              num(std::min(y(points[i].second), y(points[i - 1].second)) - 3) + "\">" + num(grad, 0) + "&#8240;</text>";
      }
      at = points[i].first;
    }
    o_ += "\n";
  }

  void speeds() {
    int32_t top = 40;
    for (uint8_t c : m_.speed_code) top = std::max<int32_t>(top, c * 5);
    for (const auto& steps : m_.speed_steps) {
      for (const SpeedStep& s : steps) top = std::max(top, s.speed);
    }
    for (const Slowdown& s : m_.slowdowns) top = std::max(top, s.speed);
    top = std::min<int32_t>((top + 19) / 20 * 20, 1300);
    auto y = [&](double kmh) {
      kmh = std::clamp(kmh, 0.0, static_cast<double>(top));
      return kSpeedBottom - kmh / top * (kSpeedBottom - kSpeedTop);
    };
    for (int32_t v = 0; v <= top; v += top > 200 ? 50 : 20) {
      o_ += "<line class=\"grid\" x1=\"" + num(kLeft) + "\" x2=\"" + num(kProfileWidth - kRight) + "\" y1=\"" +
            num(y(v)) + "\" y2=\"" + num(y(v)) + "\"/><text class=\"scale-label\" x=\"" + num(kLeft - 4) + "\" y=\"" +
            num(y(v) + 3) + "\">" + decimal(v) + "</text>";
    }
    o_ += "<text class=\"band\" x=\"4\" y=\"" + num(kSpeedTop + 10) + "\">km/h</text>\n";
    // The train's own limit, cell by cell.
    std::string train;
    const std::vector<uint8_t> sc(m_.speed_code.begin(),
                                  m_.speed_code.begin() + static_cast<std::ptrdiff_t>(filled_cells()));
    for (std::size_t i = 0; i < sc.size(); ++i) {
      if (i == 0 || sc[i] != sc[i - 1]) {
        if (i > 0) train += num(px(i * 50.0)) + "," + num(y(sc[i - 1] * 5)) + " ";
        train += num(px(i * 50.0)) + "," + num(y(sc[i] * 5)) + " ";
      }
    }
    if (!sc.empty()) train += num(px(sc.size() * 50.0)) + "," + num(y(sc.back() * 5));
    o_ += "<polyline class=\"train-limit\" points=\"" + train + "\"/>\n";
    static const char* kRankClass[3] = {"rank-a", "rank-b", "rank-c"};
    for (int r = 0; r < 3; ++r) {
      const auto& steps = m_.speed_steps[r];
      if (steps.empty()) continue;
      const double shift = 2.0 * r;
      std::string pts;
      for (std::size_t i = 0; i < steps.size(); ++i) {
        const double x0 = px(steps[i].position);
        const double x1 = i + 1 < steps.size() ? px(steps[i + 1].position) : px(extent_);
        const double yy = y(steps[i].speed) + shift;
        pts += num(x0) + "," + num(yy) + " " + num(x1) + "," + num(yy) + " ";
      }
      o_ += "<polyline class=\"" + std::string(kRankClass[r]) + "\" points=\"" + pts + "\"><title>rank " +
            std::string(1, static_cast<char>('A' + r)) + "</title></polyline>\n";
    }
    for (const Slowdown& s : m_.slowdowns) {
      const Element& e = m_.elements[static_cast<std::size_t>(s.element)];
      const double x0 = px(s.start), x1 = std::max(px(s.end), x0 + 2);
      o_ += "<rect class=\"pk slow\"" + attrs(e, static_cast<std::size_t>(s.element)) + " x=\"" + num(x0) + "\" y=\"" +
            num(y(s.speed) - 3) + "\" width=\"" + num(x1 - x0) + "\" height=\"6\"/>\n";
    }
    // Adhesion changes, as small labelled marks on the bottom of the band.
    const std::vector<uint8_t> ad(m_.adhesion.begin(),
                                  m_.adhesion.begin() + static_cast<std::ptrdiff_t>(filled_cells()));
    for (std::size_t i = 0; i < ad.size(); ++i) {
      if (i > 0 && ad[i] == ad[i - 1]) continue;
      if (i + 2 >= ad.size() && i > 0) continue;
      o_ += "<text class=\"adhesion\" x=\"" + num(px(i * 50.0) + 2) + "\" y=\"" + num(kSpeedBottom - 3) + "\">adh " +
            decimal(ad[i]) + "</text><line class=\"adh\" x1=\"" + num(px(i * 50.0)) + "\" x2=\"" + num(px(i * 50.0)) +
            "\" y1=\"" + num(kSpeedBottom - 12) + "\" y2=\"" + num(kSpeedBottom) + "\"/>";
    }
    o_ += "\n";
  }

  // The cells past the route's end, which the compile adds to every route:
  // shaded and named, so that no one takes them for the route.
  bool has_tail() const { return m_.route_length > 0 && m_.route_length < extent_; }

  void tail() {
    if (!has_tail()) return;
    const double x0 = px(m_.route_length), x1 = px(extent_);
    o_ += "<rect class=\"tail\" x=\"" + num(x0) + "\" y=\"" + num(kNamesBottom) + "\" width=\"" + num(x1 - x0) +
          "\" height=\"" + num(kAxis - kNamesBottom) + "\"><title>tail: the " +
          metres_text(static_cast<int64_t>(extent_) - m_.route_length) +
          " the compile adds past the route's end</title></rect><text class=\"tail-label\" x=\"" + num((x0 + x1) / 2) +
          "\" y=\"" + num(kElevationTop + 24) + "\">tail</text>\n";
  }

  void route_end() {
    if (!has_tail()) return;
    const double x = px(m_.route_length);
    o_ += "<line class=\"route-end\" id=\"route-end\" x1=\"" + num(x) + "\" x2=\"" + num(x) + "\" y1=\"" +
          num(kNamesBottom) + "\" y2=\"" + num(kAxis + 4) + "\"><title>route end, " + metres_text(m_.route_length) +
          "</title></line><text class=\"route-end-label\" x=\"" + num(x - 3) + "\" y=\"" + num(kElevationTop + 10) +
          "\">route end</text>\n";
  }

  void ticks() {
    o_ += "<text class=\"band\" x=\"4\" y=\"" + num(kTicksTop + 10) + "\">elements</text>\n";
    for (std::size_t i = 0; i < m_.elements.size(); ++i) {
      const Element& e = m_.elements[i];
      if (e.kind == ElementKind::kSlowdown || e.kind == ElementKind::kCurve) continue;
      const double x = px(e.position);
      double y0 = kTicksTop, y1 = kTicksBottom;
      switch (e.kind) {
        case ElementKind::kStation: y0 = kNamesBottom; break;
        case ElementKind::kSignal: y0 = kTicksTop + 8; break;
        case ElementKind::kAbbattimento: y0 = kTicksBottom - 6; break;
        default: y0 = kTicksTop + 16; break;
      }
      o_ += "<line class=\"pk\"" + attrs(e, i) + " x1=\"" + num(x) + "\" x2=\"" + num(x) + "\" y1=\"" + num(y0) +
            "\" y2=\"" + num(y1) + "\"/>\n";
      if (e.kind == ElementKind::kStation) {
        o_ += "<text class=\"pname\"" + attrs(e, i) + " transform=\"translate(" + num(x) + " " + num(kNamesBottom - 2) +
              ") rotate(-40)\">" + html_text(e.label) + "</text>\n";
      }
    }
  }

  // The curves as a band: right curves above its middle, left ones below,
  // the taller the tighter the class.
  void curves() {
    const double middle = (kCurvesTop + kCurvesBottom) / 2;
    o_ += "<text class=\"band\" x=\"4\" y=\"" + num(middle + 3) + "\">curves</text><line class=\"grid\" x1=\"" +
          num(kLeft) + "\" x2=\"" + num(kProfileWidth - kRight) + "\" y1=\"" + num(middle) + "\" y2=\"" + num(middle) +
          "\"/>\n";
    for (const Curve& c : m_.curves) {
      const auto index = static_cast<std::size_t>(c.element);
      const double x0 = px(static_cast<double>(c.start));
      const double x1 = std::max(px(static_cast<double>(c.start + std::max<int64_t>(c.length, 0))), x0 + 1.5);
      const double h = (middle - kCurvesTop) * (c.klass > 0 ? c.klass / 6.0 : 0.5);
      o_ += "<rect class=\"pk cv\"" + attrs(m_.elements[index], index) + " x=\"" + num(x0) + "\" y=\"" +
            num(c.side < 0 ? middle : middle - h) + "\" width=\"" + num(x1 - x0) + "\" height=\"" + num(h) + "\"/>\n";
    }
  }

  void axis() {
    const double step = nice_step(extent_ / 1000.0 / 12.0);
    o_ += "<line class=\"axis\" x1=\"" + num(kLeft) + "\" x2=\"" + num(kProfileWidth - kRight) + "\" y1=\"" +
          num(kAxis) + "\" y2=\"" + num(kAxis) + "\"/>";
    for (double km = 0; km * 1000 <= extent_; km += step) {
      const double x = px(km * 1000);
      o_ += "<line class=\"axis\" x1=\"" + num(x) + "\" x2=\"" + num(x) + "\" y1=\"" + num(kAxis) + "\" y2=\"" +
            num(kAxis + 4) + "\"/><text class=\"km\" x=\"" + num(x) + "\" y=\"" + num(kAxis + 15) + "\">" +
            num(km, step < 1 ? 1 : 0) + "</text>";
    }
    o_ += "<text class=\"band\" x=\"4\" y=\"" + num(kAxis + 15) + "\">km</text>\n";
    chainage_axis(step);
  }

  // Under the km from the route's start, the chainage there, at the same
  // ticks; a dash where no system covers the position, and a mark where a
  // system starts (the count jumps there). The legend's box hides it.
  void chainage_axis(double step) {
    if (!m_.has_chainage) return;
    o_ += "<g id=\"chainage-axis\"><text class=\"band\" x=\"4\" y=\"" + num(kChainageAxis) + "\">chainage</text>";
    for (double km = 0; km * 1000 <= extent_; km += step) {
      const auto chainage = chainage_at(m_.chainage_systems, static_cast<int64_t>(std::llround(km * 1000)));
      o_ += "<text class=\"km\" x=\"" + num(px(km * 1000)) + "\" y=\"" + num(kChainageAxis) + "\">" +
            (chainage ? num(static_cast<double>(*chainage) / 1000.0, 1) : std::string("&ndash;")) + "</text>";
    }
    for (const ChainageSystem& system : m_.chainage_systems) {
      if (!is_set(system)) continue;
      if (system.start < 0 || system.start > extent_) continue;
      const double x = px(system.start);
      o_ += "<line class=\"axis\" x1=\"" + num(x) + "\" x2=\"" + num(x) + "\" y1=\"" + num(kAxis + 18) + "\" y2=\"" +
            num(kChainageAxis + 4) + "\"><title>a chainage system starts at " + metres_text(system.start) +
            "</title></line>";
    }
    o_ += "</g>\n";
  }

  // --- lists ------------------------------------------------------------------

  // The description file line, its file named in the tooltip and details.
  static std::string source_cell(const Element& e) {
    if (!e.source) return "<td class=\"n src\">&ndash;</td>";
    return "<td class=\"n src\" title=\"" + html_utf8(source_text(e)) + "\">" + decimal(e.source->line) + "</td>";
  }

  void row_start(std::size_t index) { o_ += "<tr" + attrs(m_.elements[index], index) + " tabindex=\"0\">"; }

  static std::string td(const std::string& html, const char* cls = nullptr) {
    return cls ? std::string("<td class=\"") + cls + "\">" + html + "</td>" : "<td>" + html + "</td>";
  }

  // The chainage in km, or a dash with the reason as its title.
  static std::string chainage_cell(const std::optional<int64_t>& chainage) {
    if (!chainage) return std::string("<td class=\"n\" title=\"") + kNoChainage + "\">&ndash;</td>";
    return "<td class=\"n\">" + chainage_km_text(*chainage) + "</td>";
  }

  void timetable() {
    o_ += "<section id=\"timetable\" class=\"panel\">\n";
    o_ +=
        "<div class=\"list\" data-list=\"timetable\"><h2>Timetable</h2>\n<table><thead><tr><th>station</th><th "
        "class=\"n\">km from start</th>"
        "<th class=\"n\">chainage</th><th class=\"n\">time</th><th class=\"n\">kind</th></tr></thead><tbody>\n";
    for (const Station& s : m_.stations) {
      row_start(static_cast<std::size_t>(s.element));
      o_ += td(html_text(s.name)) + td(num(s.position / 1000.0, 3), "n") + chainage_cell(s.chainage) +
            td(clock_text(s.time), "n") + td(decimal(s.kind), "n") + "</tr>\n";
    }
    if (m_.stations.empty()) o_ += "<tr><td colspan=\"5\" class=\"empty\">no stations</td></tr>\n";
    o_ += "</tbody></table></div>\n";

    o_ += "</section>\n";
  }

  void lists() {
    o_ += "<section id=\"lists\" class=\"panel\">\n";
    o_ +=
        "<div class=\"list\"><h2>Signals</h2>\n<table><thead><tr><th class=\"n\">km from start</th><th "
        "class=\"n\">chainage</th><th class=\"n\">cell</th>"
        "<th>aspects, code, time</th><th class=\"n\">line</th></tr></thead><tbody>\n";
    int64_t signals = 0;
    for (std::size_t i = 0; i < m_.elements.size(); ++i) {
      const Element& e = m_.elements[i];
      if (e.kind != ElementKind::kSignal) continue;
      ++signals;
      row_start(i);
      o_ += td(num(e.position / 1000.0, 3), "n") + chainage_cell(e.chainage) + td(decimal(e.cell), "n") +
            td(html_text(e.summary)) + source_cell(e) + "</tr>\n";
    }
    if (signals == 0) o_ += "<tr><td colspan=\"5\" class=\"empty\">no signals</td></tr>\n";
    o_ += "</tbody></table></div>\n";

    o_ +=
        "<div class=\"list\"><h2>Boards and slowdowns</h2>\n<table><thead><tr><th class=\"n\">km from start</th><th "
        "class=\"n\">chainage</th><th>kind</th>"
        "<th>text</th><th class=\"n\">line</th></tr></thead><tbody>\n";
    int64_t boards = 0;
    for (std::size_t i = 0; i < m_.elements.size(); ++i) {
      const Element& e = m_.elements[i];
      const char* what = e.kind == ElementKind::kLineBoard    ? "line board"
                         : e.kind == ElementKind::kSpeedBoard ? "speed limit A/B/C"
                         : e.kind == ElementKind::kSlowdown   ? "slowdown"
                                                              : nullptr;
      if (what == nullptr) continue;
      ++boards;
      row_start(i);
      o_ += td(num(e.position / 1000.0, 3), "n") + chainage_cell(e.chainage) + td(what) +
            td(html_text(e.label), "text") + source_cell(e) + "</tr>\n";
    }
    if (boards == 0) o_ += "<tr><td colspan=\"5\" class=\"empty\">no boards</td></tr>\n";
    o_ += "</tbody></table></div>\n";

    curve_list();

    o_ += "</section>\n";
  }

  // The diagnostics as the terminal printed them, one row each with its
  // note lines; sortable by file and line.
  void diagnostics_panel() {
    o_ +=
        "<section id=\"diagnostics\" class=\"panel\">\n<details open><summary><h2>Diagnostics</h2> <span "
        "class=\"legend\">as the terminal prints them &middot; sort <button type=\"button\" "
        "data-sort=\"place\">by file and line</button> <button type=\"button\" data-sort=\"order\">as "
        "found</button></span></summary>\n<div class=\"list\"><table><thead><tr><th>place</th><th>severity</th>"
        "<th>message</th></tr></thead><tbody>\n";
    const std::size_t listed = std::min(m_.diagnostics.size(), kListedDiagnostics);
    for (std::size_t i = 0; i < listed; ++i) {
      const Diagnostic& d = m_.diagnostics[i];
      o_ += "<tr class=\"diag " + html_text(d.severity) + "\" data-diag=\"" + decimal(static_cast<int64_t>(i)) +
            "\" data-link=\"" + decimal(diag_links_[i]) + "\" data-file=\"" + html_utf8(display_utf8(d.file)) +
            "\" data-line=\"" + decimal(d.line) + "\"";
      if (!d.source_line.empty()) o_ += " data-text=\"" + html_text(d.source_line) + "\"";
      o_ += " tabindex=\"0\"><td class=\"src place\">" + html_utf8(display_utf8(d.place)) + ":</td><td class=\"sev\">" +
            html_text(d.severity) + ":</td><td><span class=\"dm\">" + html_utf8(display_utf8(d.message)) +
            (d.tag.empty() ? "" : " [" + html_utf8(d.tag) + "]") + "</span>";
      for (const DiagnosticNote& n : d.notes) {
        o_ += "<div class=\"note\"><span class=\"src\">" + html_utf8(display_utf8(n.place)) +
              ":</span> note: " + html_utf8(display_utf8(n.message)) + "</div>";
      }
      o_ += "</td></tr>\n";
    }
    if (listed < m_.diagnostics.size() + static_cast<std::size_t>(m_.diagnostics_not_kept)) {
      const auto rest = static_cast<int64_t>(m_.diagnostics.size() - listed) + m_.diagnostics_not_kept;
      o_ += "<tr><td colspan=\"3\" class=\"empty\" id=\"diagnostics-not-listed\">" + decimal(rest) +
            (rest == 1 ? " more diagnostic is" : " more diagnostics are") +
            (m_.diagnostics_not_kept > 0 ? " not listed here; the terminal output lists the first " +
                                               decimal(static_cast<int64_t>(m_.diagnostics.size()))
                                         : std::string(" not listed here; the terminal output lists every one")) +
            "</td></tr>\n";
    }
    if (m_.diagnostics.empty()) {
      o_ += std::string("<tr><td colspan=\"3\" class=\"empty ok\">none: ") +
            (m_.from_descriptions ? "the scenario compiled cleanly" : "the compiled files decoded cleanly") +
            "</td></tr>\n";
    }
    o_ += "</tbody></table></div></details>\n</section>\n";
  }

  // The driver documents as fixed-width text, each folded away until opened.
  void documents_panel() {
    if (m_.documents.empty()) return;
    o_ += "<section id=\"documents\" class=\"panel\">\n<h2>Driver documents</h2>\n";
    for (const DocumentText& d : m_.documents) {
      o_ += "<details class=\"document\"><summary>" + html_text(d.title) + " <span class=\"src\">" + html_text(d.file) +
            "</span></summary>\n<pre>" + html_text(d.text) + "</pre></details>\n";
    }
    o_ += "</section>\n";
  }

  void curve_list() {
    o_ +=
        "<div class=\"list\" id=\"curves\"><h2>Curves</h2>\n<table><thead><tr><th class=\"n\">km from start</th>"
        "<th class=\"n\">chainage</th><th class=\"n\">length</th><th>side</th><th class=\"n\">class</th>"
        "<th class=\"n\">radius</th><th class=\"n\">line</th></tr></thead><tbody>\n";
    for (const Curve& c : m_.curves) {
      const auto index = static_cast<std::size_t>(c.element);
      const Element& e = m_.elements[index];
      row_start(index);
      o_ += td(num(static_cast<double>(c.start) / 1000.0, 3), "n") + chainage_cell(e.chainage) +
            td(metres_text(c.length), "n") + td(c.side < 0 ? "left" : "right") +
            td(c.klass > 0 ? decimal(c.klass) : std::string("none"), "n") + td(html_utf8(value_of(e, "radius")), "n") +
            source_cell(e) + "</tr>\n";
    }
    if (m_.curves_not_shown > 0) {
      o_ += "<tr><td colspan=\"7\" class=\"empty\" id=\"curves-not-shown\">" + decimal(m_.curves_not_shown) +
            (m_.curves_not_shown == 1 ? " more curve further along the line is not shown"
                                      : " more curves further along the line are not shown") +
            "</td></tr>\n";
    }
    if (m_.curves.empty() && m_.curves_not_shown == 0) {
      o_ += std::string("<tr><td colspan=\"7\" class=\"empty\">") +
            (m_.plan.empty() ? "no curves: no line plan" : "no curves: the line is straight") + "</td></tr>\n";
    }
    o_ += "</tbody></table></div>\n";
  }

  static std::string value_of(const Element& e, const std::string& key) {
    for (const auto& [k, v] : e.values) {
      if (k == key) return v;
    }
    return {};
  }

  // --- data for the script --------------------------------------------------

  void data_script() {
    o_ += std::string("<script type=\"application/json\" id=\"view-data\">{\"sources\":") +
          (m_.from_descriptions ? "true" : "false") + ",\"elements\":[";
    if (!m_.live_events.empty()) {
      o_.insert(o_.size() - std::strlen(",\"elements\":["),
                ",\"live\":{\"events\":" + json_string(m_.live_events) + ",\"build\":" + decimal(m_.live_build) + "}");
    }
    for (std::size_t i = 0; i < m_.elements.size(); ++i) {
      const Element& e = m_.elements[i];
      o_ += (i ? ",\n" : "\n") + std::string("{\"k\":\"") + kind_name(e.kind) + "\",\"c\":" + decimal(e.cell) +
            ",\"p\":" + decimal(e.position) + ",\"n\":" + json_string(page_text_utf8(e.label)) +
            ",\"s\":" + json_string(source_text(e)) + ",\"v\":[";
      for (std::size_t k = 0; k < e.values.size(); ++k) {
        o_ += k ? ",[" : "[";
        o_ += json_string(e.values[k].first);
        o_ += ',';
        o_ += json_string(e.values[k].second);
        o_ += ']';
      }
      o_ += "]}";
    }
    // The diagnostics are in their table only: the script reads them there.
    o_ += "]}</script>\n";
  }

  static const char* const kStyle;
  static const char* const kScript;
  static constexpr const char* kErrorScript =
      "window.viewErrors=[];window.addEventListener('error',function(e){"
      "window.viewErrors.push(String(e.message||e));});";

  const PageModel& m_;
  double extent_;
  std::vector<int32_t> diag_links_;
  // The page lists this many diagnostics in full and counts the rest: a
  // file with a mistake on every line still makes a page a browser opens.
  static constexpr std::size_t kListedDiagnostics = 500;
  std::string o_;
};

// The page's style and scripts live in page.css, page.js and
// page_selftest.js beside this file and are built into the program
// (page_assets.h is generated from them).
const char* const Page::kStyle = page_assets::kStyle;
const char* const Page::kScript = page_assets::kScript;

}  // namespace

std::string render_page(const PageModel& model) { return Page(model).render(); }

}  // namespace sb::view
