#include "MoveChooser.h"

#include "common/ItemTree.h"
#include "common/pU_Funcs.h"

#include <QAbstractListModel>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

class MoveChooser::Targets : public QAbstractListModel
{
public:
    explicit Targets(std::vector<ItemNode *> all, QObject *parent)
        : QAbstractListModel(parent), m_all(std::move(all)), m_shown(m_all)
    {}

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_shown.size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || size_t(index.row()) >= m_shown.size())
            return {};
        const QString &text = m_shown[size_t(index.row())]->info->content;
        if (role == Qt::DisplayRole)
            return FlattenLines(text);
        if (role == Qt::ToolTipRole)
            return text;
        return {};
    }

    // The targets whose text holds every word typed, in any case.
    void narrow(const QString &text)
    {
        const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        beginResetModel();
        m_shown.clear();
        for (ItemNode *node : m_all) {
            bool all = true;
            for (const QString &word : words)
                all = all && node->info->content.contains(word, Qt::CaseInsensitive);
            if (all)
                m_shown.push_back(node);
        }
        endResetModel();
    }

    ItemNode *at(int row) const
    {
        return row >= 0 && size_t(row) < m_shown.size() ? m_shown[size_t(row)] : nullptr;
    }

private:
    std::vector<ItemNode *> m_all;
    std::vector<ItemNode *> m_shown;
};

MoveChooser::MoveChooser(std::vector<ItemNode *> targets, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("MoveChooser"));
    setWindowTitle(QStringLiteral("Move To"));
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(QStringLiteral("&Find:"), this);
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("MoveChooserFilter"));
    m_filter->setPlaceholderText(QStringLiteral("Type to narrow the list"));
    m_filter->setClearButtonEnabled(true);
    label->setBuddy(m_filter);
    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("MoveChooserList"));
    m_list->setUniformItemSizes(true); // rows are not measured one by one
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_targets = new Targets(std::move(targets), this);
    m_list->setModel(m_targets);
    m_list->setAccessibleName(QStringLiteral("Targets"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    layout->addWidget(label);
    layout->addWidget(m_filter);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
    resize(420, 460);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_filter, &QLineEdit::textChanged, this, &MoveChooser::narrow);
    connect(m_list, &QListView::activated, this, [this] {
        if (chosen())
            accept();
    });
    // The selection model is made with the list's model: it is there now.
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { m_ok->setEnabled(chosen() != nullptr); });
    m_filter->installEventFilter(this);
    narrow(QString());
    m_filter->setFocus();
}

MoveChooser::~MoveChooser() = default;

ItemNode *MoveChooser::chosen() const
{
    return m_targets->at(m_list->currentIndex().row());
}

void MoveChooser::narrow(const QString &text)
{
    m_targets->narrow(text);
    if (m_targets->rowCount() > 0)
        m_list->setCurrentIndex(m_targets->index(0, 0));
    m_ok->setEnabled(chosen() != nullptr);
}

bool MoveChooser::eventFilter(QObject *object, QEvent *event)
{
    if (object == m_filter && event->type() == QEvent::KeyPress) {
        // The keys that move in the list work from the box where the user types.
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            QCoreApplication::sendEvent(m_list, event);
            return true;
        default:
            break;
        }
    }
    return QDialog::eventFilter(object, event);
}
