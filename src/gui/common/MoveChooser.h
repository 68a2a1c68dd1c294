// The chooser of a Move-to target for a list with more targets than a menu shows well: every
// target in a list that scrolls, narrowed by what is typed above it.
#pragma once

#include <QDialog>

#include <vector>

class ItemNode;
class QLineEdit;
class QListView;

class MoveChooser : public QDialog
{
    Q_OBJECT
public:
    // targets: the items the selection may move under, in tree order.
    MoveChooser(std::vector<ItemNode *> targets, QWidget *parent);
    ~MoveChooser() override;

    // The target chosen with OK (or Enter, or a double click); null before.
    ItemNode *chosen() const;
    QLineEdit *filterBox() const { return m_filter; }
    QListView *list() const { return m_list; }

protected:
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    class Targets;
    void narrow(const QString &text);
    Targets *m_targets = nullptr;
    QLineEdit *m_filter = nullptr;
    QListView *m_list = nullptr;
    QWidget *m_ok = nullptr;
};
