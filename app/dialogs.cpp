#include "dialogs.h"

#include <QMessageBox>

namespace tessary {
namespace {

int g_openModals = 0; // the user-interface thread's only

void show(QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, QStringLiteral("Tallix"), text, QMessageBox::Ok);
    const ModalScope open;
    box.exec();
}

} // namespace

void showMessage(const QString& text) {
    show(QMessageBox::NoIcon, text);
}

void showErrorBox(const QString& text) {
    show(QMessageBox::Critical, text);
}

bool modalOpen() {
    return g_openModals > 0;
}

ModalScope::ModalScope() {
    ++g_openModals;
}

ModalScope::~ModalScope() {
    --g_openModals;
}

} // namespace tessary
