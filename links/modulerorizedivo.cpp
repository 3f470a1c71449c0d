#include "links/modulerorizedivo.h"

#include "links/browsercommand.h"
#include "links/linkslog.h"
#include "links/processlauncher.h"

Q_LOGGING_CATEGORY(lcLinks, "rorizedivo.links", QtInfoMsg)

namespace ModuleRORizedivo {

void OpenInBrowser(const QString &address)
{
    DetachedProcessLauncher launcher;
    OpenInBrowser(address, launcher);
}

void OpenInBrowser(const QString &address, ProcessLauncher &launcher, const QProcessEnvironment &environment)
{
    const QString command = defaultBrowserCommand(environment);
    const BrowserLaunch launch = browserLaunch(command, address);
    if (launch.program.isEmpty()) {
        qCWarning(lcLinks, "no web browser to open %s: set one as the desktop's default (xdg-settings) or in $BROWSER",
                  qPrintable(address));
        return;
    }
    // The click itself changes nothing either way; the log tells why a page
    // did not open.
    if (launcher.startDetached(launch.program, launch.arguments))
        qCDebug(lcLinks, "opened %s with %s", qPrintable(address), qPrintable(launch.program));
    else
        qCWarning(lcLinks, "%s could not be started to open %s", qPrintable(launch.program), qPrintable(address));
}

} // namespace ModuleRORizedivo
