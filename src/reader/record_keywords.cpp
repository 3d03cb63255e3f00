#include "reader/record_keywords.h"

#include "reader/description_reader.h"

namespace sb {

// A new record is one row here and its handler in the reader. Rows are
// tested in order, each on its own: a field holding two keywords is both
// records, in the order of the rows.
struct RecordKeywordTables {
  using R = DescriptionReader;
  static constexpr KeywordCase kAsWritten = KeywordCase::kAsWritten;

  // The line description file: its general part...
  static constexpr RecordKeyword kLineGeneral[] = {
      {.name = "lunghezza percorso", .stems = {"lunghezza", "percorso"}, .values = 1, .handler = &R::route_length},
      {.name = "progressiva chilometrica",
       .stems = {"progressiva"},
       .case_rule = kAsWritten,
       .words = {"tre", "due", "uno"},
       .values = 3,
       .handler = &R::chainage_system,
       .spellings = {"progressiva chilometrica uno", "progressiva chilometrica due", "progressiva chilometrica tre"}},
      {.name = "sfondo",
       .stems = {"sfondo"},
       .case_rule = kAsWritten,
       .words = {"uno", "due", "tre"},
       .values = 1,
       .handler = &R::scenery,
       .spellings = {"sfondo uno", "sfondo due", "sfondo tre"}},
      {.name = "ripetizione segnali",
       .stems = {"ripetizione", "segnali"},
       .case_rule = kAsWritten,
       .values = 2,
       .handler = &R::repetition,
       .spellings = {"ripetizione segnali 4 codici"}},
  };

  // ...and its main part.
  static constexpr RecordKeyword kLineMain[] = {
      {.name = "pendenza", .stems = {"pendenza"}, .values = 2, .handler = &R::gradient},
      {.name = "curva", .stems = {"curva"}, .values = 2, .handler = &R::curve, .needs_plan = true},
      {.name = "montagna", .stems = {"montagna"}, .values = 3, .handler = &R::montagna},
      {.name = "indicatori_vmax",
       .stems = {"indicatori_v"},
       .values = 9,
       .handler = &R::speed_board,
       .marker = "indicat"},
      {.name = "cartello_indicatore", .stems = {"cartello", "indicat"}, .values = 2, .handler = &R::line_board},
  };

  // The train description file.
  static constexpr RecordKeyword kTrain[] = {
      {.name = "percentuale massa frenata", .stems = {"frenata", "massa"}, .values = 1, .handler = &R::braked_mass},
      {.name = "numero vetture", .stems = {"vetture"}, .values = 1, .handler = &R::coaches},
      {.name = "velocita",
       .stems = {"velocit"},
       .values = 2,
       .handler = &R::speed,
       .stretch_value = "speed limit",
       .missing_loses_input = true},
      {.name = "aderenza", .stems = {"aderenza"}, .values = 2, .handler = &R::adhesion, .stretch_value = "adhesion"},
      {.name = "orologio", .stems = {"orologio"}, .values = 3, .handler = &R::clock},
      {.name = "sabbia", .stems = {"sabbia"}, .values = 1, .handler = &R::sand},
      {.name = "segnale", .stems = {"segnale"}, .values = 11, .handler = &R::signal},
      {.name = "rallentamento", .stems = {"rallentamento"}, .values = 6, .handler = &R::slowdown},
      {.name = "abbattimento", .stems = {"abbattimento"}, .values = 2, .handler = &R::abbattimento},
      {.name = "stazione", .stems = {"stazione"}, .values = 17, .handler = &R::station},
  };
};

std::span<const RecordKeyword> record_keywords(RecordPart part) {
  switch (part) {
    case RecordPart::kLineGeneral: return RecordKeywordTables::kLineGeneral;
    case RecordPart::kLineMain: return RecordKeywordTables::kLineMain;
    case RecordPart::kTrain: break;
  }
  return RecordKeywordTables::kTrain;
}

std::span<const std::string_view> spellings(const RecordKeyword& keyword) {
  std::size_t n = 0;
  while (n < keyword.spellings.size() && !keyword.spellings[n].empty()) ++n;
  if (n == 0) return {&keyword.name, 1};
  return {keyword.spellings.data(), n};
}

std::string_view marker(const RecordKeyword& keyword) {
  return keyword.marker.empty() ? keyword.stems[0] : keyword.marker;
}

}  // namespace sb
