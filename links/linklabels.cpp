// The two link labels hand their address to the default browser.
#include "app/frmWeatherMain.h"

#include "links/modulerorizedivo.h"
#include "links/processlauncher.h"

namespace {
// Starts programs through the board's own seam, so tests see what would start.
class ServiceLauncher final : public ProcessLauncher
{
public:
    explicit ServiceLauncher(const BoardServices &services)
        : m_services(services)
    {
    }
    bool startDetached(const QString &program, const QStringList &arguments) override
    {
        return m_services.startDetached && m_services.startDetached(program, arguments);
    }

private:
    const BoardServices &m_services;
};
} // namespace

void frmWeatherMain::lblGoogle_Click()
{
    if (m_unloaded)
        return;
    ServiceLauncher launcher(m_services);
    ModuleRORizedivo::OpenInBrowser(lblGoogle->tag(), launcher);
}

void frmWeatherMain::lblQIVurl_Click()
{
    if (m_unloaded)
        return;
    ServiceLauncher launcher(m_services);
    ModuleRORizedivo::OpenInBrowser(lblQIVurl->text(), launcher);
}
