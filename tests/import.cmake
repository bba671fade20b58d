# tambril-import and tambril-export through the built executables: every test input converted,
# written back and proved equivalent to its source with ABC; one RTL design from Yosys to a
# sized CSV. Needs Debian's yosys (which brings yosys-abc).
if(TARGET tambril-import)
  set(IMPORT_FLOW ${CMAKE_CURRENT_SOURCE_DIR}/import/flowTest.py
    $<TARGET_FILE:tambril-import> $<TARGET_FILE:tambril-export>)
  add_test(NAME Import.EquivalentToSources COMMAND python3 ${IMPORT_FLOW})
  add_test(NAME Import.RtlToSizedCsv
    COMMAND python3 ${IMPORT_FLOW} --rtl $<TARGET_FILE:tambril> ${PROJECT_SOURCE_DIR}/examples/rtl/mac.v)
  set_tests_properties(Import.EquivalentToSources Import.RtlToSizedCsv PROPERTIES TIMEOUT 600)
endif()
