// Looks a test build of the program gives the end-to-end tests; the shipped
// program has none (KOVA_TEST_HOOKS is defined only outside a release).
#pragma once

// Installs what the environment asks for:
//   KOVA_TEST_HEAP_SECRETS  values to look for, each in hex, ';'-separated
//                           (in hex so that the environment's own copy in the
//                           C runtime's heap is not a hit)
//   KOVA_TEST_HEAP_REPORT   the file that gets, after each log-out, one line
//                           per value: how often it occurs in the program's
//                           heap, as ANSI bytes and as UTF-16
void InstallTestHooks();

// Start-up milestones for bench/window_start_bench: with KOVA_TEST_START_MARKS
// naming a file and KOVA_TEST_START_QPC the performance counter's value when
// the process was created, appends "NAME MILLISECONDS-SINCE" to the file.
#ifdef KOVA_TEST_HOOKS
void MarkStart(const char* name);
#else
inline void MarkStart(const char*) {}
#endif
