# The bundled library is what tools/make-library derives from its model.
add_test(NAME BundledLibrary.IsTheGeneratorsOutput
  COMMAND sh -c "'${PROJECT_SOURCE_DIR}/tools/make-library' | cmp - '${PROJECT_SOURCE_DIR}/examples/param.txt'")
