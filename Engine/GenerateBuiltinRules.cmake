# Writes a C++ source holding the bundled rules file as a raw string, so the
# built-in rules and the file are one source of truth.
file(READ ${INPUT} content)
string(FIND "${content}" ")tidewell_rules\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "the rules file holds the raw string delimiter")
endif()
file(WRITE ${OUTPUT}.tmp
  "// Generated from Resources/rules/artifacts.yaml at build time.\n"
  "#include \"Rules.h\"\n"
  "namespace tidewell::engine {\n"
  "const char* const kBuiltinRulesText = R\"tidewell_rules(${content})tidewell_rules\";\n"
  "}\n")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
