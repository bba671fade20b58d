#ifndef TAMBRIL_TOOLS_IMPORT_READERS_H
#define TAMBRIL_TOOLS_IMPORT_READERS_H

#include <string_view>

#include "import/source.h"

// The front ends. Each reads a whole file's text into a Source whose names point into
// `text`, or throws SourceError at the first fault, with its line.
namespace tambril::import {

// ISCAS .bench: INPUT(x), OUTPUT(y), y = GATE(a, ...) with GATE one of AND, NAND, OR, NOR,
// XOR, XNOR, NOT, BUFF, BUF or DFF, in any letter case; '#' starts a comment.
void ReadBench(std::string_view text, Source& source);

// BLIF: the first model of the file, flat: .inputs, .outputs, .names covers, .latch, .conn
// and the Yosys internal cells as .subckt or .gate.
void ReadBlif(std::string_view text, Source& source);

// AIGER, ASCII ("aag") or binary ("aig"), with its symbol table.
void ReadAiger(std::string_view text, Source& source);
// How many bytes at the start of an AIGER file may hold any value: for a binary file, up to
// the end of its AND section, judged generously from the header in `head`; 0 otherwise.
size_t AigerBinaryPart(std::string_view head);

}  // namespace tambril::import

#endif
