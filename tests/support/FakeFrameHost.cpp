#include "FakeFrameHost.h"

#include "common/AppPaths.h"
#include "common/Texts.h"
#include "storage/Database.h"

FakeFrameHost::FakeFrameHost()
    : m_ini(AppPaths::file(Texts::IniFileName)),
      m_db(Database::open(AppPaths::file(Texts::DatabaseFileName)))
{
}

FakeFrameHost::~FakeFrameHost()
{
    m_db = QSqlDatabase();
    Database::close();
}

void FakeFrameHost::installMenus(const QList<QMenu *> &menus)
{
    installedMenus.append(menus);
}

QAction *FakeFrameHost::commonAction(CommonAction id) const
{
    QAction *&action = m_actions[id];
    if (action == nullptr)
        action = new QAction(const_cast<FakeFrameHost *>(this));
    return action;
}
