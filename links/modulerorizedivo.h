#pragma once

#include <QProcessEnvironment>
#include <QString>

class ProcessLauncher;

namespace ModuleRORizedivo {

// Opens the address in the default web browser: the browser's program is
// started with the address as its one and only argument, even when the
// address is empty. When no browser is found, or its program cannot be
// started, nothing happens and nothing is reported.
void OpenInBrowser(const QString &address);

// The same with the environment the browser is looked up in and the way the
// program is started given explicitly.
void OpenInBrowser(const QString &address, ProcessLauncher &launcher,
                   const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

} // namespace ModuleRORizedivo
