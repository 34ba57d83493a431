// SPDX-License-Identifier: BSD-3-Clause
// A radio group with an item index, as the window description uses them: a group box of
// radio buttons laid out in columns, index -1 when none is chosen.
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

class RadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList items READ items WRITE setItems)
    Q_PROPERTY(int columns READ columns WRITE setColumns)
    Q_PROPERTY(int itemIndex READ itemIndex WRITE setItemIndex NOTIFY itemIndexChanged)

public:
    explicit RadioGroup(QWidget* parent = nullptr);

    QStringList items() const { return m_items; }
    void setItems(const QStringList& items);
    int columns() const { return m_columns; }
    void setColumns(int columns);
    int itemIndex() const;
    void setItemIndex(int index);

signals:
    void itemIndexChanged(int index);

private:
    void rebuild();

    QStringList m_items;
    int m_columns = 1;
    int m_index = -1; // kept for items that come later
    QButtonGroup m_group;
};
