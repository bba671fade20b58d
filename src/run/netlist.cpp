#include "run/netlist.h"

#include "input/circuitGraph.h"
#include "input/libraryReader.h"
#include "input/netlistReader.h"
#include "io/error.h"
#include "io/outputFile.h"
#include "report/resultReport.h"
#include "sizing/classicMethod.h"
#include "timing/topologicalSort.h"
#include "util/maximum.h"

using namespace tambril;

CNetlist::CNetlist()
    : reporter(&ConsoleReporter()),
      innerImprove(5e-6),
      outerImprove(0.01),
      driverResistance(5000.0),
      // A product, not the literal 2.3995e-15, from which it differs in the last bit.
      outputLoad(2.3995 * 1e-15),
      lowerBound(0.0),
      maxDelay(0.0),
      partCount(0),
      circuitSize(0),
      headerValue2(0),
      headerValue3(0),
      outputCount(0),
      nodeLineCount(0),
      startTime(0),
      startClock(0),
      endClock(0),
      runtime(0.0) {}

CNetlist::~CNetlist() = default;

// The run's clock starts here: the report's start time and its processor time count from the
// reading of the library.
void CNetlist::BuildDB(const char* libraryFileName) {
  reporter->Progress("Running TAMBRIL ");
  startClock = std::clock();
  startTime = std::time(nullptr);
  ReadLibrary(libraryFileName, gateTypes, *reporter);
}

void CNetlist::InputNetlist(const char* netlistFileName) {
  const std::string fileName = netlistFileName;
  NetlistHeader header;
  ReadNetlist(fileName, gateTypes, header, parts);
  circuitSize = header.circuitSize;
  headerValue2 = header.value2;
  headerValue3 = header.value3;
  outputCount = header.outputCount;
  nodeLineCount = header.nodeLineCount;
  CompleteCircuitGraph(fileName, driverResistance, outputLoad, parts);
  partCount = static_cast<int>(parts.size());
  if (!TopologicalSort(parts, reverseOrder, false)) throw CannotParse(fileName);
  forwardOrder.assign(reverseOrder.rbegin(), reverseOrder.rend());
  graph_ = std::make_unique<TimingGraph>();
  graph_->Build(parts, forwardOrder);
  optimizer_ = std::make_unique<sizing::Optimizer>(*graph_, outputCount);
}

void CNetlist::OutputResult(const char* resultFileName) {
  const std::string fileName = resultFileName;
  ResultReport report;
  report.Open(fileName, startTime);
  // The optimiser rewrites the log pass by pass; a second run in the same directory would write
  // it at the same time, so it stops here instead, with nothing changed.
  FileLock logLock;
  if (!logLock.TryLock(sizing.logPath)) throw CannotLock(sizing.logPath);

  TAMBRIL();

  endClock = std::clock();
  runtime = static_cast<double>(endClock - startClock) / static_cast<double>(CLOCKS_PER_SEC);
  RunSummary summary;
  summary.circuitSize = circuitSize;
  summary.maxDelay = maxDelay;
  summary.delayTarget = sizing.delayTarget;
  summary.totalArea = optimizer_->TotalArea();
  summary.runtime = runtime;
  report.Finish(summary, parts, [this](int id) { return SizeOf(id); });
}

void CNetlist::TAMBRIL() { SolveLDP(); }

void CNetlist::SolveLDP() {
  optimizer_->parameters = Parameters();
  optimizer_->Run(*reporter);
  SyncBounds();
}

sizing::Parameters CNetlist::Parameters() const {
  sizing::Parameters parameters = sizing;
  parameters.innerThreshold = innerImprove;
  parameters.outerThreshold = outerImprove;
  return parameters;
}

void CNetlist::SyncBounds() {
  lowerBound = optimizer_->LowerBound();
  maxDelay = optimizer_->MaxDelay();
}

double CNetlist::SizeOf(int id) const { return optimizer_->Current().size[graph_->Position(id)]; }

bool CNetlist::TopologicalSort(const std::vector<PartType>& nodes, std::vector<int>& order,
                               bool forward) const {
  return TopologicalOrder(nodes, order, forward);
}

double CNetlist::maximum(std::vector<double> values) const {
  return MaxOf(values.data(), static_cast<int>(values.size()));
}

void CNetlist::ComputeArrivalTime() {
  optimizer_->Time();
  SyncBounds();
}

void CNetlist::IntializeLM() { optimizer_->EvenMultipliers(); }

void CNetlist::UpdateLM() {
  sizing::ClassicUpdate(*graph_, optimizer_->Timing().data(), optimizer_->Lambdas());
}

double CNetlist::ComputeLu(sizing::Sizing& values) { return optimizer_->LagrangianValue(values); }

void CNetlist::SolveLRSuHelper() { optimizer_->StartingSizes(); }

void CNetlist::SolveLRSu() {
  optimizer_->parameters = Parameters();
  optimizer_->Resize();
  lowerBound = optimizer_->LowerBound();
}
