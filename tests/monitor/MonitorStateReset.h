#pragma once
// Every process-wide monitor variable back to its start value, for tests that
// share one process.

namespace ostrel::test {

void resetMonitorState();

}  // namespace ostrel::test
