#include "links/modulerorizedivo.h"

#include "links/browsercommand.h"
#include "links/processlauncher.h"

namespace ModuleRORizedivo {

void OpenInBrowser(const QString &address)
{
    DetachedProcessLauncher launcher;
    OpenInBrowser(address, launcher);
}

void OpenInBrowser(const QString &address, ProcessLauncher &launcher, const QProcessEnvironment &environment)
{
    const BrowserLaunch launch = browserLaunch(defaultBrowserCommand(environment), address);
    if (launch.program.isEmpty())
        return;
    // Whether the start succeeded is of no interest to a link click.
    launcher.startDetached(launch.program, launch.arguments);
}

} // namespace ModuleRORizedivo
