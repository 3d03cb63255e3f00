// The train description of the built-in train, written line for line as the
// reader expects it: a comma and two blanks between fields, the station name
// after a comma and three blanks, the clock's three numbers apart by blanks.
#include <string_view>
#include <vector>

#include "builtin/builtin_content.h"
#include "text/text_writer.h"

namespace sb {

const std::vector<std::string_view>& builtin_train_lines() {
  static const std::vector<std::string_view> lines = {
      "[generale]",
      "numero vetture,  6",
      "percentuale massa frenata,  130",
      "sabbia,  300",
      "orologio,     5               56            50",
      "[aderenze]",
      "aderenza,  0,  100",
      "[vel_limite]",
      "velocita,  0,  30",
      "velocita,  1250,  90",
      "velocita,  4100,  130",
      "velocita,  19600,  100",
      "velocita,  21700,  130",
      "velocita,  43700,  60",
      "[stazioni]",
      "stazione,  0,  12,  800,  0,  0,  0,  1,  1,  0,  4,  1,  1,  1,  5,  57,  0,   VALDRA P.CALVEA",
      "stazione,  3400,  2,  600,  0,  0,  0,  1,  1,  0,  4,  1,  1,  60,  6,  3,  0,   VALDRA S.GUALTIERIO",
      "stazione,  5700,  12,  600,  0,  0,  1,  1,  1,  0,  4,  1,  1,  60,  6,  7,  0,   LOMENZA",
      "stazione,  8750,  27,  300,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,   FORNASCO",
      "stazione,  12150,  12,  600,  1,  0,  1,  4,  1,  1,  2,  1,  1,  60,  6,  19,  0,   CAVRENTO",
      "stazione,  21300,  12,  600,  1,  0,  1,  4,  1,  1,  2,  1,  1,  60,  6,  33,  0,   CASTELFRAVONE",
      "stazione,  31700,  12,  500,  1,  0,  0,  4,  1,  0,  2,  1,  1,  60,  6,  48,  0,   BELMONZA",
      "stazione,  39100,  12,  600,  1,  0,  1,  4,  1,  1,  2,  1,  1,  60,  6,  59,  0,   LUSERA",
      "stazione,  44400,  4,  600,  0,  0,  0,  1,  1,  0,  2,  1,  1,  0,  7,  4,  0,   DORVESA",
      "[rallentamenti]",
      "[segnali]",
      "segnale,  1200,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0",
      "segnale,  2450,  2,  3,  1,  0,  0,  0,  0,  0,  0,  0",
      "segnale,  4700,  2,  3,  1,  0,  0,  0,  0,  0,  0,  0",
      "segnale,  10150,  1,  5,  6,  0,  0,  0,  0,  0,  0,  0",
      "segnale,  11350,  2,  2,  3,  0,  1,  0,  0,  0,  0,  0",
      "segnale,  19350,  1,  3,  4,  0,  0,  0,  0,  0,  0,  0",
      "segnale,  20600,  2,  2,  3,  0,  0,  0,  0,  0,  0,  0",
      "segnale,  29250,  1,  3,  4,  0,  0,  0,  0,  0,  0,  0",
      "segnale,  30450,  2,  2,  3,  0,  0,  0,  0,  0,  0,  0",
      "segnale,  37100,  1,  5,  6,  0,  0,  0,  0,  0,  0,  0",
      "segnale,  38300,  2,  2,  3,  0,  1,  0,  0,  0,  0,  0",
      "segnale,  41900,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0",
      "segnale,  43150,  2,  3,  1,  0,  0,  0,  0,  0,  0,  0",
      "[codici]",
      "[fine]",
      kEndMarker,
  };
  return lines;
}

void write_train_description(const ScenarioFiles& files) {
  write_text_file(files.train_description(), builtin_train_lines());
}

}  // namespace sb
