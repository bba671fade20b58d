# The exact minima of tests/exact/minimum-area.tsv (the reference of the delay-target tests and
# of bench/bench.py area) are what tests/exact/gp-size solves for, with Debian's python3-cvxopt.
add_test(NAME ExactMinima.ReproduceTheReferenceData
  COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/exact/gp-size
    --library ${PROJECT_SOURCE_DIR}/examples/param.txt
    --check ${PROJECT_SOURCE_DIR}/tests/exact/minimum-area.tsv
    ${PROJECT_SOURCE_DIR}/examples/c17.net ${PROJECT_SOURCE_DIR}/examples/c432.net)
