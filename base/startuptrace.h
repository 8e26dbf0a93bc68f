#pragma once

// With PAGE_SCOPE_STARTUP_TRACE set in the environment, one line on standard error per step of
// the way to the first page: "page-scope startup MS RSS_KB PHASE", MS on the monotonic clock
// (comparable across processes, so a launcher can subtract its exec time), RSS_KB the resident
// memory at that point. Without the variable it prints nothing; standard output is never used.
void startupTrace(const char *phase);
