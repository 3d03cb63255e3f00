// `scenario-builder explain CODE`: what a code, fatal check or warning
// means, an example that raises it and how to fix it.
#include <iostream>

#include "commands/code_table.h"
#include "commands/commands.h"

namespace sb {

int run_explain(const std::vector<std::string>& ids) {
  if (ids.empty() || ids[0] == "--help" || ids[0] == "-h") {
    std::cout << "Usage: scenario-builder explain CODE...\n\n"
                 "What an error code (E16 or 16), a fatal check (E1250, no-track-cells), a warning (-Wtab or tab)\n"
                 "or root-cause means, a small example that raises it, and how to fix it. `explain --list` lists\n"
                 "every one.\n";
    return ids.empty() ? kExitUsage : kExitSuccess;
  }
  if (ids[0] == "--list") {
    for (const CodeRow& row : code_table()) std::cout << row.id << "  " << row.name << '\n';
    return kExitSuccess;
  }
  if (ids[0] == "--markdown") {
    std::cout << code_table_markdown();
    return kExitSuccess;
  }
  int status = kExitSuccess;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const CodeRow* row = find_code_row(ids[i]);
    if (row == nullptr) {
      std::cerr << "scenario-builder: error: no code or warning \"" << ids[i]
                << "\"; `scenario-builder explain --list` lists them\n";
      status = kExitUsage;
      continue;
    }
    if (i > 0) std::cout << '\n';
    std::cout << explanation(*row);
  }
  return status;
}

}  // namespace sb
