// bench2net CIRCUIT.bench > CIRCUIT.net: converts an ISCAS `.bench` circuit to TAMBRIL's
// netlist format (see benchToNet.h for the conventions).
#include <iostream>

#include "benchToNet.h"

int main(int argc, char** argv) { return bench2net::Main(argc, argv, std::cout, std::cerr); }
