// reelcaster-cli: Reelcaster's engine and job model without windows.

#include "ReelcasterVersion.h"
#include "cli/ConvertCommand.h"
#include "cli/InfoCommand.h"

#include <QCoreApplication>
#include <QStringList>

#include <csignal>
#include <cstdio>

namespace {

constexpr char kUsage[] =
    "Usage: reelcaster-cli COMMAND [OPTIONS] [FILE...]\n"
    "\n"
    "Commands:\n"
    "  info [--json] FILE...   show the container, tags and streams of media files\n"
    "  convert [OPTIONS] FILE... convert media files as Reelcaster's Start does\n"
    "  help                    show this text\n"
    "  version                 show the program version\n"
    "\n"
    "Run 'reelcaster-cli COMMAND --help' for the options of a command.\n";

} // namespace

int main(int argc, char** argv) {
    // A reader that goes away (`… | head -1`) ends what we print, not the conversion: writes
    // to a closed pipe fail quietly instead of killing the process.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("reelcaster-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(REELCASTER_VERSION_TEXT));
    const QStringList args = QCoreApplication::arguments();

    if (args.size() < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const QString command = args.at(1);
    // The command's own parser sees "reelcaster-cli info …" as its command line.
    QStringList commandArgs = args.mid(2);
    commandArgs.prepend(args.first() + QLatin1Char(' ') + command);

    if (command == QLatin1String("info"))
        return RunInfoCommand(commandArgs);
    if (command == QLatin1String("convert"))
        return RunConvertCommand(commandArgs);
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
