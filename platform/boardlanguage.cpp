#include "platform/boardlanguage.h"

#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace {

BoardLanguage chosen = BoardLanguage::Arabic;
std::unique_ptr<QTranslator> boardCatalogue;
std::unique_ptr<QTranslator> qtCatalogue;

void takeAway(std::unique_ptr<QTranslator> &catalogue)
{
    if (catalogue)
        QCoreApplication::removeTranslator(catalogue.get());
    catalogue.reset();
}

} // namespace

BoardLanguage languageForDesktop(const QStringList &uiLanguages)
{
    if (uiLanguages.isEmpty())
        return BoardLanguage::Arabic;
    const QString first = uiLanguages.first();
    // "C" and "POSIX" name no language; Qt may say them as "en-US-POSIX".
    if (first == QLatin1String("C") || first.contains(QLatin1String("POSIX"), Qt::CaseInsensitive))
        return BoardLanguage::Arabic;
    return QLocale(first).language() == QLocale::Arabic ? BoardLanguage::Arabic : BoardLanguage::English;
}

void setBoardLanguage(BoardLanguage language)
{
    takeAway(boardCatalogue);
    takeAway(qtCatalogue);
    chosen = language;
    const QString code = language == BoardLanguage::English ? QStringLiteral("en") : QStringLiteral("ar");
    if (language == BoardLanguage::English) {
        boardCatalogue = std::make_unique<QTranslator>();
        if (boardCatalogue->load(QStringLiteral(":/i18n/rorizedivo_en.qm")))
            QCoreApplication::installTranslator(boardCatalogue.get());
        else
            qWarning("the board's English catalogue cannot be read: its texts stay in Arabic");
    }
    // Qt's own dialogs and buttons, where the system has its catalogue.
    qtCatalogue = std::make_unique<QTranslator>();
    if (qtCatalogue->load(QStringLiteral("qtbase_") + code, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtCatalogue.get());
    else
        qtCatalogue.reset();
    // The board lays itself out: Qt's catalogue would turn the whole
    // application right to left for Arabic, its own dialogs set theirs.
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        QGuiApplication::setLayoutDirection(Qt::LeftToRight);
}

BoardLanguage boardLanguage()
{
    return chosen;
}

QString countedInLanguage(const QString &arabic, const char *context, const char *source, qint64 n)
{
    if (chosen == BoardLanguage::Arabic)
        return arabic;
    return QCoreApplication::translate(context, source, nullptr, int(n));
}
