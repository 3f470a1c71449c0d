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
    const QString program = extractProgramPath(defaultBrowserCommand(environment));
    if (program.isEmpty())
        return;
    // The rest of the handler's command line (its %u and options) is not
    // used: the address alone is the argument, as the link labels expect.
    // Whether the start succeeded is of no interest to a link click.
    launcher.startDetached(program, QStringList{address});
}

} // namespace ModuleRORizedivo
