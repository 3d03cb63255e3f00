#include "lsp/record_fields.h"

#include <array>

namespace sb::lsp {
namespace {

struct RecordValues {
  std::string_view record;  // RecordKeyword::name
  PositionKind position;
  std::span<const ValueHelp> values;
  std::string_view what;
};

constexpr ValueHelp kRouteLength[] = {{"route length", "metres, at most 1000000"}};
constexpr ValueHelp kChainage[] = {{"start", "metres from the line's start, a multiple of 50"},
                                   {"reference", "chainage in metres at the start, a multiple of 50"},
                                   {"direction", "0 rising along the line, 1 falling"}};
constexpr ValueHelp kScenery[] = {{"scenery", "whole number, stored as read"}};
constexpr ValueHelp kRepetition[] = {{"first position", "metres, a multiple of 50"},
                                     {"second position", "metres, a multiple of 50; 0 for no repetition"}};
constexpr ValueHelp kGradient[] = {{"position", "metres; the gradient holds from here on"},
                                   {"gradient", "signed whole number"}};
constexpr ValueHelp kCurve[] = {{"start", "metres"}, {"length", "metres; start + length at most route length + 7000"}};
constexpr ValueHelp kMontagna[] = {{"inizio", "start, metres"}, {"fine", "end, metres"}, {"tipo", "type"}};
constexpr ValueHelp kSpeedBoard[] = {{"posizione", "metres"},
                                     {"vas", "left board, rank A, km/h"},
                                     {"vbs", "left board, rank B, km/h"},
                                     {"vcs", "left board, rank C, km/h"},
                                     {"strisces", "left board, stripes"},
                                     {"vad", "right board, rank A, km/h"},
                                     {"vbd", "right board, rank B, km/h"},
                                     {"vcd", "right board, rank C, km/h"},
                                     {"strisced", "right board, stripes"}};
constexpr ValueHelp kLineBoard[] = {{"position", "metres"},
                                    {"text", "bracketed groups, one a line of lettering: (P.L.)(km 6+532); no comma"}};
constexpr ValueHelp kBrakedMass[] = {{"braked mass", "percent"}};
constexpr ValueHelp kCoaches[] = {{"coaches", "number of coaches"}};
constexpr ValueHelp kSpeed[] = {{"position", "metres; the limit holds from here on (the first at 0)"},
                                {"speed limit", "km/h, at most 1277 (stored in steps of 5)"}};
constexpr ValueHelp kAdhesion[] = {{"position", "metres; the value holds from here on (the first at 0)"},
                                   {"adhesion", "0 to 255 (only the low 8 bits are kept)"}};
constexpr ValueHelp kClock[] = {{"hours", "0 to 23"}, {"minutes", "0 to 59"}, {"seconds", "0 to 59"}};
constexpr ValueHelp kSand[] = {{"sand", "16-bit whole number"}};
constexpr ValueHelp kSignal[] = {{"posizione", "metres"},  {"sx", "left signal"},    {"s1", "left aspect 1"},
                                 {"s2", "left aspect 2"},  {"s3", "left aspect 3"},  {"rapp", "repeater"},
                                 {"dx", "right signal"},   {"d1", "right aspect 1"}, {"d2", "right aspect 2"},
                                 {"d3", "right aspect 3"}, {"tempo", "time"}};
constexpr ValueHelp kSlowdown[] = {{"x", "start, metres"}, {"v", "speed, km/h"}, {"l", "length, metres"},
                                   {"f_tt", "flag"},       {"f_ta", "flag"},     {"d_v", "value"}};
constexpr ValueHelp kAbbattimento[] = {{"position", "metres"}, {"value", "above 0: stored as a 16-bit number"}};
constexpr ValueHelp kStation[] = {{"position", "metres, a multiple of 50"},
                                  {"kind", "0 to 255; 5 to 8 place the station differently, 25 and above get no stop"},
                                  {"length", "metres, a multiple of 100"},
                                  {"attribute_4", "0 to 255"},
                                  {"attribute_5", "0 to 255; cleared below 600 m and for the first station"},
                                  {"end_extension", "nonzero adds 50 m to the end"},
                                  {"attribute_7", "16-bit"},
                                  {"attribute_8", "16-bit"},
                                  {"attribute_9", "0 to 255"},
                                  {"attribute_10", "16-bit"},
                                  {"attribute_11", "16-bit"},
                                  {"attribute_12", "16-bit"},
                                  {"attribute_13", "0 to 255"},
                                  {"hours", "scheduled time"},
                                  {"minutes", "scheduled time"},
                                  {"seconds", "scheduled time"},
                                  {"name", "the rest of the line; no comma"}};

constexpr std::array kRecords{
    RecordValues{"lunghezza percorso", PositionKind::kNone, kRouteLength,
                 "the route length; the track runs 7000 m further"},
    RecordValues{"progressiva chilometrica", PositionKind::kNone, kChainage,
                 "a chainage system: the kilometre count from a position on"},
    RecordValues{"sfondo", PositionKind::kNone, kScenery, "a scenery choice"},
    RecordValues{"ripetizione segnali", PositionKind::kNone, kRepetition, "cab-signal repetition (4 or 9 codes)"},
    RecordValues{"pendenza", PositionKind::kStretch, kGradient, "a gradient, from its position on"},
    RecordValues{"curva", PositionKind::kNone, kCurve,
                 "a curve: d right, s left, class 1 (10000 m radius) to 6 (about 333 m)"},
    RecordValues{"montagna", PositionKind::kStretch, kMontagna, "a montagna span"},
    RecordValues{"indicatori_vmax", PositionKind::kPoint, kSpeedBoard, "speed-limit boards, left and right"},
    RecordValues{"cartello_indicatore", PositionKind::kPoint, kLineBoard, "a line-side board with its lettering"},
    RecordValues{"percentuale massa frenata", PositionKind::kNone, kBrakedMass, "the train's braked-mass percentage"},
    RecordValues{"numero vetture", PositionKind::kNone, kCoaches, "the number of coaches"},
    RecordValues{"velocita", PositionKind::kStretch, kSpeed, "a speed limit, from its position on"},
    RecordValues{"aderenza", PositionKind::kStretch, kAdhesion, "adhesion, from its position on"},
    RecordValues{"orologio", PositionKind::kNone, kClock, "the clock at the start"},
    RecordValues{"sabbia", PositionKind::kNone, kSand, "the sand value"},
    RecordValues{"segnale", PositionKind::kPoint, kSignal, "a signal"},
    RecordValues{"rallentamento", PositionKind::kPoint, kSlowdown, "a slowdown"},
    RecordValues{"abbattimento", PositionKind::kPoint, kAbbattimento, "an abbattimento mark"},
    RecordValues{"stazione", PositionKind::kPoint, kStation, "a station with its timetable"},
};

const RecordValues* find(const RecordKeyword& keyword) {
  for (const RecordValues& r : kRecords) {
    if (r.record == keyword.name) return &r;
  }
  return nullptr;
}

}  // namespace

std::span<const ValueHelp> record_values(const RecordKeyword& keyword) {
  const RecordValues* r = find(keyword);
  return r ? r->values : std::span<const ValueHelp>{};
}

std::string_view record_what(const RecordKeyword& keyword) {
  const RecordValues* r = find(keyword);
  return r ? r->what : std::string_view{};
}

PositionKind position_kind(const RecordKeyword& keyword) {
  const RecordValues* r = find(keyword);
  return r ? r->position : PositionKind::kNone;
}

std::string record_help(const RecordKeyword& keyword) {
  std::string out = "**" + std::string(spellings(keyword)[0]) + "**: " + std::string(record_what(keyword)) + "; " +
                    std::to_string(keyword.values) + (keyword.values == 1 ? " value" : " values");
  if (keyword.needs_plan) out += " (read when the line plan is built)";
  out += "\n\n";
  int n = 0;
  for (const ValueHelp& v : record_values(keyword)) {
    out += std::to_string(++n) + ". `" + std::string(v.name) + "`: " + std::string(v.about) + "\n";
  }
  return out;
}

std::string record_snippet(const RecordKeyword& keyword, std::string_view spelling) {
  std::string out(spelling);
  int n = 0;
  // A curve's keyword field carries its side and its curvature class.
  if (keyword.name == "curva") {
    out += "${1|d,s|}${2|1,2,3,4,5,6|}";
    n = 2;
  }
  for (const ValueHelp& v : record_values(keyword)) {
    out += ",  ${" + std::to_string(++n) + ":" + std::string(v.name) + "}";
  }
  return out;
}

}  // namespace sb::lsp
