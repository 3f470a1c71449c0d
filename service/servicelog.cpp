#include "servicelog.h"

#include <QRegularExpression>

Q_LOGGING_CATEGORY(lcForecastd, "forecastd", QtInfoMsg)

namespace {

QtMessageHandler previousHandler = nullptr;

void maskingHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (previousHandler)
        previousHandler(type, context, maskSecrets(message));
}

} // namespace

QString maskSecrets(const QString &text)
{
    // The parameter's name as it stands in an address, also percent-encoded.
    static const QRegularExpression key(QStringLiteral("((?:^|[?&;\\s])api(?:-|_|%2d|%5f)?key(?:=|%3d))[^&#\\s\"']*"),
                                        QRegularExpression::CaseInsensitiveOption);
    QString masked = text;
    return masked.replace(key, QStringLiteral("\\1***"));
}

void installSecretMasking()
{
    previousHandler = qInstallMessageHandler(maskingHandler);
}
