// Benchmark program of pedidosftp: runs one measured scenario on the real window, the real
// transfer control and the real import, and prints its figures as "key=value" lines for the
// scripts/bench-* scripts.
//
//   bench_pedidos download --address 127.0.0.1:2121 --user u --password p --folder /pedidos --local DIR
//   bench_pedidos window   (same options)
//   bench_pedidos import   --app-folder DIR --orders DIR
#include "bench/bench.h"

#include <QApplication>
#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList list = app.arguments().mid(1);
    const QString mode = list.value(0);
    const bench::Args args(list.mid(1));
    try {
        if (mode == QLatin1String("download"))
            return bench::runDownload(args);
        if (mode == QLatin1String("import"))
            return bench::runImport(args);
        if (mode == QLatin1String("window"))
            return bench::runWindow(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_pedidos: %s\n", e.what());
        return 2;
    }
    std::fprintf(stderr, "usage: bench_pedidos download|window|import --option value ...\n");
    return 2;
}
