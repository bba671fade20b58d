#include "model/gateData.h"

CGateData::~CGateData() = default;
