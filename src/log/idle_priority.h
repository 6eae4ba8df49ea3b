#pragma once

// Work that must never compete with answering devices: the calling thread gives way to every
// other on the processor (nice 19) and on the disk (the idle I/O class).

namespace tarnwick {

// 0, or the errno of the step the system refused; the thread goes on either way.
[[nodiscard]] int LowerThisThreadToIdle();

}  // namespace tarnwick
