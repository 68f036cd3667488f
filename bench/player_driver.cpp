// Plays SECONDS of INPUT with the player into a 280 × 243 display, as the preview panel does,
// then prints what it showed and dropped:
//   bench_player_driver SECONDS INPUT
// For benchmarks only (run with QT_QPA_PLATFORM=offscreen and SDL_AUDIODRIVER=dummy).

#include "engine/FFLoad.h"
#include "engine/player/FFPlay.h"
#include "engine/widgets/TPlayerDisplay.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments().mid(1);
    if (args.size() != 2) {
        std::fputs("usage: bench_player_driver SECONDS INPUT\n", stderr);
        return 2;
    }
    TFFPlayer player;
    if (!player.LoadLibraries(QString())) {
        std::fprintf(stderr, "%s\n", qPrintable(player.LastError()));
        return 1;
    }
    TPlayerDisplay display;
    display.resize(280, 243);
    display.show();
    player.OnState = [](QObject*, TPlayState state) {
        if (state == psEnd)
            QApplication::quit();
    };
    if (!player.Open(args[1], &display)) {
        std::fprintf(stderr, "%s\n", qPrintable(player.LastError()));
        return 1;
    }
    QTimer::singleShot(args[0].toInt() * 1000, &app, &QApplication::quit);
    QApplication::exec();
    const TPlayerStatistics stats = player.Statistics();
    player.Close(true);
    std::printf("shown %lld dropped %lld sync %.1f ms\n",
                static_cast<long long>(stats.PicturesShown),
                static_cast<long long>(stats.PicturesDropped), stats.MaxSyncDifference);
    return 0;
}
