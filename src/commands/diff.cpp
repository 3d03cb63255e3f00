#include "commands/diff.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>

#include "format/compiled_file.h"
#include "track/check_codes.h"
#include "track/markers.h"
#include "format/compiled_meaning.h"
#include "format/plan_summary.h"
#include "base/encoding.h"
#include "base/text_format.h"
#include "commands/recover.h"
#include "model/chainage.h"
#include "base/failures.h"
#include "base/files.h"

namespace sb {
namespace {

constexpr const char* kArrow = " \u2192 ";

struct Usage {
  std::string what;
};

// "cell 204 (10 150 m, chainage km 12.345)": the chainage from the table
// of A, or of B when A has none, when either defines a system.
std::string cell_place(std::size_t index, const TableRecords* ta, const TableRecords* tb) {
  const int64_t position = element_position(static_cast<int64_t>(index));
  const TableRecords* table = has_chainage_systems(ta) ? ta : has_chainage_systems(tb) ? tb : nullptr;
  std::string place = "cell " + std::to_string(index) + " (" + metres_text(position);
  if (table != nullptr) {
    const auto chainage = table_chainage(table, position);
    place += ", " + chainage_note(chainage);
  }
  return place + ")";
}

class Differ {
 public:
  explicit Differ(std::ostream& out) : out_(out) {}
  int differences() const { return count_; }

  void line(const std::string& text) {
    out_ << text << "\n";
    ++count_;
  }

  void cells(const std::vector<CellRecord>& a, const std::vector<CellRecord>& b, const TableRecords* ta,
             const TableRecords* tb) {
    if (a.size() != b.size()) {
      line("cells: " + std::to_string(a.size()) + kArrow + std::to_string(b.size()) + " cells (route length about " +
           metres_text(static_cast<int64_t>(a.size()) * 50 - 7050) + kArrow +
           metres_text(static_cast<int64_t>(b.size()) * 50 - 7050) + ")");
    }
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
      if (i >= common) {
        const bool in_a = i < a.size();
        const TrackCell c = track_cell(in_a ? a[i] : b[i]);
        if (cell_holds_something(i, c))
          line(cell_place(i, ta, tb) + ": only in " + (in_a ? "A" : "B") + ": " + cell_meaning(i, c, in_a ? ta : tb));
        continue;
      }
      if (a[i] == b[i] && ta == nullptr && tb == nullptr) continue;
      const TrackCell ca = track_cell(a[i]), cb = track_cell(b[i]);
      const CellMeaning ma = cell_meaning_parts(i, ca, ta), mb = cell_meaning_parts(i, cb, tb);
      if (ma.name == mb.name && ma.parts == mb.parts) continue;
      if (ma.name != mb.name) {
        line(cell_place(i, ta, tb) + ": " + or_nothing(cell_meaning(i, ca, ta)) + kArrow +
             or_nothing(cell_meaning(i, cb, tb)));
        continue;
      }
      // The same kind: only the values that changed, by label.
      std::vector<std::string> changes;
      std::map<std::string, std::string> old_parts(ma.parts.begin(), ma.parts.end());
      std::map<std::string, std::string> new_parts(mb.parts.begin(), mb.parts.end());
      for (const auto& [label, value] : ma.parts) {
        auto it = new_parts.find(label);
        const std::string now = it == new_parts.end() ? "(none)" : it->second;
        if (now != value) changes.push_back(label_prefix(label) + value + kArrow + now);
      }
      for (const auto& [label, value] : mb.parts) {
        if (old_parts.find(label) == old_parts.end())
          changes.push_back(label_prefix(label) + "(none)" + kArrow + value);
      }
      std::string text;
      for (const std::string& c : changes) text += (text.empty() ? "" : "; ") + c;
      line(cell_place(i, ta, tb) + ": " + (ma.name.empty() ? "" : ma.name + " ") + text);
    }
    profiles(a, b);
  }

  void table(const TableRecords& a, const TableRecords& b) {
    for (int s = 0; s < kTableSlots; ++s) {
      const TableRecord& ra = a[static_cast<std::size_t>(s)];
      const TableRecord& rb = b[static_cast<std::size_t>(s)];
      const SlotRole role_a = slot_role(s, ra), role_b = slot_role(s, rb);
      const auto fa = slot_fields(s, ra), fb = slot_fields(s, rb);
      if (role_a != role_b) {
        line("slot " + std::to_string(s) + ": " + summary(s, ra) + kArrow + summary(s, rb));
        continue;
      }
      const std::string title = slot_title(s, ra);
      std::map<std::string, std::string> new_fields, old_fields;
      for (const MeaningField& field : fa) old_fields.emplace(field.label, field.text);
      for (const MeaningField& field : fb) new_fields.emplace(field.label, field.text);
      for (const auto& [label, value] : labelled_texts(fa)) {
        auto it = new_fields.find(label);
        const std::string now = it == new_fields.end() ? "(none)" : it->second;
        if (now != value) line(title + ": " + label + " " + value + kArrow + now);
      }
      for (const auto& [label, value] : labelled_texts(fb)) {
        if (old_fields.find(label) == old_fields.end()) line(title + ": " + label + " (none)" + kArrow + value);
      }
    }
  }

  void plan(const LinePlanStream& a, const LinePlanStream& b) {
    if (a.metres() != b.metres()) {
      line("plan: metres 0 to " + grouped(a.last_metre()) + kArrow + "0 to " + grouped(b.last_metre()));
    }
    const uint64_t common = std::min(a.metres(), b.metres());
    std::optional<uint64_t> first_difference;
    LinePlanStream::Cursor ca_metres = a.cursor(), cb_metres = b.cursor();
    PlanMetre ma, mb;
    for (uint64_t m = 0; m < common && !first_difference; ++m) {
      ca_metres.next(ma);
      cb_metres.next(mb);
      if (!(ma.first == mb.first) || !(ma.second == mb.second)) first_difference = m;
    }
    if (!first_difference && a.metres() == b.metres()) return;
    const PlanSummary sa = summarise_plan(a), sb_summary = summarise_plan(b);
    const std::string metre = first_difference ? grouped(static_cast<int64_t>(*first_difference))
                                               : grouped(static_cast<int64_t>(common)) + " (past the shorter plan)";
    const auto& ca = sa.curves;
    const auto& cb = sb_summary.curves;
    std::size_t k = 0;
    while (k < ca.size() && k < cb.size() && ca[k] == cb[k]) ++k;
    if (k == ca.size() && k == cb.size()) {
      line("plan: the same curves; first differing metre " + metre);
      return;
    }
    int64_t from = INT64_MAX;
    if (k < ca.size()) from = std::min(from, ca[k].start);
    if (k < cb.size()) from = std::min(from, cb[k].start);
    line("plan: curves from " + metres_text(from) + " differ; first differing metre " + metre);
    for (const CurveRun& r : ca) {
      if (std::find(cb.begin(), cb.end(), r) == cb.end()) line("plan: curve only in A: " + curve_text(r));
    }
    for (const CurveRun& r : cb) {
      if (std::find(ca.begin(), ca.end(), r) == ca.end()) line("plan: curve only in B: " + curve_text(r));
    }
  }

 private:
  static std::string or_nothing(const std::string& s) { return s.empty() ? "nothing" : s; }
  static std::string label_prefix(const std::string& label) { return label.empty() ? "" : label + " "; }

  // The fields as (label, text), in listing order.
  static std::vector<std::pair<std::string, std::string>> labelled_texts(const std::vector<MeaningField>& fields) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const MeaningField& field : fields) out.emplace_back(field.label, field.text);
    return out;
  }

  static std::string summary(int s, const TableRecord& r) {
    std::string text = slot_role_name(slot_role(s, r));
    for (const MeaningField& field : slot_fields(s, r)) text += ", " + field.label + " " + field.text;
    return text;
  }

  // The profiles as runs of cells that changed the same way.
  void profiles(const std::vector<CellRecord>& a, const std::vector<CellRecord>& b) {
    struct Profile {
      const char* name;
      int64_t (*field)(const CellRecord&);
      const char* unit;
    };
    static const Profile list[] = {
        {"gradient", [](const CellRecord& c) { return int64_t{c.gradient} - 100; }, " \u2030"},
        {"speed limit", [](const CellRecord& c) { return int64_t{c.speed_code} * 5; }, " km/h"},
        {"adhesion", [](const CellRecord& c) { return int64_t{c.adhesion}; }, ""},
        {"montagna type", [](const CellRecord& c) { return int64_t{c.montagna_type}; }, ""},
    };
    const std::size_t common = std::min(a.size(), b.size());
    for (const Profile& p : list) {
      std::size_t i = 0;
      while (i < common) {
        const int64_t va = p.field(a[i]), vb = p.field(b[i]);
        if (va == vb) {
          ++i;
          continue;
        }
        std::size_t j = i;
        while (j + 1 < common && p.field(a[j + 1]) == va && p.field(b[j + 1]) == vb) ++j;
        line("cells " + std::to_string(i) + "-" + std::to_string(j) + " (" + metres_text(static_cast<int64_t>(i) * 50) +
             " to " + metres_text(static_cast<int64_t>(j) * 50 + 50) + "): " + p.name + " " + std::to_string(va) +
             kArrow + std::to_string(vb) + p.unit);
        i = j + 1;
      }
    }
  }

  std::ostream& out_;
  int count_ = 0;
};

bool is_directory(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

// The OLD NEW pairs to compare, by kind.
std::map<CompiledKind, std::pair<std::string, std::string>> pairs_of(const DiffOptions& o) {
  std::map<CompiledKind, std::pair<std::string, std::string>> pairs;
  const bool dirs = o.paths.size() == 2 && is_directory(o.paths[0]) && is_directory(o.paths[1]);
  if (dirs) {
    if (o.route.empty() || o.train.empty()) throw Usage{"two directories need --route and --train"};
    auto in = [&](int side, const std::string& name) {
      return join_path(o.paths[static_cast<std::size_t>(side)], name);
    };
    const std::string plan = o.route + "_linea.dat";
    if (file_exists(in(0, plan)) || file_exists(in(1, plan))) pairs[CompiledKind::kPlan] = {in(0, plan), in(1, plan)};
    const std::string stem = o.route + "_" + o.train;
    pairs[CompiledKind::kTable] = {in(0, stem + ".sim"), in(1, stem + ".sim")};
    pairs[CompiledKind::kCells] = {in(0, stem + ".dat"), in(1, stem + ".dat")};
    return pairs;
  }
  if (!o.route.empty() || !o.train.empty()) throw Usage{"--route and --train belong to two directories"};
  if (o.paths.size() % 2 != 0 || o.paths.size() > 6) {
    throw Usage{"give two directories, or one to three file pairs OLD NEW"};
  }
  for (std::size_t i = 0; i < o.paths.size(); i += 2) {
    const auto ka = kind_from_name(o.paths[i]), kb = kind_from_name(o.paths[i + 1]);
    if (!ka || !kb)
      throw Usage{"cannot tell the kind of " + o.paths[ka ? i + 1 : i] + " from its name (_linea.dat, .sim, .dat)"};
    if (*ka != *kb) throw Usage{o.paths[i] + " and " + o.paths[i + 1] + " are not of the same kind"};
    if (pairs.count(*ka) != 0) throw Usage{std::string("two pairs of ") + kind_word(*ka) + " files"};
    pairs[*ka] = {o.paths[i], o.paths[i + 1]};
  }
  return pairs;
}

}  // namespace

int run_diff(const DiffOptions& options, std::ostream& out, std::ostream& err) {
  std::map<CompiledKind, std::pair<std::string, std::string>> pairs;
  try {
    pairs = pairs_of(options);
  } catch (const Usage& u) {
    err << "scenario-builder: error: diff: " << u.what << "\n";
    return 2;
  }
  std::vector<std::string> paths_read;
  for (const auto& [kind, paths] : pairs) paths_read.insert(paths_read.end(), {paths.first, paths.second});
  if (const std::string unfinished = unfinished_commit_problem(paths_read); !unfinished.empty()) {
    err << "scenario-builder: error: " << unfinished << "\n";
    return 1;
  }
  std::map<CompiledKind, std::pair<CompiledFile, CompiledFile>> loaded;
  std::string current;
  try {
    for (const auto& [kind, paths] : pairs) {
      current = paths.first;
      CompiledFile a = load_compiled(paths.first, kind);
      current = paths.second;
      CompiledFile b = load_compiled(paths.second, kind);
      loaded.emplace(kind, std::make_pair(std::move(a), std::move(b)));
    }
  } catch (const DecodeError& e) {
    err << format_decode_error(current, e) << "\n";
    return 2;
  } catch (const FileSystemError& e) {
    err << "scenario-builder: error: " << e.what() << "\n";
    return 2;
  }

  // A cell file that disagrees with its table is as damaged as one that
  // does not decode.
  if (loaded.count(CompiledKind::kCells) != 0 && loaded.count(CompiledKind::kTable) != 0) {
    const auto& cells = loaded.at(CompiledKind::kCells);
    const auto& tables = loaded.at(CompiledKind::kTable);
    bool damaged = false;
    for (const auto& [c, t] : {std::pair{&cells.first, &tables.first}, std::pair{&cells.second, &tables.second}}) {
      const std::string disagreement = cells_table_disagreement(c->path, c->cells.size(), t->path, t->table);
      if (!disagreement.empty()) err << disagreement << "\n";
      damaged = damaged || !disagreement.empty();
    }
    if (damaged) return 2;
  }
  Differ differ(out);
  const TableRecords* ta = nullptr;
  const TableRecords* tb = nullptr;
  if (auto it = loaded.find(CompiledKind::kTable); it != loaded.end()) {
    ta = &it->second.first.table;
    tb = &it->second.second.table;
    differ.table(*ta, *tb);
  }
  if (auto it = loaded.find(CompiledKind::kCells); it != loaded.end())
    differ.cells(it->second.first.cells, it->second.second.cells, ta, tb);
  if (auto it = loaded.find(CompiledKind::kPlan); it != loaded.end())
    differ.plan(*it->second.first.plan, *it->second.second.plan);
  return differ.differences() == 0 ? 0 : 1;
}

}  // namespace sb
