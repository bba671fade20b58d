#include "libertyCommands.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unordered_map>

#include "common/inputFile.h"
#include "common/outputFiles.h"
#include "io/error.h"
#include "io/text.h"
#include "lagrangian.h"
#include "libertyFlow.h"
#include "timer.h"

namespace tambril::liberty {

namespace {

// Iterations of the Lagrangian area sizing (each a timing, a re-weighting and a sweep).
constexpr int kLagrangianPasses = 40;
// Sweeps of the closing area recovery.
constexpr int kDownsizeSweeps = 10;

std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
  return resolved ? std::string(resolved.get()) : path;
}

std::string NamesBeside(const std::string& net) {
  const std::string suffix = ".net";
  if (net.size() > suffix.size() && net.compare(net.size() - 4, 4, suffix) == 0) {
    return net.substr(0, net.size() - 4) + ".names";
  }
  return net + ".names";
}

}  // namespace

void ImportVerilog(const std::vector<std::string>& libraries, const std::string& input,
                   const std::string& output, const std::string& namesPath,
                   const std::string& program) {
  const CellLibrary library = ReadLibertyFiles(libraries, program);
  const Families families = BuildFamilies(library);
  const VerilogNetlist netlist = ReadVerilog(tools::ReadInput(program, input), input, program);
  const Design design = BindDesign(netlist, library, families, program);
  if (design.gates.empty()) {
    throw FormatError(program + ": " + input + ": no cell to size");
  }
  const Imported imported = ImportDesign(design, netlist, families, Absolute(input));
  // As a pair, the names first, as every import writes them.
  tools::WriteOutputs(program, {{namesPath, imported.names}, {output, imported.netlist}});
}

std::string ExportVerilog(const ExportRequest& request) {
  const std::string& program = request.program;
  const CellLibrary library = ReadLibertyFiles(request.libraries, program);
  const Families families = BuildFamilies(library);
  const std::string namesPath =
      request.names.empty() ? NamesBeside(request.netlist) : request.names;
  const SizedNames names = ReadNames(namesPath, program);
  std::vector<double> sizes;
  std::vector<std::string> types;
  ReadResult(request.result, program, sizes, types);
  const std::string source = request.verilog.empty() ? names.verilogPath : request.verilog;
  // The source that the names file names is an input too.
  tools::CheckOutputsApart(program, {request.output}, {source, namesPath});
  const VerilogNetlist netlist = ReadVerilog(tools::ReadInput(program, source), source, program);
  const Design design = BindDesign(netlist, library, families, program);

  // Each gate's size, through its instance name.
  std::unordered_map<std::string, int> gateOfName;
  for (size_t g = 0; g < design.gates.size(); ++g) {
    gateOfName.emplace(netlist.instances[design.gates[g].instance].name, static_cast<int>(g));
  }
  std::vector<int> cells(design.gates.size(), -1);
  for (const auto& [id, instance] : names.gates) {
    const auto it = gateOfName.find(instance);
    if (it == gateOfName.end()) {
      throw FormatError(program + ": " + source + ": has no instance '" + instance +
                        "' of the names file; import it again");
    }
    const int g = it->second;
    const Family& family = families.families[design.gates[g].family];
    if (static_cast<size_t>(id) >= sizes.size() || sizes[id] == 0) {
      throw FormatError(program + ": " + request.result + ": has no size for node " +
                        std::to_string(id) + " ('" + instance + "')");
    }
    if (types[id] != family.type) {
      throw FormatError(program + ": " + request.result + ": node " + std::to_string(id) +
                        " is a " + types[id] + ", but '" + instance + "' is a " + family.type);
    }
    cells[g] = CellForSize(family, library, sizes[id], families.typicalSlew);
  }
  for (size_t g = 0; g < cells.size(); ++g) {
    if (cells[g] < 0) {
      throw FormatError(program + ": " + namesPath + ": does not name instance '" +
                        netlist.instances[design.gates[g].instance].name + "'; import it again");
    }
  }
  // The refinement from the cells chosen for the sizes and, on circuits small enough for it to
  // be cheap, from the source's own cells too, and towards a delay target also with speed-ups
  // ranked by delay per area; the best result stays (the fastest, or with a target the
  // smallest of those that meet it).
  RefineOptions options;
  options.delayTarget = request.delayTarget;
  std::vector<int> sourceCells;
  for (const Design::Gate& gate : design.gates) sourceCells.push_back(gate.cell);
  const bool thorough = design.gates.size() <= static_cast<size_t>(options.thoroughGates);
  const auto better = [&](const RefineResult& a, const RefineResult& b) {
    const double target = request.delayTarget;
    const bool aMeets = target > 0 && a.finalDelay <= target;
    const bool bMeets = target > 0 && b.finalDelay <= target;
    if (aMeets && bMeets) return a.finalArea < b.finalArea;
    if (aMeets != bMeets) return aMeets;
    return a.finalDelay < b.finalDelay ||
           (a.finalDelay == b.finalDelay && a.finalArea < b.finalArea);
  };
  RefineResult refined;
  std::vector<int> chosen;
  const auto consider = [&](std::vector<int> trial, double target, bool perArea) {
    RefineOptions o = options;
    o.delayTarget = target;
    o.perArea = perArea;
    const RefineResult r = Refine(design, library, trial, o);
    if (chosen.empty() || better(r, refined)) {
      const double initialDelay = chosen.empty() ? r.initialDelay : refined.initialDelay;
      const double initialArea = chosen.empty() ? r.initialArea : refined.initialArea;
      refined = r;
      refined.initialDelay = initialDelay;
      refined.initialArea = initialArea;
      chosen = trial;
    }
  };
  for (int start = 0; start < (thorough ? 2 : 1); ++start) {
    for (int ranking = 0; ranking < (request.delayTarget > 0 ? 2 : 1); ++ranking) {
      consider(start == 0 ? cells : sourceCells, request.delayTarget, ranking == 1);
    }
  }
  if (thorough) {
    // The least area at the target, or at the delay reached, by Lagrangian relaxation over the
    // cells from those chosen for the sizes, then refined towards the same delay (speed-ups
    // ranked both ways when the relaxation fell short of it).
    const double goal = request.delayTarget > 0 ? request.delayTarget : refined.finalDelay;
    std::vector<int> start = cells;
    const LagrangianResult lr = LagrangianSizing(design, library, start, goal, kLagrangianPasses);
    for (int ranking = 0; ranking < (lr.met ? 1 : 2); ++ranking) {
      consider(start, goal, ranking == 1);
    }
  }
  if (thorough) {
    // Then the smallest cells that keep the target (or the delay reached, when it is larger),
    // one step at a time.
    const double goal = std::max(request.delayTarget, refined.finalDelay);
    const int kept = Downsize(design, library, chosen, goal, kDownsizeSweeps);
    if (kept > 0) {
      Timer timer(design);
      refined.changes += kept;
      refined.finalDelay = timer.Analyse(chosen);
      refined.finalArea = 0;
      for (int c : chosen) refined.finalArea += library.cells[c].area;
    }
  }
  cells = chosen;

  std::vector<std::string> cellNames(netlist.instances.size());
  for (size_t i = 0; i < netlist.instances.size(); ++i) {
    cellNames[i] = netlist.instances[i].cellName;
  }
  for (size_t g = 0; g < design.gates.size(); ++g) {
    cellNames[design.gates[g].instance] = library.cells[cells[g]].name;
  }
  tools::WriteOutputs(program, {{request.output, WithCells(netlist, cellNames)}});
  char line[256];
  std::snprintf(line, sizeof line,
                "%zu cells; delay %.2f ps as rounded, %.2f ps refined; area %.4g um2 as rounded, "
                "%.4g um2 refined; %d swaps\n",
                design.gates.size(), refined.initialDelay * 1e12, refined.finalDelay * 1e12,
                refined.initialArea * 1e12, refined.finalArea * 1e12, refined.changes);
  return line;
}

}  // namespace tambril::liberty
