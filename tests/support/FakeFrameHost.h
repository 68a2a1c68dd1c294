// A stand-in for the main window that list frames live in: a real database and settings
// file in a private program folder, and a record of what the frame told the window.
#pragma once

#include "app/ItemListCommands.h"
#include "common/FrameHost.h"
#include "common/IniFile.h"

#include <QAction>
#include <QHash>
#include <QObject>
#include <QSqlDatabase>
#include <QStringList>

class FakeFrameHost : public QObject, public FrameHost
{
public:
    // Opens (creating) the database in the current program folder.
    FakeFrameHost();
    ~FakeFrameHost() override;

    QSqlDatabase database() const override { return m_db; }
    const IniFile &ini() const override { return m_ini; }
    const FrameBitmaps &bitmaps() const override { return m_bitmaps; }
    void installMenus(const QList<QMenu *> &menus) override;
    void setTaskCount(int count) override { taskCount = count; }
    void setMemoCount(int count) override { memoCount = count; }
    int hintSize() const override { return 20; }
    void setTrayHint(const QString &hint) override { trayHints.append(hint); }
    QAction *commonAction(CommonAction id) const override;
    // The window's own export and e-mail commands.
    ListCommands &listCommands() override { return m_listCommands; }
    QString alarmSound() const override { return alarmSoundFile; }
    void notifyAlarm(const QString &text) override { alarmNotices.append(text); }

    // Loads the five background bitmaps from a folder's Images/, as the main window does;
    // without it the frames paint no bitmaps.
    void loadBitmaps(const QString &folder);

    int taskCount = -1;
    int memoCount = -1;
    QStringList trayHints;
    QList<QList<QMenu *>> installedMenus;
    // The sound file the alarm window plays, and the texts of the alarms announced.
    QString alarmSoundFile = AppPaths::file(Texts::AlarmSoundFile);
    QStringList alarmNotices;

private:
    IniFile m_ini;
    QSqlDatabase m_db;
    FrameBitmaps m_bitmaps;
    mutable QHash<CommonAction, QAction *> m_actions;
    ItemListCommands m_listCommands;
};
