// What the processor and the operating system let us use beyond baseline
// x86-64.
#pragma once

namespace platform {

// True when the processor has AVX2 and the operating system saves the YMM
// registers on a thread switch (without the latter, AVX2 code faults or
// loses register contents). Asked once per process; cheap afterwards.
bool CpuHasAvx2();

}  // namespace platform
