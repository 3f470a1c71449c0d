#include "platform/services.h"

#include "platform/appfolder.h"
#include "platform/boardlanguage.h"
#include "platform/desktopnotices.h"
#include "platform/feedservicestarter.h"
#include "platform/networkstate.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QProcess>
#include <QSoundEffect>
#include <QStandardPaths>
#include <QUrl>

#include <cstdio>
#include <memory>

namespace {

// One player for the board, made when the first sound is asked for.
void playThroughSharedEffect(const QString &path)
{
    static QSoundEffect *effect = nullptr;
    if (!effect)
        effect = new QSoundEffect(QCoreApplication::instance());
    effect->stop();
    effect->setSource(QUrl::fromLocalFile(path));
    effect->play();
}

} // namespace

BoardServices BoardServices::system(const QUrl &feedEndpoint)
{
    BoardServices services;
    const ApplicationFolder folder = ApplicationFolder::forExecutable(QCoreApplication::applicationDirPath());
    folder.prepare();
    services.applicationFolder = folder.path;
    services.settingsFile = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/rorizedivo/rorizedivo.conf");
    services.now = [] { return QDateTime::currentDateTime(); };
    // The feed service answers on this machine's loopback: reaching it needs
    // no other network, and when it listens, its health check says whether
    // it has anything to serve. Where no systemd socket listens, the service
    // installed beside the board runs as long as the board does.
    const quint16 feedPort = quint16(feedEndpoint.port(80));
    const auto starter = std::make_shared<FeedServiceStarter>(QCoreApplication::applicationDirPath(), feedPort);
    services.isOnline = [feedPort, starter] {
        return boardIsOnline(feedPort, [&starter] { return starter->startIfNeeded(); });
    };
    services.offlineCause = lastOfflineCause;
    services.notices = new DesktopNotices(QCoreApplication::instance());
    services.showMessage = [](QWidget *parent, const QString &text, bool critical) {
        // Also on standard error: a board started from a terminal or a
        // script says why it stopped even when nobody sees the box.
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        std::fflush(stderr);
        QMessageBox box(critical ? QMessageBox::Critical : QMessageBox::NoIcon, QString::fromUtf16(ApplicationTitle),
                        text, QMessageBox::Ok, parent);
        box.setLayoutDirection(boardReadsLeftToRight() ? Qt::LeftToRight : Qt::RightToLeft);
        box.exec();
    };
    services.playSound = playThroughSharedEffect;
    services.startDetached = [](const QString &program, const QStringList &arguments) {
        return QProcess::startDetached(program, arguments);
    };
    return services;
}
