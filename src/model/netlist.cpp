#include "model/netlist.h"

CNetlist::CNetlist()
    : innerImprove(5e-6),
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
