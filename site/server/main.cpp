#include "datagramsender.h"
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
    const QCommandLineOption cdnOption(QStringLiteral("cdn-port"),
        QStringLiteral("TCP port of the CDN that holds the /cdn/ channel's segments."),
        QStringLiteral("N"), QStringLiteral("18087"));
    parser.addOption(rootOption);
    parser.addOption(portOption);
    parser.addOption(cdnOption);
    parser.process(app);

    auto portOf = [&parser](const QCommandLineOption &option, quint16 &port) {
        bool ok = false;
        const uint n = parser.value(option).toUInt(&ok);
        if (!ok || n > 65535) {
            std::fprintf(stderr, "vendorsite: bad port '%s'\n", qPrintable(parser.value(option)));
            return false;
        }
        port = quint16(n);
        return true;
    };
    quint16 port = 0, cdnPort = 0;
    if (!portOf(portOption, port) || !portOf(cdnOption, cdnPort))
        return 2;
    const QString root = parser.value(rootOption);
    if (!QDir(root).exists()) {
        std::fprintf(stderr, "vendorsite: no such directory '%s'\n", qPrintable(root));
        return 2;
    }

    VendorServer server;
    server.setRoot(root);
    if (!server.listen(port)) {
        std::fprintf(stderr, "vendorsite: cannot listen on 127.0.0.1:%u\n", port);
        return 1;
    }
    std::printf("vendor site at %s\n", qPrintable(server.baseUrl()));
    if (const VendorServer *cdn = server.startCdn(cdnPort))
        std::printf("CDN at %s\n", qPrintable(cdn->baseUrl()));
    else
        std::fprintf(stderr, "vendorsite: no CDN: cannot listen on 127.0.0.1:%u\n", cdnPort);

    // The bundled list's datagram channels, sent whether anyone listens or not.
    const struct {
        const char *address;
        quint16 port;
        bool rtp;
    } datagrams[]
        = {{"127.0.0.1", 5000, false}, {"127.0.0.1", 5002, true}, {"239.255.42.42", 5004, false}};
    const QString noMulticast = DatagramSender::multicastUnavailable();
    if (const auto source = server.loopSource(QStringLiteral("15.ts"))) {
        for (const auto &d : datagrams) {
            const QHostAddress address(QLatin1String(d.address));
            if (address.isMulticast() && !noMulticast.isEmpty()) {
                std::fprintf(stderr, "vendorsite: nothing sent to %s: %s\n", d.address,
                    qPrintable(noMulticast));
                continue;
            }
            new DatagramSender(source, address, d.port, d.rtp, &app);
            std::printf("%s://@%s:%u\n", d.rtp ? "rtp" : "udp", d.address, d.port);
        }
    } else {
        std::fprintf(stderr, "vendorsite: no media/live/15.ts, so nothing is sent by UDP\n");
    }
    std::fflush(stdout);
    return app.exec();
}
