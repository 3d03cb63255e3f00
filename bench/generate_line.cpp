// generate-line: writes the benchmark's line and train description files
// for a route of the given length into a directory, and prints their paths.
//
//   generate-line --km 1000 [--seed 1] [--out DIR]
#include <iostream>

#include <CLI/CLI.hpp>

#include "base/failures.h"
#include "base/files.h"
#include "line_generator.h"

int main(int argc, char** argv) {
  CLI::App app{"Writes seeded line and train description files for a long route (for the benchmark)."};
  app.name("generate-line");
  int km = 1000;
  uint32_t seed = 1;
  std::string out = ".";
  app.add_option("--km", km, "Route length in kilometres (60 to 1000)")->check(CLI::Range(60, 1000));
  app.add_option("--seed", seed, "Seed of the random choices");
  app.add_option("--out", out, "Directory for the two files")->check(CLI::ExistingDirectory);
  CLI11_PARSE(app, argc, argv);

  try {
    const sb::bench::GeneratedScenario s = sb::bench::generate_scenario(km, seed);
    const std::string line = sb::join_path(out, s.route + "_linea.txt");
    const std::string train = sb::join_path(out, s.route + "_" + s.train + "-.txt");
    sb::replace_file(line, s.line);
    sb::replace_file(train, s.train_description);
    std::cout << line << '\n' << train << '\n';
  } catch (const sb::FileSystemError& e) {
    std::cerr << "generate-line: " << e.what() << '\n';
    return 4;
  }
  return 0;
}
