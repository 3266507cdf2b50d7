// Seams that only the fuzz build compiles in (VOVE_FUZZ_SEAMS): a fuzz
// target uses them to act, as another process would, between two steps of
// the code under test. The product never has them.
#pragma once

namespace vove::platform::fuzz_seams {

// `hook` runs at the start of every NamedEvent::wait (null: nothing runs),
// where another process would publish while this one waits.
void set_before_event_wait(void (*hook)()) noexcept;

}  // namespace vove::platform::fuzz_seams
