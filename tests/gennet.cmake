# Tests of gennet, the random netlist generator. The suite drives the generator in-process
# through gennet_lib and runs the built executable for the command line.
if(TARGET gennet)
  file(GLOB GENNET_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/gennet/*.cpp)
  add_executable(gennet_tests ${GENNET_TEST_SOURCES})
  target_link_libraries(gennet_tests PRIVATE gennet_lib GTest::gtest GTest::gtest_main)
  target_compile_definitions(gennet_tests PRIVATE GENNET_EXE="$<TARGET_FILE:gennet>")
  add_dependencies(gennet_tests gennet)
  gtest_discover_tests(gennet_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
endif()
