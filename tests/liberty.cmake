# A design from RTL through Yosys to ASAP7 cells, sized by TAMBRIL and timed by OpenSTA (needs
# Debian's yosys and opensta, and the ASAP7 libraries of ../shared/liberty/asap7).
if(TARGET tambril-liberty)
  add_test(NAME Liberty.RtlToSizedCells
    COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/liberty/flowTest.py $<TARGET_FILE:tambril>
      $<TARGET_FILE:tambril-liberty> $<TARGET_FILE:tambril-import> $<TARGET_FILE:tambril-export>
      ${PROJECT_SOURCE_DIR}/examples/rtl/mac.v)
  set_tests_properties(Liberty.RtlToSizedCells PROPERTIES TIMEOUT 600)
endif()
