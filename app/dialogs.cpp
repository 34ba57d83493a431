#include "dialogs.h"

#include <QMessageBox>

namespace tessary {
namespace {

void show(QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, QStringLiteral("Tallix"), text, QMessageBox::Ok);
    box.exec();
}

} // namespace

void showMessage(const QString& text) {
    show(QMessageBox::NoIcon, text);
}

void showErrorBox(const QString& text) {
    show(QMessageBox::Critical, text);
}

} // namespace tessary
