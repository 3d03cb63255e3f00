#include "commands/recover.h"

#include <iostream>

#include "base/failures.h"
#include "base/files.h"
#include "commands/commands.h"
#include "commands/report.h"

namespace sb {

std::string unfinished_commit_problem(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    const std::string dir = directory_of(path);
    if (has_unfinished_commit(dir)) {
      return dir +
             " holds files that a killed run was replacing: they may be part old, part new; run "
             "'scenario-builder recover " +
             dir + "' to finish the replacement first";
    }
  }
  return "";
}

int run_recover(const std::string& dir) {
  try {
    check_output_directory(dir);
    if (!has_unfinished_commit(dir)) {
      std::cout << "nothing to finish in " << dir << '\n';
      return kExitSuccess;
    }
    const std::size_t finished = finish_unfinished_commit(dir);
    std::cout << "finished the replacement a killed run had begun in " << dir << ": " << finished
              << (finished == 1 ? " file" : " files") << " put in place\n";
    return kExitSuccess;
  } catch (const FileSystemError& e) {
    print_error(e.what());
    return kExitFileSystem;
  }
}

}  // namespace sb
