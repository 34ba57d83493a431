#include "Main_mem_pcsc.h"

#include "dialogs.h"
#include "ui_Main_mem_pcsc.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

TForm1::TForm1(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::TForm1>()), m_readerDetectTimer(new QTimer(this)),
      m_cardDetectTimer(new QTimer(this)), m_autoCmdTimer(new QTimer(this)), m_connection(*this),
      m_console(*this, m_connection) {
    m_ui->setupUi(this);
    // A sizeable frame with the system menu and minimise, but no maximise, button.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    m_readerDetectTimer->setObjectName(QStringLiteral("ReaderDetectTimer"));
    m_readerDetectTimer->setInterval(1000);
    m_cardDetectTimer->setObjectName(QStringLiteral("Timer_CardDetect"));
    m_cardDetectTimer->setInterval(100);
    m_autoCmdTimer->setObjectName(QStringLiteral("AutoCmdTimer"));
    m_autoCmdTimer->setInterval(200);

    connect(m_readerDetectTimer, &QTimer::timeout, this, &TForm1::ReaderDetectTimerTimer);
    // A pick from the list, also of the entry already chosen, and typing in the selector.
    connect(m_ui->ReaderComboBox, &QComboBox::activated, this, &TForm1::ReaderComboBoxChange);
    connect(m_ui->ReaderComboBox->lineEdit(), &QLineEdit::textEdited, this,
            &TForm1::ReaderComboBoxChange);
    connect(m_ui->CkeckLengthBitBtn, &QPushButton::clicked, this, &TForm1::CkeckLengthBitBtnClick);
    connect(m_ui->SendSmartCardBitBtn, &QPushButton::clicked, this,
            &TForm1::SendSmartCardBitBtnClick);
    connect(m_ui->ClearSmartCardRequestBitBtn, &QPushButton::clicked, this,
            &TForm1::ClearSmartCardRequestBitBtnClick);
    connect(m_ui->ClearSmartCardResponseBitBtn, &QPushButton::clicked, this,
            &TForm1::ClearSmartCardResponseBitBtnClick);

    // The listing timer runs from the moment the window exists.
    m_readerDetectTimer->start();
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::FormCreate() {
    m_connection.FormCreate();
}
void TForm1::FormClose() {
    m_connection.FormClose();
}
void TForm1::ReaderDetectTimerTimer() {
    m_connection.ReaderDetectFunc();
}
void TForm1::ReaderComboBoxChange() {
    m_connection.ReaderComboBoxChange();
}
void TForm1::CkeckLengthBitBtnClick() {
    m_console.CkeckLengthBitBtnClick();
}
void TForm1::SendSmartCardBitBtnClick() {
    m_console.SendSmartCardBitBtnClick();
}
void TForm1::ClearSmartCardRequestBitBtnClick() {
    m_console.ClearSmartCardRequestBitBtnClick();
}
void TForm1::ClearSmartCardResponseBitBtnClick() {
    m_console.ClearSmartCardResponseBitBtnClick();
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TForm1::showEvent(QShowEvent* event) {
    // Centred on the screen when it first shows.
    if (!m_centred) {
        m_centred = true;
        if (const QScreen* screen = this->screen()) {
            move(screen->availableGeometry().center() - rect().center());
        }
    }
    QWidget::showEvent(event);
}

void TForm1::setStatus(const std::string& text) {
    m_ui->CurrentStateEdit->setText(QString::fromStdString(text));
}

void TForm1::showMessage(const std::string& text) {
    tessary::showMessage(QString::fromStdString(text));
}

void TForm1::appendReader(const std::string& name) {
    // Appending must not count as a pick.
    const QSignalBlocker block(m_ui->ReaderComboBox);
    const QString text = m_ui->ReaderComboBox->currentText();
    m_ui->ReaderComboBox->addItem(QString::fromStdString(name));
    m_ui->ReaderComboBox->setCurrentIndex(-1);
    m_ui->ReaderComboBox->setEditText(text);
}

std::string TForm1::readerText() const {
    return m_ui->ReaderComboBox->currentText().toStdString();
}

int TForm1::readerIndex() const {
    // A text typed over the entry counts as no selection, as it does in the design.
    const int index = m_ui->ReaderComboBox->currentIndex();
    if (index < 0 || m_ui->ReaderComboBox->itemText(index) != m_ui->ReaderComboBox->currentText()) {
        return -1;
    }
    return index;
}

void TForm1::clearLog() {
    m_ui->LogSmartCardRichEdit->clear();
}

void TForm1::insertLogLineAtTop(const std::string& line) {
    m_ui->LogSmartCardRichEdit->insertLineAtTop(QString::fromStdString(line));
}

bool TForm1::cardDetectTicked() const {
    return m_ui->CB_CardDetect->isChecked();
}

int TForm1::connectModeIndex() const {
    return m_ui->RGConnectMode->itemIndex();
}

void TForm1::setReaderDetectTimer(bool running) {
    running ? m_readerDetectTimer->start() : m_readerDetectTimer->stop();
}

void TForm1::setCardDetectTimer(bool running) {
    running ? m_cardDetectTimer->start() : m_cardDetectTimer->stop();
}

void TForm1::hideMemoryCardTabs() {
    QTabWidget* pages = m_ui->MemCardPageControl;
    pages->setTabVisible(pages->indexOf(m_ui->TabSheetSLE4428), false);
    pages->setTabVisible(pages->indexOf(m_ui->TabSheetSLE4442), false);
}

void TForm1::showPanels() {
    m_ui->Panel_LED_BZ->show();
    m_ui->MemCardPageControl->show();
}

void TForm1::setMaxLengthCaption(const std::string& caption) {
    m_ui->Label_Max_Length->setText(QString::fromStdString(caption));
}

std::string TForm1::requestText() const {
    // A line break takes the two positions of CR LF in the request's positional rules.
    QString text = m_ui->RequestSmartCardRichEdit->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text.toStdString();
}

void TForm1::clearRequest() {
    m_ui->RequestSmartCardRichEdit->clear();
}

void TForm1::setLengthField(const std::string& text) {
    // Three positions: what does not fit is not kept.
    m_ui->LengthSmartCardMaskEdit->setText(QString::fromStdString(text).left(3));
}

std::string TForm1::lengthField() const {
    // The blanks of the mask show as its blank character.
    QString shown = m_ui->LengthSmartCardMaskEdit->displayText();
    shown.replace(QLatin1Char('_'), QLatin1Char(' '));
    return shown.toStdString();
}

void TForm1::setCheckLength(const std::string& text) {
    m_ui->CheckLengthMaskEdit->setText(QString::fromStdString(text));
}

std::string TForm1::checkLength() const {
    return m_ui->CheckLengthMaskEdit->text().toStdString();
}

void TForm1::appendLogLine(const std::string& line) {
    m_ui->LogSmartCardRichEdit->appendLine(QString::fromStdString(line));
}

void TForm1::enableAdd() {
    m_ui->AddCmdBitBtn->setEnabled(true);
}

void TForm1::showConversionError(const std::string& text) {
    tessary::showErrorBox(QString::fromStdString(text));
}
