// What the common-commands module uses of the window that holds it: the settings file,
// the options the window keeps, its components and the window's own steps.
#pragma once

#include "common/FrameHost.h"
#include "ShellOptions.h"

class IniFile;
class QAction;
class QWidget;
class TWYHHComp;
class TWyVersionInfo;

class CommonHost
{
public:
    // The window the module belongs to and its dialogs are shown over.
    virtual QWidget *commonWindow() = 0;
    virtual const IniFile &ini() const = 0;
    virtual ShellOptions shellOptions() const = 0;
    virtual void setShellOptions(const ShellOptions &options) = 0;
    // Gives a common command its action; the lists' menus show it from then on.
    virtual void setCommonAction(CommonAction id, QAction *action) = 0;
    virtual TWYHHComp *helpComp() const = 0;
    virtual TWyVersionInfo *versionInfo() const = 0;

    // The list of the active tab installs its menus and takes the focus.
    virtual void activateList() = 0;
    // Posts the update prompt: it shows once the current handler has ended.
    virtual void postUpdatePrompt() = 0;
    // Opens the window from the tray, sends it there, puts it on top of others or back.
    virtual void Restore() = 0;
    virtual void Minimize() = 0;
    virtual void setStayOnTop(bool on) = 0;
    // The address followed by the query the maker's pages receive.
    virtual QString MakeWebUrl(const QString &address) const = 0;
    // The options dialog has stored new sync settings.
    virtual void syncSettingsChanged() {}

protected:
    ~CommonHost() = default;
};
