// The author's notes in the documents' character set and line ends.
#include <string>

#include "base/encoding.h"
#include "documents/driver_documents.h"

namespace sb {

NotesDocument notes_document(std::string_view text, const std::string& file) {
  const bool utf8 = is_valid_utf8(text);
  if (utf8 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  NotesDocument notes;
  int number = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(at, end - at);
    ++number;
    if (!utf8) {
      notes.bytes += line;
    } else {
      std::vector<std::string> lost;
      notes.bytes += utf8_to_1252_replacing(line, '?', lost);
      if (!lost.empty()) {
        std::string list;
        for (const std::string& l : lost) list += (list.empty() ? "" : ", ") + l;
        Diagnostic d;
        d.severity = Severity::kWarning;
        d.file = file;
        d.line = number;
        d.name = "notes-character";
        d.message = "the notes are written in Windows-1252, which has no byte for " + list + ": written as \"?\"";
        notes.warnings.add(std::move(d));
      }
    }
    notes.bytes += "\r\n";
    // One line end: CR LF, LF or CR.
    at = text.substr(end, 2) == "\r\n" ? end + 2 : end + 1;
  }
  return notes;
}

}  // namespace sb
