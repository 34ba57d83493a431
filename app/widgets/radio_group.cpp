// SPDX-License-Identifier: BSD-3-Clause
#include "radio_group.h"

#include <QGridLayout>
#include <QRadioButton>

RadioGroup::RadioGroup(QWidget* parent) : QGroupBox(parent) {
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    connect(&m_group, &QButtonGroup::idClicked, this, [this](int index) {
        m_index = index;
        emit itemIndexChanged(index);
    });
}

void RadioGroup::setItems(const QStringList& items) {
    m_items = items;
    rebuild();
}

void RadioGroup::setColumns(int columns) {
    m_columns = columns < 1 ? 1 : columns;
    rebuild();
}

int RadioGroup::itemIndex() const {
    return m_group.checkedId();
}

void RadioGroup::setItemIndex(int index) {
    m_index = index;
    if (QAbstractButton* button = m_group.button(index)) {
        button->setChecked(true);
    } else if (QAbstractButton* checked = m_group.checkedButton()) {
        // No exclusive group lets its last button go unchecked by itself.
        m_group.setExclusive(false);
        checked->setChecked(false);
        m_group.setExclusive(true);
    }
}

void RadioGroup::rebuild() {
    for (QAbstractButton* button : m_group.buttons()) {
        m_group.removeButton(button);
        delete button;
    }
    auto* grid = static_cast<QGridLayout*>(layout());
    const int rows = (static_cast<int>(m_items.size()) + m_columns - 1) / m_columns;
    for (int i = 0; i < m_items.size(); ++i) {
        auto* button = new QRadioButton(m_items[i], this);
        button->setObjectName(QStringLiteral("%1Item%2").arg(objectName()).arg(i));
        m_group.addButton(button, i);
        // Items run down each column, then on to the next, as in the designed groups.
        grid->addWidget(button, rows == 0 ? 0 : i % rows, rows == 0 ? 0 : i / rows);
    }
    setItemIndex(m_index);
}
