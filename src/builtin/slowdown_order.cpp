// The slowdown order form (Modulo M. 3) for train 24317: heading, an empty
// table of 26 rows and the lettered prescriptions its last column refers
// to. Fixed ASCII text, nothing computed.
#include <string_view>
#include <vector>

#include "builtin/documents.h"
#include "text/text_writer.h"

namespace sb {

namespace {

constexpr std::string_view kTableRule =
    " |___|____________________________|____________|__________|_________|____________|";
constexpr std::string_view kEmptyRow =
    " |   |                            |            |          |         |            |";
constexpr int kEmptyRows = 26;

}  // namespace

const std::vector<std::string_view>& slowdown_order_lines() {
  static const std::vector<std::string_view> lines = [] {
    std::vector<std::string_view> l = {
        "",
        "                               Modulo M. 3",
        "                           ORDINE DI RALLENTAMENTO",
        " ________________________________________________________________________________",
        "  Linea  Valdra P.ta Calvea-Dorvesa",
        "",
        "  Si ordina al macchinista del treno 24317 di effettuare i seguenti rallentamenti",
        "  _______________________________________________________________________________",
        " |   |                            |Inizio dopo |          |         |            |",
        " | N.|      FRA LE STAZIONI       | il cippo   | Velocita'|Lunghezza|Prescrizioni|",
        " |   |   (o nelle Stazioni di)    |chilometrico|          |   metri | specifiche |",
        kTableRule,
    };
    l.insert(l.end(), kEmptyRows, kEmptyRow);
    // The prescriptions stand as on the printed form: A, B, D, then C with
    // its continuation line (the form's own "Rallentamneto" included).
    l.insert(l.end(), {
                          kTableRule,
                          "",
                          "              Prescrizioni specifiche",
                          " A - Da rispettare con tutto il treno (per i treni viaggiatori)",
                          " B - Interessa anche la stazione di.......",
                          " D - Rallentamneto N. ... e N. ...  sono contigui",
                          " C - Da rispettare dalle ore ....  alle ore ..... di tutti",
                          "     i giorni esclusi i seguenti:.........",
                          kEndMarker,
                      });
    return l;
  }();
  return lines;
}

void write_slowdown_order(const ScenarioFiles& files) {
  write_text_file(files.slowdown_order(), slowdown_order_lines());
}

}  // namespace sb
