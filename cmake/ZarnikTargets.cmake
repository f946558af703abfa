# zarnik_add_library(NAME SOURCES ... PUBLIC_DEPS ... PRIVATE_DEPS ...)
# Every subsystem is one static library; its headers are included as "<subsystem>/<file>.h"
# from src/. Link dependencies must point downwards only (tools/check_layers.sh enforces it).
function(zarnik_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()
