# bench2net: in-process conversion tests, command-line tests of the built executable, and a
# check of the converted examples/*.net.
if(TARGET bench2net)
  file(GLOB BENCH2NET_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/bench2net/*.cpp)
  add_executable(bench2net_tests ${BENCH2NET_TESTS})
  target_link_libraries(bench2net_tests PRIVATE bench2net_lib GTest::gtest GTest::gtest_main)
  target_compile_definitions(bench2net_tests PRIVATE
    BENCH2NET_EXE="$<TARGET_FILE:bench2net>"
    BENCH2NET_EXAMPLES="${TAMBRIL_EXAMPLES}"
    BENCH2NET_BENCHMARKS="${PROJECT_SOURCE_DIR}/../shared/benchmarks")
  add_dependencies(bench2net_tests bench2net)
  gtest_discover_tests(bench2net_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
endif()
