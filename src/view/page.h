// The view page: one self-contained HTML file (inline SVG, CSS and a little
// plain JavaScript, nothing fetched) showing the line plan, the profile
// with the speed limits, the elements, the timetable, the diagnostics and
// the check codes of one scenario. Hovering or clicking an element in any
// part highlights it everywhere and shows its decoded values.
//
// Loaded with the fragment #selftest, the page checks itself and writes
// the result into <pre id="selftest">: the count of distinct drawn elements
// per kind, the script errors seen, and whether hovering filled the details.
#pragma once

#include <string>

#include "view/page_model.h"

namespace sb::view {

std::string render_page(const PageModel& model);

// Windows-1252 bytes as UTF-8; bytes with no character, and control
// characters other than tab and line feed, become U+FFFD.
std::string page_text_utf8(const std::string& text);
// UTF-8 from Windows-1252, with & < > " ' escaped for HTML text and attributes.
std::string html_text(const std::string& text_1252);

}  // namespace sb::view
