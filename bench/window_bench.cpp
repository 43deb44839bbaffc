// Construction-to-shown time of the main window, against a bare widget with the
// same number of children, so the cost of the layout table can be judged.
#include "app/form1.h"
#include "app/layout.h"

#include <QApplication>
#include <QCoreApplication>
#include <benchmark/benchmark.h>

namespace {

void BM_Form1ConstructAndShow(benchmark::State& state) {
    for (auto _ : state) {
        quorvel::Form1 window;
        window.show();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(window.isVisible());
    }
}
BENCHMARK(BM_Form1ConstructAndShow)->Unit(benchmark::kMicrosecond);

void BM_BareWidgetConstructAndShow(benchmark::State& state) {
    for (auto _ : state) {
        QWidget window;
        window.setFixedSize(481, 289);
        for (std::size_t i = 0; i < quorvel::kLayout.size(); ++i)
            (new QWidget(&window))->setGeometry(int(i) * 10, 10, 20, 20);
        window.show();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(window.isVisible());
    }
}
BENCHMARK(BM_BareWidgetConstructAndShow)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
