// Sets a killed run left half replaced: the commands that read compiled
// files refuse them, and `recover DIR` finishes the replacement.
#pragma once

#include <string>
#include <vector>

namespace sb {

// Names the problem, or returns "", when the directory of one of `paths`
// holds a replacement that a killed run left unfinished.
std::string unfinished_commit_problem(const std::vector<std::string>& paths);

// `recover DIR`: finishes such a replacement (as every writing run into DIR
// does first), and says what it did.
int run_recover(const std::string& dir);

}  // namespace sb
