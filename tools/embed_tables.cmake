# Writes the assigned-number tables into a C++ source as raw string literals.
file(READ ${COMPANIES} companies)
file(READ ${SERVICES} services)
foreach(text companies services)
  string(FIND "${${text}}" ")tsv\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${text} holds the raw-string delimiter")
  endif()
endforeach()
file(WRITE ${OUTPUT}.tmp
"// Generated from data/*.tsv at build time; edit the tables, not this file.
#include <string_view>
namespace quillmote::embedded {
extern const std::string_view companyIdentifiers;
extern const std::string_view serviceUUIDs;
const std::string_view companyIdentifiers = R\"tsv(${companies})tsv\";
const std::string_view serviceUUIDs = R\"tsv(${services})tsv\";
}
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
