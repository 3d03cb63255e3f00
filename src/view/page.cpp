#include "view/page.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string_view>

#include "base/sha256.h"
#include "base/encoding.h"
#include "base/text_format.h"

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
constexpr double kAxis = 400;
constexpr double kProfileHeight = 424;

class Page {
 public:
  explicit Page(const PageModel& m) : m_(m) {
    extent_ = std::max<double>({static_cast<double>(m.cell_count) * 50.0, static_cast<double>(m.route_length), 1.0});
    link_diagnostics();
  }

  std::string render() {
    head();
    header();
    o_ += "<main>\n";
    map_panel();
    o_ += "<div id=\"side\">\n";
    details_panel();
    timetable();
    o_ += "</div>\n";
    profile_panel();
    lists();
    o_ += "</main>\n";
    data_script();
    o_ += "<pre id=\"selftest\" hidden></pre>\n<script>\n";
    o_ += kScript;
    o_ += "</script>\n</body>\n</html>\n";
    return std::move(o_);
  }

 private:
  // The element a diagnostic is about: one in its cell, else the nearest
  // within two cells.
  void link_diagnostics() {
    std::multimap<int32_t, int32_t> by_cell;
    for (std::size_t i = 0; i < m_.elements.size(); ++i) by_cell.emplace(m_.elements[i].cell, static_cast<int32_t>(i));
    for (const Diagnostic& d : m_.diagnostics) {
      int32_t link = -1;
      if (d.cell) {
        for (int32_t off : {0, -1, 1, -2, 2}) {
          auto it = by_cell.find(*d.cell + off);
          if (it != by_cell.end()) {
            link = it->second;
            break;
          }
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
    o_ += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
          "<meta http-equiv=\"Content-Security-Policy\" content=\"";
    o_ += content_security_policy();
    o_ += "\">\n<title>";
    o_ += title;
    o_ += "</title>\n<style>\n";
    o_ += kStyle;
    o_ += "</style>\n<script>";
    o_ += kErrorScript;
    o_ += "</script>\n</head>\n<body>\n";
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
          decimal(count(ElementKind::kSlowdown)) + " slowdowns" +
          (m_.from_descriptions ? "" : " &middot; drawn from compiled files") + "</p>\n<p class=\"checks\">";
    check("route check code", m_.route_check_stored, m_.route_check_computed);
    check("cell check code", m_.cell_check_stored, m_.cell_check_computed);
    std::size_t errors = m_.diagnostics.size();
    o_ += errors == 0 ? "<span class=\"ok\">no diagnostics</span>"
                      : "<a class=\"bad\" href=\"#diagnostics\">" + decimal(static_cast<int64_t>(errors)) +
                            (errors == 1 ? " diagnostic" : " diagnostics") + "</a>";
    o_ += "</p>\n</header>\n";
  }

  int64_t count(ElementKind k) const {
    return std::count_if(m_.elements.begin(), m_.elements.end(), [k](const Element& e) { return e.kind == k; });
  }

  void check(const char* name, int32_t stored, int32_t computed) {
    const bool same = stored == computed;
    o_ += std::string("<span class=\"check ") + (same ? "ok" : "bad") + "\" id=\"" +
          (name[0] == 'r' ? "route-check" : "cell-check") + "\">" + name + " " + decimal(stored) +
          (same ? " &#10003; confirmed" : " &#10007; expected " + decimal(computed)) + "</span> ";
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

  void map_panel() {
    o_ += "<section id=\"map-panel\" class=\"panel\">\n<h2>Line plan</h2>\n";
    if (m_.plan.size() < 2) {
      o_ += "<p class=\"empty\">" +
            (m_.plan_note.empty() ? std::string("No line plan was built for this scenario.") : html_text(m_.plan_note)) +
            "</p>\n</section>\n";
      return;
    }
    double min_x = m_.plan[0].x, max_x = min_x, min_y = m_.plan[0].y, max_y = min_y;
    auto grow = [&](double x, double y) {
      min_x = std::min(min_x, x), max_x = std::max(max_x, x);
      min_y = std::min(min_y, y), max_y = std::max(max_y, y);
    };
    for (const PlanPoint& p : m_.plan) grow(p.x, p.y);
    const double span = std::max({max_x - min_x, max_y - min_y, 1.0});
    const double scale = 10000.0 / span;  // drawing units per metre
    auto u = [&](double x) { return num((x - min_x) * scale); };
    auto v = [&](double y) { return num((max_y - y) * scale); };
    const double w = (max_x - min_x) * scale, h = (max_y - min_y) * scale;
    const double pad = 400;
    o_ += "<div class=\"map-tools\"><button type=\"button\" data-zoom=\"in\" title=\"zoom in\">+</button>"
          "<button type=\"button\" data-zoom=\"out\" title=\"zoom out\">&minus;</button>"
          "<button type=\"button\" data-zoom=\"home\" title=\"whole line\">&#8962;</button>"
          "<span class=\"hint\">wheel: zoom &middot; drag: pan</span></div>\n";
    o_ += "<div class=\"map-box\"><svg id=\"map\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"" + num(-pad) + " " +
          num(-pad) + " " + num(w + 2 * pad) + " " + num(h + 2 * pad) + "\" data-metres-per-unit=\"" +
          num(1.0 / scale, 6) + "\" role=\"img\" aria-label=\"line plan\">\n";
    o_ += "<path class=\"line\" d=\"M";
    for (std::size_t i = 0; i < m_.plan.size(); ++i) {
      o_ += (i == 0 ? "" : " ") + u(m_.plan[i].x) + "," + v(m_.plan[i].y);
    }
    o_ += "\"/>\n<g class=\"kms\">";
    const double last = static_cast<double>(m_.plan.back().metre);
    const double step = std::max(1000.0, nice_step(last / 12.0 / 1000.0) * 1000.0);
    std::string labels;
    for (double km = 0; km <= last; km += step) {
      auto at = plan_at(km);
      if (!at) continue;
      o_ += "<path class=\"kt\" d=\"M" + u(at->first) + " " + v(at->second) + "h0\"/>";
      labels += "<text class=\"kl\" dx=\"0.6em\" dy=\"1.2em\" x=\"" + u(at->first) + "\" y=\"" + v(at->second) + "\">" + num(km / 1000, 0) +
                "</text>";
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
          const bool left = station_label_count++ % 2 == 1;
          labels += std::string("<text class=\"sl") + (left ? " left" : "") + "\"" + attrs(e, i) +
                    (left ? " dx=\"-0.7em\"" : " dx=\"0.7em\"") + " dy=\"0.35em\" x=\"" + u(x) + "\" y=\"" + v(y) + "\">" +
                    html_text(e.label) + "</text>";
        }
      }
    }
    o_ += "</g>\n<g class=\"labels\">" + labels + "</g>\n</svg>\n";
    o_ += "<div class=\"scale\"><div class=\"scale-bar\" id=\"scale-bar\"></div><span id=\"scale-text\"></span></div>"
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
    o_ += "<aside id=\"details-panel\" class=\"panel\">\n<h2>Details</h2>\n<div id=\"details\" aria-live=\"polite\">"
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
    o_ += "<div class=\"profile-box\"><svg id=\"profile\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + num(kProfileWidth, 0) + " " +
          num(kProfileHeight, 0) + "\" role=\"img\" aria-label=\"profile\">\n";
    elevation();
    speeds();
    ticks();
    axis();
    o_ += "</svg></div>\n";
    o_ += "<p class=\"legend\"><svg class=\"key\" viewBox=\"0 0 30 6\"><line class=\"rank-a\" x1=\"0\" y1=\"3\" "
          "x2=\"30\" y2=\"3\"/></svg>rank A <svg class=\"key\" viewBox=\"0 0 30 6\"><line class=\"rank-b\" x1=\"0\" "
          "y1=\"3\" x2=\"30\" y2=\"3\"/></svg>rank B <svg class=\"key\" viewBox=\"0 0 30 6\"><line class=\"rank-c\" "
          "x1=\"0\" y1=\"3\" x2=\"30\" y2=\"3\"/></svg>rank C <svg class=\"key\" viewBox=\"0 0 30 6\"><line "
          "class=\"train-limit\" x1=\"0\" y1=\"3\" x2=\"30\" y2=\"3\"/></svg>train's limit <span class=\"lg "
          "lg-slowdown\"></span>slowdown <span class=\"lg lg-montagna\"></span>montagna span &middot; A, B and C are "
          "drawn 2 and 4 px apart where they coincide</p>\n</section>\n";
  }

  // Cells up to the last one the gradient records filled; the cells past
  // it hold a zero byte, which is no gradient anyone gave.
  std::size_t filled_cells() const {
    std::size_t n = m_.gradient.size();
    while (n > 1 && m_.gradient[n - 1] == -100) --n;
    return n;
  }

  void elevation() {
    const std::vector<int16_t> g(m_.gradient.begin(), m_.gradient.begin() + static_cast<std::ptrdiff_t>(filled_cells()));
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
              num(std::min(y(points[i].second), y(points[i - 1].second)) - 3) + "\">" + num(grad, 0) +
              "&#8240;</text>";
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
            num(y(v)) + "\" y2=\"" + num(y(v)) + "\"/><text class=\"scale-label\" x=\"" + num(kLeft - 4) +
            "\" y=\"" + num(y(v) + 3) + "\">" + decimal(v) + "</text>";
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
      o_ += "<rect class=\"pk slow\"" + attrs(e, static_cast<std::size_t>(s.element)) + " x=\"" + num(x0) +
            "\" y=\"" + num(y(s.speed) - 3) + "\" width=\"" + num(x1 - x0) + "\" height=\"6\"/>\n";
    }
    // Adhesion changes, as small labelled marks on the bottom of the band.
    const std::vector<uint8_t> ad(m_.adhesion.begin(), m_.adhesion.begin() + static_cast<std::ptrdiff_t>(filled_cells()));
    for (std::size_t i = 0; i < ad.size(); ++i) {
      if (i > 0 && ad[i] == ad[i - 1]) continue;
      if (i + 2 >= ad.size() && i > 0) continue;
      o_ += "<text class=\"adhesion\" x=\"" + num(px(i * 50.0) + 2) + "\" y=\"" + num(kSpeedBottom - 3) +
            "\">adh " + decimal(ad[i]) + "</text><line class=\"adh\" x1=\"" + num(px(i * 50.0)) + "\" x2=\"" +
            num(px(i * 50.0)) + "\" y1=\"" + num(kSpeedBottom - 12) + "\" y2=\"" + num(kSpeedBottom) + "\"/>";
    }
    o_ += "\n";
  }

  void ticks() {
    o_ += "<text class=\"band\" x=\"4\" y=\"" + num(kTicksTop + 10) + "\">elements</text>\n";
    for (std::size_t i = 0; i < m_.elements.size(); ++i) {
      const Element& e = m_.elements[i];
      if (e.kind == ElementKind::kSlowdown) continue;
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
        o_ += "<text class=\"pname\"" + attrs(e, i) + " transform=\"translate(" + num(x) + " " +
              num(kNamesBottom - 2) + ") rotate(-40)\">" + html_text(e.label) + "</text>\n";
      }
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
  }

  // --- lists ------------------------------------------------------------------

  // The description file line, its file named in the tooltip and details.
  static std::string source_cell(const Element& e) {
    if (!e.source) return "<td class=\"n src\">&ndash;</td>";
    return "<td class=\"n src\" title=\"" + html_utf8(source_text(e)) + "\">" + decimal(e.source->line) + "</td>";
  }

  void row_start(std::size_t index) {
    o_ += "<tr" + attrs(m_.elements[index], index) + " tabindex=\"0\">";
  }

  static std::string td(const std::string& html, const char* cls = nullptr) {
    return cls ? std::string("<td class=\"") + cls + "\">" + html + "</td>" : "<td>" + html + "</td>";
  }

  void timetable() {
    o_ += "<section id=\"timetable\" class=\"panel\">\n";
    o_ += "<div class=\"list\" data-list=\"timetable\"><h2>Timetable</h2>\n<table><thead><tr><th>station</th><th class=\"n\">km</th>"
          "<th class=\"n\">time</th><th class=\"n\">kind</th></tr></thead><tbody>\n";
    for (const Station& s : m_.stations) {
      row_start(static_cast<std::size_t>(s.element));
      o_ += td(html_text(s.name)) + td(num(s.position / 1000.0, 3), "n") +
            td(clock_text(s.time), "n") + td(decimal(s.kind), "n") + "</tr>\n";
    }
    if (m_.stations.empty()) o_ += "<tr><td colspan=\"4\" class=\"empty\">no stations</td></tr>\n";
    o_ += "</tbody></table></div>\n";

    o_ += "</section>\n";
  }

  void lists() {
    o_ += "<section id=\"lists\" class=\"panel\">\n";
    o_ += "<div class=\"list\"><h2>Signals</h2>\n<table><thead><tr><th class=\"n\">km</th><th class=\"n\">cell</th>"
          "<th>aspects, code, time</th><th class=\"n\">line</th></tr></thead><tbody>\n";
    int64_t signals = 0;
    for (std::size_t i = 0; i < m_.elements.size(); ++i) {
      const Element& e = m_.elements[i];
      if (e.kind != ElementKind::kSignal) continue;
      ++signals;
      row_start(i);
      o_ += td(num(e.position / 1000.0, 3), "n") + td(decimal(e.cell), "n") + td(html_text(e.summary)) + source_cell(e) +
            "</tr>\n";
    }
    if (signals == 0) o_ += "<tr><td colspan=\"4\" class=\"empty\">no signals</td></tr>\n";
    o_ += "</tbody></table></div>\n";

    o_ += "<div class=\"list\"><h2>Boards and slowdowns</h2>\n<table><thead><tr><th class=\"n\">km</th><th>kind</th>"
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
      o_ += td(num(e.position / 1000.0, 3), "n") + td(what) + td(html_text(e.label), "text") + source_cell(e) +
            "</tr>\n";
    }
    if (boards == 0) o_ += "<tr><td colspan=\"4\" class=\"empty\">no boards</td></tr>\n";
    o_ += "</tbody></table></div>\n";

    o_ += "<div class=\"list\" id=\"diagnostics\"><h2>Diagnostics</h2>\n<table><thead><tr><th>severity</th>"
          "<th class=\"n\">code</th><th>where</th><th>message</th></tr></thead><tbody>\n";
    const std::size_t listed = std::min(m_.diagnostics.size(), kListedDiagnostics);
    for (std::size_t i = 0; i < listed; ++i) {
      const Diagnostic& d = m_.diagnostics[i];
      std::string where = d.file.empty() ? std::string() : display_utf8(d.file) + (d.line > 0 ? ":" + decimal(d.line) : "");
      if (d.cell) where += (where.empty() ? "" : ", ") + std::string("cell ") + decimal(*d.cell);
      o_ += "<tr class=\"diag " + html_text(d.severity) + "\" data-diag=\"" + decimal(static_cast<int64_t>(i)) +
            "\" data-link=\"" + decimal(diag_links_[i]) + "\" tabindex=\"0\">" + td(html_text(d.severity)) +
            td(decimal(d.code), "n") + td(html_utf8(where), "src") + td(html_utf8(display_utf8(d.message))) + "</tr>\n";
    }
    if (listed < m_.diagnostics.size()) {
      const auto rest = static_cast<int64_t>(m_.diagnostics.size() - listed);
      o_ += "<tr><td colspan=\"4\" class=\"empty\" id=\"diagnostics-not-listed\">" + decimal(rest) +
            (rest == 1 ? " more diagnostic is" : " more diagnostics are") +
            " not listed here; the terminal output lists every one</td></tr>\n";
    }
    if (m_.diagnostics.empty()) {
      o_ += std::string("<tr><td colspan=\"4\" class=\"empty ok\">none: ") +
            (m_.from_descriptions ? "the scenario compiled cleanly" : "the compiled files decoded cleanly") +
            "</td></tr>\n";
    }
    o_ += "</tbody></table></div>\n</section>\n";
  }

  // --- data for the script --------------------------------------------------

  void data_script() {
    o_ += std::string("<script type=\"application/json\" id=\"view-data\">{\"sources\":") +
          (m_.from_descriptions ? "true" : "false") + ",\"elements\":[";
    for (std::size_t i = 0; i < m_.elements.size(); ++i) {
      const Element& e = m_.elements[i];
      o_ += (i ? ",\n" : "\n") + std::string("{\"k\":\"") + kind_name(e.kind) + "\",\"c\":" + decimal(e.cell) +
            ",\"p\":" + decimal(e.position) + ",\"n\":" + json_string(page_text_utf8(e.label)) + ",\"s\":" + json_string(source_text(e)) +
            ",\"v\":[";
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

const char* const Page::kStyle = R"CSS(
:root{--ink:#1d1d1b;--muted:#5f6368;--line:#d6d6d0;--paper:#fff;--panel:#fbfbf8;
--a:#0072B2;--b:#E69F00;--c:#009E73;--slow:#D55E00;--signal:#CC79A7;--board:#56B4E9;--mont:#efe4f3}
*{box-sizing:border-box}
body{margin:0;font:14px/1.4 system-ui,-apple-system,"Segoe UI",Roboto,"Helvetica Neue",Arial,sans-serif;color:var(--ink);background:var(--paper)}
header{padding:10px 16px 6px;border-bottom:1px solid var(--line)}
h1{font-size:22px;margin:0}h1 .sub{font-weight:400;color:var(--muted);font-size:16px}
h2{font-size:15px;margin:0 0 6px}h3{font-size:14px;margin:0 0 6px}
.facts{margin:2px 0;color:var(--muted)}.checks{margin:2px 0}
.check{margin-right:14px;padding:1px 6px;border-radius:3px}
.ok{color:#00603f}.check.ok{background:#e3f3ec}.bad{color:#a03000;font-weight:600}.check.bad{background:#fbe3d6}
main{display:grid;grid-template-columns:minmax(0,3fr) minmax(250px,1fr);gap:12px;padding:12px 16px}
.panel{min-width:0}
#map-panel{grid-column:1}
#side{grid-column:2;grid-row:1 / span 2;display:flex;flex-direction:column;gap:12px;min-width:0}
#details-panel{border:1px solid var(--line);border-radius:4px;padding:8px 10px;background:var(--panel)}
#timetable .list{max-height:520px}
#profile-panel{grid-column:1}
#lists{grid-column:1 / -1;display:grid;grid-template-columns:repeat(auto-fit,minmax(420px,1fr));gap:12px}
.map-tools{display:flex;gap:4px;align-items:center;margin-bottom:4px}
.map-tools button{font:inherit;width:30px;height:26px;border:1px solid #aaa;background:#fff;border-radius:3px;cursor:pointer}
.hint{color:var(--muted);font-size:12px;margin-left:6px}
.map-box{position:relative;height:min(370px,55vh);min-height:260px;border:1px solid var(--line);border-radius:4px;background:var(--panel);touch-action:none;overflow:hidden}
#map{display:block;width:100%;height:100%;cursor:grab;user-select:none}
#map.dragging{cursor:grabbing}
#map .line{fill:none;stroke:#3a3a3a;stroke-width:2.5px;stroke-linejoin:round;vector-effect:non-scaling-stroke}
#map .kt{stroke:#3a3a3a;stroke-width:6px;stroke-linecap:round;vector-effect:non-scaling-stroke}
#map .mk{fill:none;stroke-linecap:round;stroke-width:9px;vector-effect:non-scaling-stroke;cursor:pointer}
#map .mk[data-kind=station]{stroke:#000;stroke-width:12px;stroke-linecap:square}
#map .mk[data-kind=signal]{stroke:var(--signal)}
#map .mk[data-kind=line-board]{stroke:var(--board);stroke-width:7px;stroke-linecap:square}
#map .mk[data-kind=speed-board]{stroke:var(--a);stroke-width:8px;stroke-linecap:square}
#map .mk[data-kind=slowdown]{stroke:var(--slow);stroke-width:13px}
#map .mk[data-kind=abbattimento]{stroke:#9a9a9a;stroke-width:5px}
#map .mk.hl{stroke:#000;stroke-width:18px}
#map .labels text{paint-order:stroke;stroke:#fff;stroke-width:3px;stroke-linejoin:round;vector-effect:non-scaling-stroke}
#map .sl{font-weight:600;cursor:pointer}#map .sl.left{text-anchor:end}#map .sl.hl{fill:#a03000}
#map .kl{fill:var(--muted);font-size:.85em}
.scale{position:absolute;left:10px;bottom:8px;font-size:12px;display:flex;align-items:center;gap:6px;background:rgba(255,255,255,.8);padding:2px 4px}
.scale-bar{height:6px;border:2px solid var(--ink);border-top:0;width:100px}
.legend{font-size:12px;color:var(--muted);margin:4px 0}
.lg{display:inline-block;width:10px;height:10px;margin:0 3px 0 8px;vertical-align:-1px;border-radius:50%}
.lg-station{background:#000;border-radius:0}.lg-signal{background:var(--signal)}.lg-line-board{background:var(--board);border-radius:0}
.lg-speed-board{background:var(--a);border-radius:0}.lg-slowdown{background:var(--slow)}.lg-abbattimento{background:#9a9a9a}
.lg-montagna{background:var(--mont);border:1px solid #b9a3c4;border-radius:0}
svg.key{width:30px;height:8px;margin:0 3px 0 8px}
.profile-box{overflow-x:auto}
#profile{display:block;width:100%;min-width:720px;height:auto;border:1px solid var(--line);border-radius:4px;background:var(--paper)}
#profile text{font-size:10px;fill:var(--ink)}
#profile .band{fill:var(--muted);font-style:italic}
#profile .scale-label{text-anchor:end;fill:var(--muted)}
#profile .km{text-anchor:middle}
#profile .grad{text-anchor:middle;fill:var(--muted);font-size:9px}
#profile .montagna{fill:var(--mont)}
#profile .ground{fill:#ece8dc}
#profile .elevation{fill:none;stroke:#6b5b3e;stroke-width:1.5}
#profile .grid{stroke:#eee}
#profile .axis{stroke:var(--ink)}
.train-limit{fill:none;stroke:#9a9a9a;stroke-width:1.2}
.rank-a{fill:none;stroke:var(--a);stroke-width:2.2}
.rank-b{fill:none;stroke:var(--b);stroke-width:2.2;stroke-dasharray:7 4}
.rank-c{fill:none;stroke:var(--c);stroke-width:2.6;stroke-dasharray:2 3}
#profile .slow{fill:var(--slow);fill-opacity:.75;cursor:pointer}
#profile .adhesion{font-size:8px;fill:var(--muted)}
#profile .adh{stroke:var(--muted)}
#profile .pk{stroke-width:1.2;cursor:pointer}
#profile line.pk{stroke:#777}
#profile line.pk[data-kind=station]{stroke:#000;stroke-dasharray:2 2}
#profile line.pk[data-kind=signal]{stroke:var(--signal);stroke-width:2}
#profile line.pk[data-kind=line-board]{stroke:var(--board);stroke-width:2}
#profile line.pk[data-kind=speed-board]{stroke:var(--a);stroke-width:2}
#profile line.pk[data-kind=abbattimento]{stroke:#9a9a9a}
#profile .pname{font-size:10px;font-weight:600;cursor:pointer}
#profile .pk.hl{stroke:#000 !important;stroke-width:3;stroke-dasharray:none}
#profile rect.pk.hl{fill:#000}
#profile .pname.hl{fill:#a03000}
.list{content-visibility:auto;contain-intrinsic-size:auto 460px;min-width:0;border:1px solid var(--line);border-radius:4px;padding:8px 10px;max-height:460px;overflow:auto}
table{border-collapse:collapse;width:100%;font-size:13px}
th{text-align:left;font-weight:600;border-bottom:1px solid var(--line);position:sticky;top:0;background:var(--paper)}
td,th{padding:2px 6px;vertical-align:top}
td.n,th.n{text-align:right;font-variant-numeric:tabular-nums;white-space:nowrap}
td.small{font-size:12px;color:#333}td.src{font-family:ui-monospace,Menlo,Consolas,monospace;font-size:12px;white-space:nowrap}
td.text{white-space:pre-wrap}
tbody tr[data-el],tbody tr[data-diag]{cursor:pointer}
tbody tr:nth-child(even){background:#f7f7f4}
tbody tr.hl,tbody tr:focus{background:#ffe9a8;outline:none}
tr.diag.error td:first-child{color:#a03000;font-weight:600}
.empty{color:var(--muted);font-style:italic}
#details dl{display:grid;grid-template-columns:auto 1fr;gap:2px 10px;margin:0}
#details dt{color:var(--muted)}#details dd{margin:0;overflow-wrap:anywhere}
#details .src{font-family:ui-monospace,Menlo,Consolas,monospace}
#details .dmsg{margin:0 0 6px;padding:4px 6px;background:#fbe3d6;border-radius:3px}
@media (max-width:900px){main{grid-template-columns:1fr;padding:8px}#side{grid-column:1;grid-row:auto}
#profile-panel{grid-column:1}#lists{grid-template-columns:1fr}}
@media print{body{font-size:10pt}#profile{min-width:0}.map-tools,.hint{display:none}main{display:block}
.panel,#details-panel{break-inside:avoid;margin-bottom:8px}#timetable .list{max-height:none}
.map-box{height:auto;aspect-ratio:3/2}#lists{display:block}.list{content-visibility:visible;max-height:none;overflow:visible;break-inside:auto;margin-bottom:8px}
th{position:static}}
)CSS";

const char* const Page::kScript = R"JS((function(){
'use strict';
var data=JSON.parse(document.getElementById('view-data').textContent);
var E=data.elements,S=data.sources;
var details=document.getElementById('details');
var byEl={};
Array.prototype.forEach.call(document.querySelectorAll('[data-el]'),function(n){var i=n.getAttribute('data-el');(byEl[i]=byEl[i]||[]).push(n);});
var lit=[],pinned=null,pinnedDiag=null;
function esc(s){return String(s).replace(/[&<>"']/g,function(c){return {'&':'&amp;','<':'&lt;','>':'&gt;','"':'&quot;',"'":'&#39;'}[c];});}
function light(i){lit.forEach(function(n){n.classList.remove('hl');});lit=(i!=null&&byEl[i])?byEl[i]:[];lit.forEach(function(n){n.classList.add('hl');});}
function show(i,diag){
  var h='';
  var r=diag!=null?document.querySelector('tr[data-diag="'+diag+'"]'):null;
  if(r){var c=r.cells;h+='<p class="dmsg">'+esc(c[0].textContent)+' '+esc(c[1].textContent)+': '+esc(c[3].textContent)+(c[2].textContent?'<br><span class="src">'+esc(c[2].textContent)+'</span>':'')+'</p>';}
  if(i!=null&&E[i]){var e=E[i];h+='<h3><span class="lg lg-'+e.k+'"></span>'+esc(e.k.replace('-',' '))+(e.n?': '+esc(e.n):'')+'</h3><dl>';
    e.v.forEach(function(kv){h+='<dt>'+esc(kv[0])+'</dt><dd>'+esc(kv[1])+'</dd>';});
    h+='<dt>cell</dt><dd>'+e.c+'</dd><dt>source</dt><dd class="src">'+(e.s?esc(e.s):(S?'none (placed by the compile)':'none (drawn from compiled files)'))+'</dd></dl>';}
  if(!h)h='<p class="empty">Point at or click an element in the map, the profile or the lists.</p>';
  details.innerHTML=h;details.setAttribute('data-shown',i==null?'':String(i));light(i);
}
function target(n){return n&&n.closest?n.closest('[data-el],[data-diag]'):null;}
function showNode(n){if(n.hasAttribute('data-diag')){var l=+n.getAttribute('data-link');show(l>=0?l:null,+n.getAttribute('data-diag'));}else show(+n.getAttribute('data-el'),null);}
document.addEventListener('mouseover',function(ev){var n=target(ev.target);if(n)showNode(n);});
document.addEventListener('mouseout',function(ev){if(!target(ev.target)||target(ev.relatedTarget))return;show(pinned,pinnedDiag);});
function pick(n){
  if(n.hasAttribute('data-diag')){var l=+n.getAttribute('data-link');pinned=l>=0?l:null;pinnedDiag=+n.getAttribute('data-diag');}
  else{pinned=+n.getAttribute('data-el');pinnedDiag=null;}
  show(pinned,pinnedDiag);if(pinned!=null&&!n.closest('#map'))centre(pinned);
}
document.addEventListener('click',function(ev){var n=target(ev.target);if(n&&!dragged)pick(n);});
document.addEventListener('keydown',function(ev){if(ev.key==='Enter'){var n=target(ev.target);if(n)pick(n);}});
var svg=document.getElementById('map'),dragged=false;
function centre(i){
  if(!svg)return;var m=svg.querySelector('.mk[data-el="'+i+'"]');if(!m)return;
  var c=m.getAttribute('d').match(/-?[\d.]+/g);if(!c)return;var vb=svg.viewBox.baseVal;
  var x=+c[0],y=+c[1];if(x<vb.x||y<vb.y||x>vb.x+vb.width||y>vb.y+vb.height){vb.x=x-vb.width/2;vb.y=y-vb.height/2;}
}
function nice(v){var p=Math.pow(10,Math.floor(Math.log10(v)));for(var f of [5,2,1])if(f*p<=v)return f*p;return p;}
if(svg){
  var vb=svg.viewBox.baseVal,home=[vb.x,vb.y,vb.width,vb.height],mpu=+svg.getAttribute('data-metres-per-unit');
  var labels=svg.querySelector('.labels'),bar=document.getElementById('scale-bar'),barText=document.getElementById('scale-text');
  var upp=function(){var r=svg.getBoundingClientRect();if(!r.width||!r.height)return vb.width/800;return Math.max(vb.width/r.width,vb.height/r.height);};
  var restyle=function(){var u=upp();labels.setAttribute('font-size',(12*u).toFixed(4));
    var m=nice(140*u*mpu);bar.style.width=(m/(u*mpu)).toFixed(1)+'px';barText.textContent=m>=1000?(m/1000)+' km':m+' m';};
  var set=function(x,y,w,h){vb.x=x;vb.y=y;vb.width=w;vb.height=h;restyle();};
  var zoom=function(f,cx,cy){set(cx-(cx-vb.x)*f,cy-(cy-vb.y)*f,vb.width*f,vb.height*f);};
  var pt=function(ev){var p=svg.createSVGPoint();p.x=ev.clientX;p.y=ev.clientY;return p.matrixTransform(svg.getScreenCTM().inverse());};
  svg.addEventListener('wheel',function(ev){ev.preventDefault();var p=pt(ev);zoom(ev.deltaY<0?0.8:1.25,p.x,p.y);},{passive:false});
  var drag=null;
  svg.addEventListener('pointerdown',function(ev){drag={x:ev.clientX,y:ev.clientY,vx:vb.x,vy:vb.y,moved:false};dragged=false;});
  window.addEventListener('pointermove',function(ev){if(!drag)return;var u=upp(),dx=ev.clientX-drag.x,dy=ev.clientY-drag.y;
    if(Math.abs(dx)+Math.abs(dy)>3){drag.moved=true;svg.classList.add('dragging');}
    if(drag.moved){vb.x=drag.vx-dx*u;vb.y=drag.vy-dy*u;}});
  window.addEventListener('pointerup',function(){if(drag&&drag.moved){dragged=true;setTimeout(function(){dragged=false;},0);}drag=null;svg.classList.remove('dragging');});
  Array.prototype.forEach.call(document.querySelectorAll('[data-zoom]'),function(b){b.addEventListener('click',function(){
    var z=b.getAttribute('data-zoom');if(z==='home')set(home[0],home[1],home[2],home[3]);
    else zoom(z==='in'?0.6:1/0.6,vb.x+vb.width/2,vb.y+vb.height/2);});});
  window.addEventListener('resize',restyle);restyle();
}
var chosen=/^#el=(\d+)$/.exec(location.hash);
if(chosen&&byEl[chosen[1]])pick(byEl[chosen[1]][0]);
})();
</script>
<script>
(function(){
if(location.hash!=='#selftest')return;
var out=[],kinds=['station','signal','line-board','speed-board','slowdown'];
// Each kind counted in every view the page has: distinct elements in the
// map, the profile and the lists must agree.
var views=[['map','#map'],['profile','#profile'],['lists','#lists, #timetable']].map(function(v){return {name:v[0],roots:document.querySelectorAll(v[1])};}).filter(function(v){return v.roots.length>0;});
kinds.forEach(function(k){
  var counts=views.map(function(v){var seen={},n=0;Array.prototype.forEach.call(v.roots,function(r){Array.prototype.forEach.call(r.querySelectorAll('[data-kind="'+k+'"]'),function(x){var id=x.getAttribute('data-el');if(!seen[id]){seen[id]=1;n++;}});});return n;});
  var same=counts.every(function(n){return n===counts[0];});
  out.push(k+'='+(same?(counts.length?counts[0]:0):'mismatch '+views.map(function(v,i){return v.name+':'+counts[i];}).join(' ')));
});
out.push('without-cell='+document.querySelectorAll('[data-kind]:not([data-cell])').length);
out.push('diagnostics='+document.querySelectorAll('tr[data-diag]').length);
out.push('map-markers='+document.querySelectorAll('#map .mk').length);
var tried=0,good=0,details=document.getElementById('details'),data;
try{data=JSON.parse(document.getElementById('view-data').textContent);}catch(e){window.viewErrors.push('data: '+e);data={elements:[]};}
kinds.forEach(function(k){
  var n=document.querySelector('#map [data-kind="'+k+'"]')||document.querySelector('#profile [data-kind="'+k+'"]');if(!n)return;
  tried++;details.textContent='';n.dispatchEvent(new MouseEvent('mouseover',{bubbles:true}));
  var i=n.getAttribute('data-el'),e=data.elements[+i],t=details.textContent;
  if(e&&details.getAttribute('data-shown')===i&&t.indexOf(e.v[0][1])>=0&&(!e.s||t.indexOf(e.s)>=0)&&n.classList.contains('hl'))good++;
  else out.push('hover failed on '+k+' '+i);
});
var row=document.querySelector('tr[data-diag]');
if(row){tried++;details.textContent='';row.dispatchEvent(new MouseEvent('mouseover',{bubbles:true}));
  if(details.textContent.indexOf(row.cells[3].textContent)>=0)good++;else out.push('hover failed on a diagnostic');}
out.push('hover='+(tried===good?'ok':'failed')+' '+good+'/'+tried);
var map=document.getElementById('map');
if(map){var before=map.viewBox.baseVal.width,r=map.getBoundingClientRect();
  map.dispatchEvent(new WheelEvent('wheel',{deltaY:-100,clientX:r.left+r.width/2,clientY:r.top+r.height/2,bubbles:true,cancelable:true}));
  out.push('zoom='+(map.viewBox.baseVal.width<before?'ok':'failed'));
  var home=document.querySelector('[data-zoom="home"]');if(home)home.click();}
else out.push('zoom=none (no line plan)');
out.push('route-check='+(document.querySelector('#route-check.ok')?'confirmed':'differs'));
out.push('cell-check='+(document.querySelector('#cell-check.ok')?'confirmed':'differs'));
out.push('ready-ms='+Math.round(performance.now()));
out.push('errors='+window.viewErrors.length);
window.viewErrors.forEach(function(m){out.push('error: '+m);});
out.push('selftest-done');
var pre=document.getElementById('selftest');pre.textContent=out.join('\n');pre.hidden=false;
})();
)JS";

}  // namespace

std::string render_page(const PageModel& model) { return Page(model).render(); }

}  // namespace sb::view
