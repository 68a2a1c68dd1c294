#include "FakeFrameHost.h"

#include "common/AppPaths.h"
#include "common/Texts.h"
#include "storage/Database.h"

FakeFrameHost::FakeFrameHost()
    : m_ini(AppPaths::file(Texts::IniFileName)),
      m_db(Database::open(AppPaths::file(Texts::DatabaseFileName)))
{
}

void FakeFrameHost::loadBitmaps(const QString &folder)
{
    const QString images = folder + QStringLiteral("/Images/");
    m_bitmaps.toolbarBackground.load(images + Texts::ToolbarBackgroundFile);
    m_bitmaps.searchbarBackground.load(images + Texts::SearchbarBackgroundFile);
    m_bitmaps.groupBackground.load(images + Texts::GroupBackgroundFile);
    m_bitmaps.itemBackground0.load(images + Texts::ItemBackground0File);
    m_bitmaps.itemBackground1.load(images + Texts::ItemBackground1File);
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
