// File names of a run, all built from the route name and the train number.
#pragma once

#include <string>

namespace sb {

struct ScenarioFiles {
  std::string dir;  // the directory every file lives in
  std::string route;
  std::string train;

  std::string line_description() const { return at(route + "_linea.txt"); }
  std::string train_description() const { return at(route + "_" + train + "-.txt"); }
  std::string notes() const { return at(route + "_" + train + "_note.txt"); }
  std::string slowdown_order() const { return at(route + "_" + train + "_rallentamenti.txt"); }
  std::string timetable_card() const { return at(route + "_" + train + "_scheda_treno.txt"); }
  std::string line_plan() const { return at(route + "_linea.dat"); }
  std::string scenario_table() const { return at(route + "_" + train + ".sim"); }
  std::string track_cells() const { return at(route + "_" + train + ".dat"); }

 private:
  std::string at(const std::string& name) const { return dir + "/" + name; }
};

}  // namespace sb
