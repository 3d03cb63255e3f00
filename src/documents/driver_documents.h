// The driver's documents of an author's own scenario, made from what the
// descriptions put into the scenario: the timetable card and the slowdown
// order in the layouts of the built-in ones (builtin/documents.h), and the
// author's notes in the documents' character set. Every text is
// Windows-1252 with CR LF after every line, the last one included.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostics.h"
#include "base/files.h"
#include "model/scenario.h"
#include "model/scenario_files.h"

namespace sb {

// What the descriptions do not hold; an empty value leaves its box blank.
// Windows-1252.
struct DocumentOptions {
  std::string classification;  // the card's "CLASSIFICAZIONE" box, e.g. "REG"
  std::string blocked_mass;    // the card's "MASSA BLOCCATA" box, e.g. "530T"
  std::string line_name;       // the order's line; empty: first and last station joined by "-"
};

// The timetable card ROUTE_TRAIN_scheda_treno.txt.
std::string timetable_card(const Scenario& scenario, const DocumentOptions& options);
// The slowdown order ROUTE_TRAIN_rallentamenti.txt.
std::string slowdown_order(const Scenario& scenario, const DocumentOptions& options);

// The notes ROUTE_TRAIN_note.txt from an author's text, UTF-8 or
// Windows-1252: a text that is valid UTF-8 is taken as UTF-8 (a leading
// byte order mark dropped), any other as Windows-1252. Line ends (LF, CR
// LF or CR) become CR LF. A character Windows-1252 has no byte for is
// written as "?", with a warning "notes-character" at its line of `file`
// (past the warning limit, counted only).
struct NotesDocument {
  std::string bytes;
  Diagnostics warnings;
};
NotesDocument notes_document(std::string_view text, const std::string& file);

// The documents that go with a compile.
struct DriverDocuments {
  std::string timetable_card;
  std::string slowdown_order;
  std::optional<std::string> notes;  // none: no notes file
};
DriverDocuments driver_documents(const Scenario& scenario, const DocumentOptions& options);
// Adds them to `outputs` in the order card, slowdown order, notes.
void stage_driver_documents(const DriverDocuments& documents, const ScenarioFiles& files, OutputSet& outputs);

}  // namespace sb
