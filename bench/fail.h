#pragma once

#include <QString>

#include <cstdio>
#include <cstdlib>

// Any fault ends the run: a table with a broken action in it would mislead.
[[noreturn]] inline void fail(const QString &text)
{
    std::fprintf(stderr, "tessaly-bench: %s\n", qPrintable(text));
    std::exit(1);
}
