// SPDX-License-Identifier: BSD-3-Clause
#include "exit_filter.h"

#include <QFocusEvent>
#include <QWidget>

ExitFilter::ExitFilter(QWidget* field, std::function<void()> handler)
    : QObject(field), m_handler(std::move(handler)) {}

void ExitFilter::install(QWidget* field, std::function<void()> handler) {
    field->installEventFilter(new ExitFilter(field, std::move(handler)));
}

bool ExitFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            QMetaObject::invokeMethod(this, m_handler, Qt::QueuedConnection);
        }
    }
    return QObject::eventFilter(watched, event);
}
