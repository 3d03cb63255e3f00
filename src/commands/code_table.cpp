#include "commands/code_table.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "reader/warning_watch.h"

namespace sb {
namespace {

constexpr std::string_view kLineStart = "[generale]\nlunghezza percorso,  3000\n[linea]\n";
constexpr std::string_view kTrainStart =
    "[generale]\n[vel_limite]\nvelocita,  0,  90\n[aderenze]\naderenza,  0,  100\n";
constexpr std::string_view kEnd = "[fine]\n";
constexpr std::string_view kMissing = "(missing)";
// The small description as UTF-16LE with a byte order mark.
constexpr std::string_view kUtf16 = "(UTF-16LE)";

using K = CodeKind;

// clang-format off
const std::vector<CodeRow> kRows = {
    {"E1", K::kError, 1, "route-too-long",
     "The route length (`lunghezza percorso`) is above 1 000 000 m. Reading stops there.",
     "[generale]\nlunghezza percorso,  1000050\n[fine]\n", "",
     "Give the route length in metres, at most 1000000."},
    {"E2", K::kError, 2, "chainage-not-multiple-of-50",
     "A chainage system (`progressiva chilometrica`) has a start or reference that is no multiple of 50 m. It is "
     "reported after the train file is read.",
     "[generale]\nlunghezza percorso,  3000\nprogressiva chilometrica uno,  1010,  5000,  0\n[fine]\n", "",
     "Round the start and the reference to multiples of 50 m."},
    {"E3", K::kError, 3, "repetition-not-multiple-of-50",
     "The first position of the signal repetition (`ripetizione segnali`) is no multiple of 50 m.",
     "[generale]\nlunghezza percorso,  3000\nripetizione segnali 4 codici,  1010,  2000\n[fine]\n", "",
     "Round the position to a multiple of 50 m."},
    {"E4", K::kError, 4, "repetition-not-multiple-of-50",
     "The second position of the signal repetition (`ripetizione segnali`) is no multiple of 50 m.",
     "[generale]\nlunghezza percorso,  3000\nripetizione segnali 4 codici,  1000,  2010\n[fine]\n", "",
     "Round the position to a multiple of 50 m."},
    {"E5", K::kError, 5, "repetition-code-count",
     "The signal repetition keyword names neither 4 nor 9 cab-signal codes.",
     "[generale]\nlunghezza percorso,  3000\nripetizione segnali codici,  1000,  2000\n[fine]\n", "",
     "Write `ripetizione segnali 4 codici` or `ripetizione segnali 9 codici`."},
    {"E6", K::kError, 6, "line-board-cell-taken",
     "A line board (`cartello_indicatore`) falls into a track cell another element already holds (each 50 m cell "
     "holds one element). Reading stops there; a note names the record that holds the cell.",
     "cartello_indicatore,  1300,  (A)\ncartello_indicatore,  1310,  (B)\n", "",
     "Move one of the two elements into another 50 m cell."},
    {"E7", K::kError, 7, "abbattimento-cell-taken",
     "An `abbattimento` mark falls into a track cell another element already holds.",
     "cartello_indicatore,  1300,  (A)\n", "abbattimento,  1350,  0\n",
     "Move the abbattimento or the other element into another 50 m cell."},
    {"E8", K::kError, 8, "station-position-not-multiple-of-50",
     "A station's position (`stazione`, value 1) is no multiple of 50 m.",
     "", "stazione,  1010,  12,  600,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  8,  0,  0,   PRIMA\n",
     "Round the station's position to a multiple of 50 m."},
    {"E9", K::kError, 9, "station-length-not-multiple-of-100",
     "A station's length (`stazione`, value 3) is no multiple of 100 m.",
     "", "stazione,  1000,  12,  650,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  8,  0,  0,   PRIMA\n",
     "Round the station's length to a multiple of 100 m."},
    {"E10", K::kError, 10, "too-many-stations-and-boards",
     "Stations and line boards together need more than the 78 table slots they share.",
     "@repeat 79 50 cartello_indicatore,  200,  (B)\n",
     "stazione,  6000,  12,  600,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  8,  0,  0,   PRIMA\n",
     "Leave out line boards or stations: at most 78 together."},
    {"E11", K::kError, 11, "signal-abbattimento-blocked",
     "The completion found no free cell for the automatic abbattimento before a signal that stands within 1000 m "
     "before a slowdown's warning.",
     "cartello_indicatore,  1650,  (B)\ncartello_indicatore,  1700,  (B)\n",
     "rallentamento,  3150,  60,  100,  0,  0,  0\nsegnale,  1750,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0\n",
     "Free one of the cells just before the signal: move the elements the message names."},
    {"E12", K::kError, 12, "slowdown-window-blocked",
     "The completion found no free cell 250 to 350 m before a slowdown for its automatic abbattimento.",
     "", "rallentamento,  1800,  60,  100,  0,  0,  0\nabbattimento,  1500,  0\nabbattimento,  1550,  0\n"
     "abbattimento,  1600,  0\n",
     "Free one of the cells 250 to 350 m before the slowdown: move the elements the message names."},
    {"E13", K::kError, 13, "slowdown-walk-blocked",
     "The completion found no free cell for an abbattimento due every 400 m along a slowdown, or before a signal "
     "after its end.",
     "cartello_indicatore,  5300,  (B)\ncartello_indicatore,  5350,  (B)\ncartello_indicatore,  5400,  (B)\n",
     "rallentamento,  4950,  60,  1500,  0,  0,  0\n",
     "Free one of the cells the message names: move those elements."},
    {"E15", K::kError, 15, "beyond-last-cell",
     "A position lies beyond the last track cell: the route length + 7000 m, less a margin. Reading of that file's "
     "records ends there.",
     "pendenza,  9950,  2\n", "",
     "Check the position, or the route length (`lunghezza percorso`), which may be too short."},
    {"E16", K::kError, 16, "signal-cell-taken",
     "A signal (`segnale`) falls into a track cell another element already holds. Reading stops there; a note names "
     "the record that holds the cell.",
     "cartello_indicatore,  1300,  (A)\n", "segnale,  1300,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0\n",
     "Move the signal or the other element into another 50 m cell."},
    {"E17", K::kError, 17, "slowdown-warning-cell-taken",
     "The warning cell of a slowdown, 1200 m before it, is held by another element.",
     "cartello_indicatore,  1800,  (A)\n", "rallentamento,  3000,  60,  100,  0,  0,  0\n",
     "Move the slowdown or the element 1200 m before it."},
    {"E18", K::kError, 18, "slowdown-start-cell-taken",
     "The start cell of a slowdown (`rallentamento`) is held by another element.",
     "cartello_indicatore,  1000,  (A)\n", "rallentamento,  1000,  60,  100,  0,  0,  0\n",
     "Move the slowdown or the other element into another 50 m cell."},
    {"E19", K::kError, 19, "slowdown-end-cell-taken",
     "The end cell of a slowdown (start + length) is held by another element.",
     "cartello_indicatore,  1500,  (A)\n", "rallentamento,  1000,  60,  500,  0,  0,  0\n",
     "Change the slowdown's length or move the other element."},
    {"E20", K::kError, 20, "slowdown-approach-cells-taken",
     "One of the four approach cells before a slowdown's warning (asked for by its fifth value) is held by another "
     "element.",
     "cartello_indicatore,  1750,  (A)\n", "rallentamento,  3000,  60,  100,  0,  1,  0\n",
     "Move the element out of the four cells before the warning, or set the slowdown's fifth value to 0."},
    {"E21", K::kError, 21, "speed-board-cell-taken",
     "A speed-limit board (`indicatori_vmax`) falls into a track cell another element already holds.",
     "cartello_indicatore,  1300,  (A)\nindicatori_vmax,  1300,  90,  90,  90,  0,  0,  0,  0,  0\n", "",
     "Move one of the two boards into another 50 m cell."},
    {"E22", K::kError, 22, "stations-too-close",
     "A station starts less than 350 m after the previous station ends.",
     "",
     "stazione,  0,  12,  600,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  8,  0,  0,   PRIMA\n"
     "stazione,  600,  4,  600,  0,  0,  0,  1,  1,  0,  2,  1,  1,  0,  8,  5,  0,   SECONDA\n",
     "Move the later station further on, or shorten one of the two."},
    {"E24", K::kError, 24, "station-stop-cell-too-near-start",
     "A station ends so near the start of the line that its stop cell would fall at cell 1 or below.",
     "", "stazione,  0,  12,  100,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  8,  0,  0,   PRIMA\n",
     "Move the station on, or lengthen it, so that it ends beyond 100 m."},
    {"E25", K::kError, 25, "reading-failure",
     "A value cannot be read (text where a number belongs, a number too wide for its field, the file ends inside a "
     "record) or does not fit what it is stored in. Reading stops there.",
     "pendenza,  mille,  2\n", "",
     "Write the value as the message says: whole numbers, within their field's range."},
    {"E101", K::kError, 101, "file-missing",
     "The line description file is not there (the built-in run, when its file vanished while it ran).",
     kMissing, "",
     "Give the path of an existing line description file."},
    {"E102", K::kError, 102, "no-generale",
     "The line description file holds no `[generale]` field: nothing of it can be read.",
     "[linea]\nlunghezza percorso,  3000\n[fine]\n", "",
     "Start the line description file with a `[generale]` line."},
    {"E103", K::kError, 103, "curve-class-or-plan-limit",
     "A curve keyword holds no class digit 1 to 6, or the line plan passes metre 1 000 000.",
     "curvad,  100,  100\n", "",
     "Write the curve's class in its keyword (`curvad3`, `curvas6`), and keep the plan within 1 000 000 m."},
    {"E104", K::kError, 104, "utf16-file",
     "A description file is UTF-16 text (as some Windows editors and shells save it, a byte order mark first), not "
     "Windows-1252: nothing of it can be read.",
     kUtf16, "",
     "Save the file as Windows-1252 (\"ANSI\" or \"Western European (Windows)\" among the editor's encodings)."},
    {"E1250", K::kFatal, 1250, "fatal-check",
     "An element near the start of the line fell into track cell 1, where the format marker goes. No compiled file "
     "is written (the simulator shows \" Errore n. 1250\").",
     "cartello_indicatore,  0,  (X)\n", "",
     "Place the first elements at 100 m or more."},
    {"E1251", K::kFatal, 1251, "fatal-check",
     "An element near the start of the line filled the place of a check code in track cell 1. No compiled file is "
     "written (the simulator shows \" Errore n. 1251\").",
     "indicatori_vmax,  0,  0,  60,  0,  0,  0,  0,  0,  0\n", "",
     "Place the first elements at 100 m or more."},
    {"no-track-cells", K::kFatal, 0, "no-track-cells",
     "No track cells were built (the line file gave no usable route length), so there is nothing to write.",
     "[generale]\n[linea]\npendenza,  0,  0\n[fine]\n", "",
     "Give the route length: `lunghezza percorso, METRES` between `[generale]` and the first section header."},
    {"root-cause", K::kRootCause, 0, "root-cause",
     "`check` found one mistake behind many diagnostics (a route length in kilometres, fields separated by `;`, the "
     "two files given in swapped order) and says it once, first, counting the diagnostics that follow from it.",
     "[generale]\nlunghezza percorso,  12\n[linea]\npendenza,  8000,  2\n[fine]\n",
     "stazione,  11000,  4,  600,  0,  0,  0,  1,  1,  0,  2,  1,  1,  0,  8,  30,  0,   SECONDA\n"
     "segnale,  10000,  1,  5,  6,  0,  0,  0,  0,  0,  0,  0\n",
     "Fix the mistake the message names; `check --all-diagnostics` lists what follows from it."},

    {"-Wunknown-field", K::kWarning, 0, "unknown-field",
     "A keyword field matches no record; it is ignored with the values after it on its line. One or two edits "
     "from a keyword, a record was lost: then it fails a compile unless -Wno-error=unknown-field.",
     "", "sabia,  5\n",
     "Spell the keyword as the message suggests, or remove the line."},
    {"-Wmisplaced-record", K::kWarning, 0, "misplaced-record",
     "A record stands in the wrong part or file (a train record in the line file, a general record in the main "
     "part); it is lost. Fails a compile unless -Wno-error=misplaced-record.",
     "numero vetture,  4\n", "",
     "Move the record to the part or file it belongs to."},
    {"-Wextra-values", K::kWarning, 0, "extra-values",
     "A line holds more values than its record takes: the rest is read as keyword fields and lost (a comma in a "
     "station name or board text not in quotes does this). Fails a compile unless -Wno-error=extra-values.",
     "", "sabbia,  300,  5\n",
     "Remove the extra values, or write the text in quotes: `\"SAN VITO, ALTO\"`."},
    {"-Wrecord-cut-short", K::kWarning, 0, "record-cut-short",
     "A record ends early and its next value is read from a later line (a keyword or section header), whose "
     "record is lost. Fails a compile unless -Wno-error=record-cut-short.",
     "", "stazione,  2500,  4,  600,  0,  0,  0,  1,  1,  0,  2,  1,  1,  0,  8,  5,  0\n[segnali]\n",
     "Give the record all its values on its own line."},
    {"-Wmissing-generale", K::kWarning, 0, "missing-generale",
     "The train file is empty or has no `[generale]`: nothing of it is read. Fails a compile unless "
     "-Wno-error=missing-generale.",
     "", "[vel_limite]\nvelocita,  0,  90\n[fine]\n",
     "Start the train description file with a `[generale]` line."},
    {"-Wmissing-record", K::kWarning, 0, "missing-record",
     "The train file has no `velocita` (or no `aderenza`) record: the value is 0 along the whole line. A missing "
     "`velocita` fails a compile unless -Wno-error=missing-record.",
     "", "[generale]\n[aderenze]\naderenza,  0,  100\n[fine]\n",
     "Add `velocita, 0, KMH` (and `aderenza, 0, VALUE`)."},
    {"-Wfirst-not-at-zero", K::kWarning, 0, "first-not-at-zero",
     "The first `velocita` or `aderenza` record is not at 0: the cells before it keep 0.",
     "", "[generale]\nvelocita,  0,  90\naderenza,  100,  100\n[fine]\n",
     "Start with a record at position 0."},
    {"-Wposition-order", K::kWarning, 0, "position-order",
     "A record's position is below the previous record of the same kind; records of one kind are read in rising "
     "order. A note names the earlier record. Gradients, curves, speed limits and adhesion are laid one after the "
     "other, so there the earlier record's stretch is lost: that fails a compile unless "
     "-Wno-error=position-order.",
     "pendenza,  1000,  2\npendenza,  900,  -3\n", "",
     "Put the records of each kind in rising position order."},
    {"-Wutf8-text", K::kWarning, 0, "utf8-text",
     "A board text or station name is UTF-8 with non-ASCII characters; the simulator reads Windows-1252 and would "
     "show other characters.",
     "cartello_indicatore,  1300,  CITT\xC3\x80\n", "",
     "Save the file in Windows-1252."},
    {"-Wnotes-character", K::kWarning, 0, "notes-character",
     "The notes file given with `--notes` holds a character Windows-1252 has no byte for; it is written as \"?\".",
     "", "",
     "Replace the character with one Windows-1252 holds (the warning names it and its line)."},
    {"-Wtab", K::kWarning, 0, "tab",
     "A field holds a tab: only blanks and commas separate fields, so the tab stays in the field.",
     "", "\tsabbia,  300\n",
     "Use blanks instead of tabs."},
    {"-Wmissing-fine", K::kWarning, 0, "missing-fine",
     "The file does not end with `[fine]`; the last field of a file is never read as a keyword.",
     "[generale]\nlunghezza percorso,  3000\n", "",
     "End every description file with a `[fine]` line."},
    {"-Wafter-fine", K::kWarning, 0, "after-fine",
     "Records follow `[fine]`; they are still read. A note names the `[fine]` line.",
     "", "[generale]\nvelocita,  0,  90\naderenza,  0,  100\n[fine]\nsabbia,  300\n[fine]\n",
     "Move `[fine]` to the very end."},
    {"-Wnegative-length", K::kWarning, 0, "negative-length",
     "A slowdown or curve has a negative length, or a `montagna` ends before it starts: the curve and the span "
     "are lost, the slowdown's marks run on to the end of the line. Fails a compile unless "
     "-Wno-error=negative-length.",
     "", "rallentamento,  6000,  60,  -400,  0,  0,  0\n",
     "Give lengths as positive numbers of metres, ends after starts."},
    {"-Woverlapping-curves", K::kWarning, 0, "overlapping-curves",
     "A curve starts before the previous curve ends: the previous one stays whole, the later one turns only from "
     "where it ends, and the rest of it is lost. A note names the previous curve. Fails a compile unless "
     "-Wno-error=overlapping-curves.",
     "curvad1,  100,  600\ncurvas2,  600,  200\n", "",
     "Start the later curve where the earlier one ends, or later."},
    {"-Woverlapping-montagna", K::kWarning, 0, "overlapping-montagna",
     "A montagna span starts before an earlier span ends: the later span rewrites the montagna type of the cells "
     "they share, and each span marks every fourth free cell of its own. A note names the earlier span.",
     "montagna,  1000,  3000,  12\nmontagna,  2000,  2500,  12\n", "",
     "Start the later span where the earlier one ends, or later."},
    {"-Wcurve-class", K::kWarning, 0, "curve-class",
     "A curve keyword holds more than one digit, or a digit outside 1 to 6; the lowest digit 1 to 6 is its class.",
     "curvad10,  100,  100\n", "",
     "Write one class digit, 1 to 6."},
    {"-Wspeed-rounded", K::kWarning, 0, "speed-rounded",
     "A `velocita` limit is no multiple of 5; it is stored in steps of 5 km/h.",
     "", "velocita,  2000,  87\n",
     "Give a multiple of 5 km/h."},
    {"-Wstation-in-tail", K::kWarning, 0, "station-in-tail",
     "A station lies beyond the route length, in the 7 000 m every route runs on past its end.",
     "", "stazione,  3500,  12,  600,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  8,  0,  0,   OLTRE\n",
     "Move the station onto the route, or lengthen the route."},
    {"-Wtimetable-order", K::kWarning, 0, "timetable-order",
     "A station's time is earlier than the time of the station before it. A note names that station.",
     "",
     "stazione,  1000,  12,  600,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  8,  10,  0,   PRIMA\n"
     "stazione,  2500,  4,  600,  0,  0,  0,  1,  1,  0,  2,  1,  1,  0,  8,  5,  0,   SECONDA\n",
     "Correct the times so that they rise along the line."},
    {"-Wclock-range", K::kWarning, 0, "clock-range",
     "A station time or the start clock (`orologio`) is no time of day.",
     "", "orologio,  25,  70,  0\n",
     "Give hours 0 to 23, minutes and seconds 0 to 59."},
    {"-Wopen-quote", K::kWarning, 0, "open-quote",
     "A board text or station name runs past its line (a stray `\"` opens a text that runs to the next `\"`, and "
     "the records it takes in are lost: that fails a compile unless -Wno-error=open-quote) or holds control "
     "characters.",
     "cartello_indicatore,  1300,  \"P.L.\ncartello_indicatore,  2300,  \"P.L.\"\n", "",
     "Remove the stray `\"` or close the text on its line."},
    {"-Wfraction", K::kWarning, 0, "fraction",
     "A value is written as a decimal number with a comma (`3,5`): it is read as 3 and the 5 is lost; or a position "
     "with a thousands separator (`6,100`): every value after it is shifted, and the record is left out. Fails a "
     "compile unless -Wno-error=fraction.",
     "pendenza,  1000,  3,5\n", "",
     "Values are whole numbers without separators: write `3` or `4`, and `6100`."},
    {"-Wmarks-overwritten", K::kWarning, 0, "marks-overwritten",
     "A signal's or station's approach marks replace another element's, which is no longer announced in that "
     "cell. A note names that element. The ordinary layout does this (an exit signal just after a platform), so it "
     "is shown only when asked for with -Wmarks-overwritten; -Wunannounced says when nothing is left.",
     "",
     "stazione,  2000,  12,  600,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  8,  0,  0,   PRIMA\n"
     "segnale,  2500,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0\n",
     "Move one of the two elements."},
    {"-Wunannounced", K::kWarning, 0, "unannounced",
     "Later signals and stations replace every approach mark of a signal or station: the driver meets it with no "
     "announcement. A note names that element; the message says how far to move the record that took the last "
     "mark.",
     "",
     "stazione,  2000,  12,  600,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  8,  0,  0,   PRIMA\n"
     "segnale,  2250,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0\n"
     "segnale,  2300,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0\n",
     "Move the record the message names as far as it says, or the announced element."},
    {"-Wslowdown-borrows-end", K::kWarning, 0, "slowdown-borrows-end",
     "A slowdown under 25 m long ends in its own start cell: it has no end cell and ends where the next slowdown "
     "ends. Fails a compile unless -Wno-error=slowdown-borrows-end.",
     "", "rallentamento,  4000,  60,  10,  0,  0,  0\n",
     "Give the slowdown a length of at least 25 m."},
    {"-Wstop-cell-replaces", K::kWarning, 0, "stop-cell-replaces",
     "A station's stop cell falls into a cell another element holds, and that element is lost. A note names it. "
     "Fails a compile unless -Wno-error=stop-cell-replaces.",
     "cartello_indicatore,  2200,  (A)\n",
     "stazione,  2000,  12,  600,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  8,  0,  0,   PRIMA\n",
     "Move the station or the other element."},
    {"-Wchainage-lost", K::kWarning, 0, "chainage-lost",
     "Two chainage systems share the greatest start: they cannot be ordered, and the line has no chainage at all. "
     "Fails a compile unless -Wno-error=chainage-lost.",
     "[generale]\nlunghezza percorso,  3000\nprogressiva chilometrica uno,  1000,  5000,  0\n"
     "progressiva chilometrica due,  1000,  9000,  0\n[fine]\n", "",
     "Give each chainage system a start of its own."},
    {"-Wspeed-above-boards", K::kWarning, 0, "speed-above-boards",
     "The train's speed limit (`velocita`) stays above every rank of a speed-limit board from the board to the next "
     "board that gives other speeds (150 km/h under a board of 95/100/100). A note names the board.",
     "indicatori_vmax,  1000,  95,  100,  100,  0,  0,  0,  0,  0\n", "velocita,  0,  150\n",
     "Lower the train's limit to the board's highest rank, or raise the board."},
    {"-Wsame-station-name", K::kWarning, 0, "same-station-name",
     "Two stations have the same name: the timetable and the driver's documents cannot tell them apart. A note "
     "names the first.",
     "",
     "stazione,  1000,  12,  600,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  8,  0,  0,   PRIMA\n"
     "stazione,  2500,  4,  600,  0,  0,  0,  1,  1,  0,  2,  1,  1,  0,  8,  5,  0,   PRIMA\n",
     "Give each station a name of its own."},
    {"-Wboard-chainage", K::kWarning, 0, "board-chainage",
     "A line board's text says \"km X+YYY\" more than 500 m away from the chainage where the board stands.",
     "[generale]\nlunghezza percorso,  3000\nprogressiva chilometrica uno,  0,  1000,  0\n[indicazioni]\n"
     "cartello_indicatore,  1300,  (km 1+300)\n[fine]\n",
     "",
     "Correct the text, or the board's position or the chainage systems."},
    {"-Wchainage-unannounced", K::kWarning, 0, "chainage-unannounced",
     "A chainage system takes over with a jump of more than 500 m, or runs the other way, and no line board from "
     "500 m before to 1 000 m after says the new kilometre.",
     "[generale]\nlunghezza percorso,  3000\nprogressiva chilometrica uno,  0,  1000,  0\n"
     "progressiva chilometrica due,  2000,  9000,  0\n[fine]\n",
     "",
     "Add a line board that gives the new kilometre where the system takes over, or check its start and reference."},
    {"-Wsignal-in-platform", K::kWarning, 0, "signal-in-platform",
     "A signal stands inside a station's platform (between its start and its end). A note names the station.",
     "",
     "stazione,  2000,  12,  600,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  8,  0,  0,   PRIMA\n"
     "segnale,  1900,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0\n",
     "Move the signal before the platform's start or to its end or beyond."},
    {"-Wtimetable-too-fast", K::kWarning, 0, "timetable-too-fast",
     "The time between two timed stations is shorter than running the distance at the train's own speed limits "
     "takes (a lower bound: no acceleration, no braking). The message gives both times; a note names the stop "
     "before.",
     "",
     "stazione,  1000,  12,  600,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  8,  0,  0,   PRIMA\n"
     "stazione,  2500,  4,  600,  0,  0,  0,  1,  1,  0,  2,  1,  1,  0,  8,  0,  30,   SECONDA\n",
     "Give the later station a later time, or the train higher speed limits."},
};
// clang-format on

std::string_view without_prefix(std::string_view id) {
  for (std::string_view prefix : {"-Werror=", "-Wno-error=", "-Wno-", "-W"}) {
    if (id.substr(0, prefix.size()) == prefix) return id.substr(prefix.size());
  }
  return id;
}

// Writes out the "@repeat N STEP RECORD" lines of an example.
std::string expanded(std::string_view text) {
  std::string out;
  std::istringstream lines{std::string(text)};
  std::string line;
  while (std::getline(lines, line)) {
    int count = 0;
    long step = 0;
    char record[200] = {};
    long first = 0;
    char rest[200] = {};
    if (std::sscanf(line.c_str(), "@repeat %d %ld %199[^,],%ld%199[^\n]", &count, &step, record, &first, rest) == 5) {
      for (int i = 0; i < count; ++i)
        out += std::string(record) + ",  " + std::to_string(first + step * i) + rest + "\n";
      continue;
    }
    out += line + "\n";
  }
  return out;
}

std::optional<std::string> example_file(std::string_view example, std::string_view start) {
  if (example == kMissing) return std::nullopt;
  if (example == kUtf16) {
    std::string bytes = "\xFF\xFE";
    for (char c : std::string(start) + std::string(kEnd)) bytes += {c, '\0'};
    return bytes;
  }
  if (!example.empty() && example.front() == '[') return expanded(example);
  return std::string(start) + expanded(example) + std::string(kEnd);
}

std::string shown_example(std::string_view example, std::string_view start) {
  if (example == kMissing) return "  (no such file)\n";
  if (example == kUtf16) return "  (saved as UTF-16LE, with its byte order mark)\n" + shown_example("", start);
  std::string text = !example.empty() && example.front() == '['
                         ? std::string(example)
                         : std::string(start) + std::string(example) + std::string(kEnd);
  std::string out;
  std::istringstream lines{text};
  std::string line;
  while (std::getline(lines, line)) {
    int count = 0;
    long step = 0;
    char record[200] = {};
    if (std::sscanf(line.c_str(), "@repeat %d %ld %199[^\n]", &count, &step, record) == 3) {
      out += "  " + std::string(record) + "   (and " + std::to_string(count - 1) + " more, every " +
             std::to_string(step) + " m)\n";
      continue;
    }
    std::string shown;
    for (char c : line) shown += c == '\t' ? std::string("<TAB>") : std::string(1, c);
    out += "  " + shown + "\n";
  }
  return out;
}

const char* kind_word(CodeKind kind) {
  switch (kind) {
    case CodeKind::kError: return "error";
    case CodeKind::kFatal: return "fatal check";
    case CodeKind::kWarning: return "warning";
    case CodeKind::kRootCause: return "root cause (check)";
  }
  return "";
}

}  // namespace

const std::vector<CodeRow>& code_table() { return kRows; }

const CodeRow* find_code_row(std::string_view id) {
  for (const CodeRow& row : kRows) {
    if (row.id == id) return &row;
  }
  const std::string_view bare = without_prefix(id);
  for (const CodeRow& row : kRows) {
    if (row.kind == CodeKind::kWarning && row.name == bare) return &row;
  }
  std::string_view number = id;
  if (!number.empty() && (number.front() == 'E' || number.front() == 'e')) number.remove_prefix(1);
  if (!number.empty() && std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
      number.size() < 6) {
    return error_row(std::stoi(std::string(number)));
  }
  return nullptr;
}

const CodeRow* error_row(int32_t code) {
  for (const CodeRow& row : kRows) {
    if ((row.kind == CodeKind::kError || row.kind == CodeKind::kFatal) && row.code == code && code != 0) return &row;
  }
  return nullptr;
}

const CodeRow* warning_row(std::string_view name) {
  for (const CodeRow& row : kRows) {
    if (row.kind == CodeKind::kWarning && row.name == name) return &row;
  }
  return nullptr;
}

ExampleFiles example_files(const CodeRow& row) {
  return {example_file(row.line_example, kLineStart), example_file(row.train_example, kTrainStart)};
}

std::string explanation(const CodeRow& row) {
  std::string out = std::string(row.id) + " (" + kind_word(row.kind) + ", " + std::string(row.name) + ")\n\n";
  out += std::string(row.meaning) + "\n\n";
  const std::string asked = opt_in_warning(row.name) ? " -W" + std::string(row.name) : "";
  out += "Example: `scenario-builder check Prova_linea.txt Prova_1-.txt" + asked + "` on\n\nProva_linea.txt:\n";
  out += shown_example(row.line_example, kLineStart);
  out += "Prova_1-.txt:\n";
  out += shown_example(row.train_example, kTrainStart);
  out += "\nFix: " + std::string(row.fix) + "\n";
  return out;
}

std::string code_table_markdown() {
  std::string out = "| code | name | meaning | fix |\n| --- | --- | --- | --- |\n";
  for (const CodeRow& row : kRows) {
    out += "| `" + std::string(row.id) + "` | " + std::string(row.name) + " | " + std::string(row.meaning) + " | " +
           std::string(row.fix) + " |\n";
  }
  return out;
}

}  // namespace sb
