# The bundled library is what tools/make-library derives from its model.
add_test(NAME BundledLibrary.IsTheGeneratorsOutput
  COMMAND sh -c "'${PROJECT_SOURCE_DIR}/tools/make-library' | cmp - '${PROJECT_SOURCE_DIR}/examples/param.txt'")
# The sizer's layers depend one way (tools/check-layers).
add_test(NAME Layers.DependOneWay COMMAND ${PROJECT_SOURCE_DIR}/tools/check-layers ${PROJECT_SOURCE_DIR})
