// What every benchmark of the widget layers does around its cases: a headless application with
// the program's fonts and page classes, and errors printed rather than shown in a box that
// nobody would close.
#pragma once
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <functional>

#include "app/headless.h"
#include "qtbase/application.h"

namespace zl::bench {

// `before` runs once the program is prepared (fixtures on disk), `after` once the cases ran.
inline int RunBenchmarks(int argc, char** argv, const std::function<void()>& before = {},
                         const std::function<void()>& after = {}) {
    ChooseHeadlessPlatform();
    QApplication app(argc, argv);
    AllowDeepWidgetTrees();
    PrepareProgram();
    SetErrorReporter([](const QString& message) { std::fprintf(stderr, "%s\n", qPrintable(message)); });
    if (before) before();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (after) after();
    return 0;
}

}  // namespace zl::bench
