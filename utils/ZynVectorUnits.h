#pragma once
// What the processor's vector units offer beyond the baseline instruction set, for the few loops
// over millions of values that pick a wider version at run time, and the state they are left in.

namespace zyn {

// True when the processor and the system let programs use AVX2 (256-bit integer operations, among
// them the signed 32-bit minimum and maximum the baseline lacks).
bool HasAvx2();

// Wide vector code that returns without clearing the upper halves of the vector registers (Qt's
// image fills and line drawing do so) leaves every later plain SSE instruction of the thread
// waiting on those stale halves: on processors with 256- and 512-bit registers, loops over values
// that follow a paint were measured three to four times slower. A long loop on a painting thread
// calls this first. It does nothing where the processor has no such registers.
void ClearUpperVectorState();

} // namespace zyn
