# wexa_e2e_test(name script.py [ARGS arg...] [TIMEOUT seconds])
# Registers an end-to-end test: the Python script (relative to the calling
# folder) run with the given arguments, tests/e2e on PYTHONPATH so that it can
# import the tmux harness, label "e2e" and a time limit (default 120 s).
include_guard(GLOBAL)

if(NOT Python3_EXECUTABLE)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
endif()

function(wexa_e2e_test name script)
  cmake_parse_arguments(E "" "TIMEOUT" "ARGS" ${ARGN})
  if(NOT E_TIMEOUT)
    set(E_TIMEOUT 120)
  endif()
  add_test(NAME ${name}
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/${script} ${E_ARGS}
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(${name} PROPERTIES
    LABELS e2e
    TIMEOUT ${E_TIMEOUT}
    ENVIRONMENT "PYTHONPATH=${CMAKE_CURRENT_FUNCTION_LIST_DIR}")
endfunction()
