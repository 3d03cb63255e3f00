// The line description of the built-in route, written line for line as the
// reader expects it: a comma and two blanks between fields, a comma and five
// blanks before a board text, empty right-hand speeds written as nothing.
#include <string_view>
#include <vector>

#include "builtin/builtin_content.h"
#include "text/text_writer.h"

namespace sb {

const std::vector<std::string_view>& builtin_line_lines() {
  static const std::vector<std::string_view> lines = {
      "[generale]",
      "lunghezza percorso,  88000",
      "progressiva chilometrica uno,  0,  5200,  0",
      "progressiva chilometrica due,  31700,  44400,  1",
      "progressiva chilometrica tre,  0,  0,  0",
      "sfondo uno,  1",
      "sfondo due,  0",
      "sfondo tre,  0",
      "ripetizione segnali 4 codici,  0,  0",
      "[curve]",
      "curvad6,  100,  400",
      "curvas4,  700,  100",
      "curvad3,  1100,  200",
      "curvas3,  1450,  200",
      "curvad3,  2250,  150",
      "curvas3,  2500,  150",
      "curvas2,  4100,  200",
      "curvas4,  7100,  300",
      "curvad3,  10200,  400",
      "curvad4,  12600,  300",
      "curvas5,  20300,  800",
      "curvad4,  21200,  300",
      "curvad2,  23350,  400",
      "curvas2,  28750,  450",
      "curvad4,  30800,  400",
      "curvas2,  31350,  50",
      "curvad2,  31400,  50",
      "curvad4,  31900,  700",
      "curvas4,  42750,  1000",
      "[pendenze]",
      "pendenza,  16050,  2",
      "pendenza,  18800,  5",
      "pendenza,  19300,  -4",
      "pendenza,  20800,  -6",
      "pendenza,  21800,  -4",
      "pendenza,  23800,  0",
      "pendenza,  28300,  6",
      "pendenza,  30300,  0",
      "pendenza,  44400,  0",
      "[montagne]",
      "[cartelli]",
      "indicatori_vmax,  1250,  90,  90,  90,  0,  ,  ,  ,  0",
      "indicatori_vmax,  4100,  130,  140,  140,  0,  ,  ,  ,  0",
      "indicatori_vmax,  18500,  100,  105,  105,  2,  ,  ,  ,  0",
      "indicatori_vmax,  18700,  100,  105,  105,  1,  ,  ,  ,  0",
      "indicatori_vmax,  18900,  100,  105,  105,  0,  ,  ,  ,  0",
      "indicatori_vmax,  21700,  130,  140,  140,  0,  ,  ,  ,  0",
      "[indicazioni]",
      "cartello_indicatore,  1300,     (   P.L.  )(km 6+532)",
      "cartello_indicatore,  2400,     (Confluenza da)(  CINTURA)",
      "cartello_indicatore,  4350,     (   P.L.  )(km 9+540)",
      "cartello_indicatore,  7400,     ( Casello)(12 + 600)",
      "cartello_indicatore,  7550,     ( Avviso fermata )(    Fornasco)(      / /)",
      "cartello_indicatore,  7750,     ( Avviso fermata )(    Fornasco)(       /)",
      "cartello_indicatore,  8800,     ( Ex raccordo  )(stabilimento)( industriale)",
      "cartello_indicatore,  11100,     ( Ex raccordo  )(stabilimento)( industriale)",
      "cartello_indicatore,  11500,     (   P.L.  )(km 16+709)",
      "cartello_indicatore,  11800,     (   P.L.  )(km 17+048)",
      "cartello_indicatore,  12500,     (   P.L.  )(km 17+745)",
      "cartello_indicatore,  13500,     (   P.L.  )(km 18+745)",
      "cartello_indicatore,  14550,     (   P.L.  )(km 19+772)",
      "cartello_indicatore,  15850,     (   P.L.  )(km 21+093)",
      "cartello_indicatore,  17700,     (   P.L.  )(km 22+921)",
      "cartello_indicatore,  19150,     (   P.L.  )(km 24+471)",
      "cartello_indicatore,  19600,     (CANALONE)( GRANDE)",
      "cartello_indicatore,  20750,     (   P.L.  )(km 25+980)",
      "cartello_indicatore,  20950,     (   P.L.  )(km 26+187)",
      "cartello_indicatore,  21600,     (   P.L.  )(km 26+803)",
      "cartello_indicatore,  22000,     (   P.L.  )(km 27+208)",
      "cartello_indicatore,  23550,     (  P.L.A. )(km 28+799)",
      "cartello_indicatore,  28000,     (Fiume )(ARVENO)",
      "cartello_indicatore,  30550,     (   P.L.  )(km 35+768)",
      "cartello_indicatore,  31250,     (   P.L.  )(km 36+456)",
      "cartello_indicatore,  31900,     (   P.L.  )(km 12+480)",
      "cartello_indicatore,  32400,     (   P.L.  )(km 11+958)",
      "cartello_indicatore,  35550,     (   P.L.  )(km 8+840)",
      "cartello_indicatore,  37650,     (   P.L.  )(km 6+742)",
      "cartello_indicatore,  39450,     (   P.L.  )(km 4+919)",
      "cartello_indicatore,  41450,     (   P.L.  )(km 2+935)",
      "cartello_indicatore,  42200,     (  P.L.A. )(km 2+185)",
      "cartello_indicatore,  42400,     (   Limite     )(Compartimento)",
      "cartello_indicatore,  43200,     (   P.L.  )(km 1+150)",
      "cartello_indicatore,  43650,     (Confluenza da)(    ORSENA)",
      "cartello_indicatore,  43700,     (   P.L.  )(km 0+662)",
      "cartello_indicatore,  43850,     (Confluenza da)(   ZAMBORLI)",
      "[fine]",
      kEndMarker,
  };
  return lines;
}

void write_line_description(const ScenarioFiles& files) {
  write_text_file(files.line_description(), builtin_line_lines());
}

}  // namespace sb
