// reelcaster-cli: Reelcaster's engine and job model without windows.

#include "ReelcasterVersion.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace {

constexpr char kUsage[] = "Usage: reelcaster-cli COMMAND [OPTIONS] [FILE...]\n"
                          "\n"
                          "Commands:\n"
                          "  help       show this text\n"
                          "  version    show the program version\n";

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Reelcaster"));
    const QStringList args = QCoreApplication::arguments().mid(1);

    if (args.isEmpty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const QString& command = args.first();
    if (command == QLatin1String("help") || command == QLatin1String("--help") ||
        command == QLatin1String("-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == QLatin1String("version") || command == QLatin1String("--version")) {
        std::printf("reelcaster-cli %s\n", REELCASTER_VERSION_TEXT);
        return 0;
    }
    std::fprintf(stderr, "reelcaster-cli: unknown command '%s'\n\n%s", qPrintable(command), kUsage);
    return 2;
}
