# Golden-output regression over the bundled ISCAS-85 examples (see tools/regress).
add_test(NAME regression_iscas85
  COMMAND ${PROJECT_SOURCE_DIR}/tools/regress $<TARGET_FILE:tambril>)
set_tests_properties(regression_iscas85 PROPERTIES TIMEOUT 1800)
# The same files from the single-threaded program (the suite above runs on every core).
add_test(NAME regression_iscas85_threads1
  COMMAND ${PROJECT_SOURCE_DIR}/tools/regress $<TARGET_FILE:tambril> --threads 1)
set_tests_properties(regression_iscas85_threads1 PROPERTIES TIMEOUT 1800)
