// Memory that runs out on request, for the tests of what the library does
// then: the n-th allocation from now (counted from 0), of operator new or of
// the library's guarded allocation, fails. Only threads other than the one
// that asked count, and never the recording host.
#pragma once

void failAllocation(long n);
// Stops failing; true when the failing allocation was reached.
bool stopFailingAllocation();
