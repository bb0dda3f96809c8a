#pragma once

#include <QString>
#include <QStringList>

// The text given as "--name=TEXT" among a benchmark's arguments, or fallback; other arguments
// (Google Benchmark's own, which scripts/bench.sh gives every program) are left alone.
// Header-only: the toolkit's benchmarks take options too but do not link the panel's benchmark
// support.
inline QString StringOption(const QStringList& args, const QString& name, const QString& fallback) {
    const QString prefix = "--" + name + "=";
    for (const QString& arg : args)
        if (arg.startsWith(prefix))
            return arg.mid(prefix.size());
    return fallback;
}

// The number given as "--name=N", or fallback.
inline int IntOption(const QStringList& args, const QString& name, int fallback) {
    return StringOption(args, name, QString::number(fallback)).toInt();
}
