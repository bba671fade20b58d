# Tests of the bundled gate library (examples/param.txt and tools/make-library) and of
# tools/plot-convergence; both suites are Python unittest scripts using the standard
# library only. The system interpreter is preferred over any other python3 on PATH.
if(EXISTS /usr/bin/python3)
  set(TAMBRIL_PYTHON /usr/bin/python3)
else()
  find_package(Python3 COMPONENTS Interpreter)
  if(Python3_Interpreter_FOUND)
    set(TAMBRIL_PYTHON ${Python3_EXECUTABLE})
  else()
    set(TAMBRIL_PYTHON python3)
  endif()
endif()

add_test(NAME gate_library
  COMMAND ${TAMBRIL_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/library_test.py)
add_test(NAME plot_convergence
  COMMAND ${TAMBRIL_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/plot_convergence_test.py)
set_tests_properties(gate_library plot_convergence PROPERTIES TIMEOUT 300)
