#include "Fr_wyTasks.h"

#include "common/IniFile.h"
#include "common/Texts.h"
#include "storage/Statements.h"

#include <QTreeView>

TwyTasksFrame::TwyTasksFrame(FrameHost &host, QWidget *parent)
    : TwyTreeFrame(host,
                   FrameConfig{QStringLiteral("task"), QStringLiteral("privateTasks"),
                               QStringLiteral("publicTasks"), Texts::TaskTreeHint},
                   new TaskTreeModel, std::make_unique<TaskStatements>(host.database()), parent)
{
    setObjectName(QStringLiteral("wyTasksFrame"));
    m_tree->setObjectName(QStringLiteral("VtTasks"));
}

TaskStatements &TwyTasksFrame::taskStatements() const
{
    return static_cast<TaskStatements &>(statements());
}

int TwyTasksFrame::CountTasks()
{
    return m_statements->countRows();
}

void TwyTasksFrame::readViewSettings()
{
    const IniFile &ini = m_host.ini();
    viewDate = ini.readBool(QStringLiteral("task"), QStringLiteral("viewDateEn"), false);
    viewRange = ini.readInteger(QStringLiteral("task"), QStringLiteral("viewRange"), 0);
    if (viewRange < 0 || viewRange > 2)
        viewRange = 0;
    TwyTreeFrame::readViewSettings();
}

void TwyTasksFrame::reportCount(int count)
{
    m_host.setTaskCount(count);
}

void TwyTasksFrame::afterReload()
{
    UpdateTrayHint();
}

void TwyTasksFrame::UpdateTrayHint()
{
    m_host.setTrayHint(TrayHintText(taskStatements().incompleteContents(), m_host.hintSize()));
}
