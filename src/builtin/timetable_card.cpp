// The timetable card of train 24317: heading box, classification and
// braked-mass boxes, and the timetable grid. Fixed text, nothing computed.
#include <string_view>
#include <vector>

#include "builtin/documents.h"
#include "text/text_writer.h"

namespace sb {

const std::vector<std::string_view>& timetable_card_lines() {
  // One byte per character (Windows-1252): the only non-ASCII character is
  // the a-grave of "Localita", byte 0xE0. Line 9 keeps its trailing blanks.
  static const std::vector<std::string_view> lines = {
      "",
      "",
      "  ___________________                                               ______________",
      " |                   |                    SCHEDA                   |              |",
      " |   TRENO n.24317   |                da: Valdra P.ta Calvea       |    V130 A    |",
      " |___________________|                 a: Valtorrenza              |    130 %     |",
      "                                                                   |______________|",
      "  ___________________                ___________________",
      " |  CLASSIFICAZIONE  |              |  MASSA BLOCCATA   |       ",
      " |       REG         |              |      530T         |",
      " |___________________|              |___________________|",
      "",
      "  ________________________________________________________________________________",
      " | Vel.| Vel.| Progr Km |  No |   Localit\xE0"
      "  di  Servizio   |     Orario     | Rec |",
      " | Lim.|Marc.|          |  Rs |                            |                |     |",
      " |_____|_____|__________|_____|____________________________|________________|_____|",
      " |  30 |  30 |     5.200|     | VALDRA P.CALVEA            |       5.57     |     |",
      " |  90 |  90 |     6.450|     |                            |                |     |",
      " |     |     |     8.600|     | VALDRA S.GUALTIERIO        |   6.01 -  6.03 |     |",
      " | 130 | 120 |     9.300|     |                            |                |     |",
      " |     |     |    10.900|     | LOMENZA                    |   6.06 -  6.07 |     |",
      " |     |     |    13.950|     | FORNASCO                   |       6.09     |     |",
      " |     |     |    17.350|     | CAVRENTO                   |   6.11 -  6.19 |     |",
      " | 100 |  90 |    24.800|     | Ponte Canalone Grande      |                |     |",
      " |     |     |    26.500|     | CASTELFRAVONE              |   6.25 -  6.33 |     |",
      " | 130 | 120 |    26.900|     |                            |                |     |",
      " |     |     |    12.700|     | BELMONZA                   |   6.40 -  6.48 |     |",
      " |     |     |     5.250|     | LUSERA                     |   6.54 -  6.59 |     |",
      " |  60 |  60 |    43.700|     |                            |                |     |",
      " |     |     |    40.800|     | DORVESA                    |       7.04     |     |",
      " |     |     |          |     |                            |                |     |",
      " |     |     |          |     |                            |                |     |",
      " |_____|_____|__________|_____|____________________________|________________|_____|",
      "",
      "",
      "",
      " ",
      kEndMarker,
  };
  return lines;
}

void write_timetable_card(const ScenarioFiles& files) {
  write_text_file(files.timetable_card(), timetable_card_lines());
}

}  // namespace sb
