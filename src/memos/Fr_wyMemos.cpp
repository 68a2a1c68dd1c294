#include "Fr_wyMemos.h"

#include "common/Texts.h"
#include "storage/Statements.h"

#include <QTreeView>

TwyMemosFrame::TwyMemosFrame(FrameHost &host, QWidget *parent)
    : TwyTreeFrame(host,
                   FrameConfig{QStringLiteral("memo"), QStringLiteral("privateMemos"),
                               QStringLiteral("publicMemos"), Texts::MemoTreeHint},
                   new ItemTreeModel, std::make_unique<MemoStatements>(host.database()), parent)
{
    setObjectName(QStringLiteral("wyMemosFrame"));
    m_tree->setObjectName(QStringLiteral("VtMemos"));
}

void TwyMemosFrame::reportCount(int count)
{
    m_host.setMemoCount(count);
}
