# Writes OUT, a header holding the page's style and scripts as C++ string
# literals: kStyle is "\n" + page.css, kScript is page.js, then the
# boundary between two script elements, then page_selftest.js.
file(READ "${CSS}" css)
file(READ "${JS}" js)
file(READ "${SELFTEST_JS}" selftest)
set(delimiter "sbasset")
foreach(text IN ITEMS "${css}" "${js}" "${selftest}")
  string(FIND "${text}" ")${delimiter}\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "a page asset holds the literal's closing delimiter")
  endif()
endforeach()
file(WRITE "${OUT}.tmp"
"// Generated from src/view/page.css, page.js and page_selftest.js; do not edit.
#pragma once

namespace sb::view::page_assets {

inline constexpr const char* kStyle = R\"${delimiter}(
${css})${delimiter}\";

inline constexpr const char* kScript = R\"${delimiter}(${js}</script>
<script>${selftest})${delimiter}\";

}  // namespace sb::view::page_assets
")
file(RENAME "${OUT}.tmp" "${OUT}")
