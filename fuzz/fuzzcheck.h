#pragma once
// The check every fuzz target makes of what it reads: a broken rule aborts the run, naming
// the target's file, the line and the rule, so libFuzzer keeps the input as a crash.

#include <cstdio>
#include <cstdlib>
#include <cstring>

inline void check(bool condition, const char *what, const char *file = __builtin_FILE(), int line = __builtin_LINE())
{
    if (condition)
        return;
    const char *slash = std::strrchr(file, '/');
    std::fprintf(stderr, "%s:%d: %s\n", slash ? slash + 1 : file, line, what);
    std::abort();
}
