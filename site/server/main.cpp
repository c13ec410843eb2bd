#include "vendorserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vendorsite"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serves the bundled vendor web site on 127.0.0.1."));
    parser.addHelpOption();
    const QCommandLineOption rootOption(QStringLiteral("root"),
        QStringLiteral("Site directory to serve."), QStringLiteral("DIR"),
        QStringLiteral(VENDORSITE_DEFAULT_ROOT));
    const QCommandLineOption portOption(QStringLiteral("port"),
        QStringLiteral("TCP port (0 = any free port)."), QStringLiteral("N"),
        QStringLiteral("18086"));
    parser.addOption(rootOption);
    parser.addOption(portOption);
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "vendorsite: bad port '%s'\n", qPrintable(parser.value(portOption)));
        return 2;
    }
    const QString root = parser.value(rootOption);
    if (!QDir(root).exists()) {
        std::fprintf(stderr, "vendorsite: no such directory '%s'\n", qPrintable(root));
        return 2;
    }

    VendorServer server;
    server.setRoot(root);
    if (!server.listen(quint16(port))) {
        std::fprintf(stderr, "vendorsite: cannot listen on 127.0.0.1:%u\n", port);
        return 1;
    }
    std::printf("vendor site at %s\n", qPrintable(server.baseUrl()));
    std::fflush(stdout);
    return app.exec();
}
