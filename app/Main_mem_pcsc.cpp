// SPDX-License-Identifier: BSD-3-Clause
#include "Main_mem_pcsc.h"

#include "dialogs.h"
#include "exit_filter.h"
#include "ui_Main_mem_pcsc.h"
#include "ui_sle4428_page.h"
#include "ui_sle4442_page.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

namespace {

std::string localName(const QString& fileName) {
    return QFile::encodeName(fileName).toStdString();
}

} // namespace

TForm1::TForm1(QWidget* parent) : TForm1(tessary::LibraryCordrel(), parent) {}

TForm1::TForm1(const tessary::CordrelBindings& cordrel, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::TForm1>()), m_readerDetectTimer(new QTimer(this)),
      m_cardDetectTimer(new QTimer(this)), m_autoCmdTimer(new QTimer(this)), m_connection(*this),
      m_consoleView(*m_ui), m_console(m_consoleView, m_connection),
      m_queueView(*m_ui, *m_autoCmdTimer), m_queue(m_queueView, m_consoleView),
      m_run(m_queueView, m_queue, m_console), m_ledView(*m_ui),
      m_led(m_ledView, m_consoleView, m_queueView),
      m_memCards(m_memCardView, m_connection, cordrel), m_cardDetect(*this, m_connection) {
    m_ui->setupUi(this);
    m_memCardView.setUp(m_ui->TabSheetSLE4442, m_ui->TabSheetSLE4428, m_ui->CurrentStateEdit);
    // A sizeable frame with the system menu and minimise, but no maximise, button.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    m_ui->Image1->setPixmap(style()->standardIcon(QStyle::SP_MediaVolume).pixmap(32, 32));

    m_readerDetectTimer->setObjectName(QStringLiteral("ReaderDetectTimer"));
    m_readerDetectTimer->setInterval(1000);
    m_cardDetectTimer->setObjectName(QStringLiteral("Timer_CardDetect"));
    m_cardDetectTimer->setInterval(100);
    // Ten attempts a second: a coarse timer may run up to 5 % slow.
    m_cardDetectTimer->setTimerType(Qt::PreciseTimer);
    m_autoCmdTimer->setObjectName(QStringLiteral("AutoCmdTimer"));
    m_autoCmdTimer->setInterval(200);
    // Steps of 10 ms need the timer to keep time.
    m_autoCmdTimer->setTimerType(Qt::PreciseTimer);
    m_console.setRunStarter(&m_run);

    connect(m_readerDetectTimer, &QTimer::timeout, this, &TForm1::ReaderDetectTimerTimer);
    connect(m_ui->CB_CardDetect, &QCheckBox::toggled, this, &TForm1::CB_CardDetectClick);
    connect(m_cardDetectTimer, &QTimer::timeout, this, &TForm1::Timer_CardDetectTimer);
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

    connect(m_ui->AddCmdBitBtn, &QPushButton::clicked, this, &TForm1::AddCmdBitBtnClick);
    // A click on a name, or the selection moved with the keys.
    connect(m_ui->CmdListBox, &QListWidget::currentRowChanged, this, &TForm1::CmdListBoxClick);
    connect(m_ui->CmdListBox, &QListWidget::itemClicked, this, &TForm1::CmdListBoxClick);
    connect(m_ui->SaveCmdBitBtn, &QPushButton::clicked, this, &TForm1::SaveCmdBitBtnClick);
    connect(m_ui->LoadCmdBitBtn, &QPushButton::clicked, this, &TForm1::LoadCmdBitBtnClick);
    connect(m_ui->RGRunMode, &RadioGroup::itemIndexChanged, this, &TForm1::RGRunModeClick);
    ExitFilter::install(m_ui->EditCmdInterval, [this] { EditCmdIntervalExit(); });
    connect(m_autoCmdTimer, &QTimer::timeout, this, &TForm1::AutoCmdTimerTimer);

    connect(m_ui->BitBtn_CommonCmd, &QPushButton::clicked, this, &TForm1::BitBtn_CommonCmdClick);
    connect(m_ui->cbBuzzer, &QCheckBox::toggled, this, &TForm1::cbBuzzerClick);
    ExitFilter::install(m_ui->EditOnDuty, [this] { EditOnDutyExit(); });
    ExitFilter::install(m_ui->EditOffDuty, [this] { EditOffDutyExit(); });
    ExitFilter::install(m_ui->EditRepetition, [this] { EditRepetitionExit(); });
    wireMemoryCardPages();

    // The listing timer runs from the moment the window exists.
    m_readerDetectTimer->start();
    FormCreate();
}

TForm1::~TForm1() {
    // A window destroyed without being closed leaves nothing open either.
    if (!m_closed) {
        m_closed = true;
        FormClose();
    }
}

void TForm1::wireMemoryCardPages() {
    Ui::Sle4442Page& a = m_memCardView.sle4442();
    Ui::Sle4428Page& b = m_memCardView.sle4428();
    connect(a.Check3242RadioGroup, &RadioGroup::itemIndexChanged, this,
            &TForm1::Check3242RadioGroupClick);
    connect(b.Check1828RadioGroup, &RadioGroup::itemIndexChanged, this,
            &TForm1::Check1828RadioGroupClick);
    connect(a.SLE4432CheckBox, &QCheckBox::clicked, this, &TForm1::SLE4432CheckBoxClick);
    connect(b.SLE4418CheckBox, &QCheckBox::clicked, this, &TForm1::SLE4418CheckBoxClick);
    for (uint16_t tag = 0; tag < tessary::kMemCardOperationCount; ++tag) {
        connect(m_memCardView.operationButton(tag), &QPushButton::clicked, this,
                [this, tag] { BitBtn4442Click(tag); });
    }
    connect(a.SendBitBtn, &QPushButton::clicked, this, &TForm1::SendBitBtnClick);
    connect(b.SendSle2818BitBtn, &QPushButton::clicked, this, &TForm1::SendSle2818BitBtnClick);
    connect(a.ClearBitBtn, &QPushButton::clicked, this, &TForm1::ClearBitBtnClick);
    connect(b.ClearSle1828BitBtn, &QPushButton::clicked, this, &TForm1::ClearSle1828BitBtnClick);
}

void TForm1::showMemoryCardTabs() {
    QTabWidget* pages = m_ui->MemCardPageControl;
    pages->setTabVisible(pages->indexOf(m_ui->TabSheetSLE4428), true);
    pages->setTabVisible(pages->indexOf(m_ui->TabSheetSLE4442), true);
}

void TForm1::FormCreate() {
    m_connection.FormCreate();
}
void TForm1::FormClose() {
    m_connection.FormClose();
}
void TForm1::ReaderDetectTimerTimer() {
    if (!tessary::modalOpen()) {
        m_connection.ReaderDetectFunc();
    }
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

void TForm1::AddCmdBitBtnClick() {
    m_queue.AddCmdBitBtnClick();
}
void TForm1::CmdListBoxClick() {
    m_queue.CmdListBoxClick();
}

QFileDialog* TForm1::cmdDialog(bool save) {
    QFileDialog*& dialog = save ? m_saveCmdDialog : m_openCmdDialog;
    if (dialog == nullptr) {
        // Made at first use: a file dialog is slow to build, and most runs need none.
        dialog = new QFileDialog(this, save ? QStringLiteral("Save script file")
                                            : QStringLiteral("Load script file"));
        dialog->setObjectName(save ? QStringLiteral("SaveCmdDialog")
                                   : QStringLiteral("OpenCmdDialog"));
        // No default extension, no question before replacing a file, and a name that
        // need not exist: loading a missing file says so itself.
        dialog->setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite |
                           QFileDialog::HideNameFilterDetails);
        dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setNameFilter(QStringLiteral("(*.txt Files) (*.txt)"));
        connect(dialog, &QFileDialog::fileSelected, this,
                save ? &TForm1::SaveCmdDialogCanClose : &TForm1::OpenCmdDialogCanClose);
    }
    return dialog;
}

void TForm1::SaveCmdBitBtnClick() {
    SaveCmdDialogClose(tessary::execFileDialog(*cmdDialog(true)));
}
void TForm1::LoadCmdBitBtnClick() {
    OpenCmdDialogClose(tessary::execFileDialog(*cmdDialog(false)));
}
void TForm1::SaveCmdDialogCanClose(const QString& fileName) {
    m_saveFileName = fileName;
}
void TForm1::OpenCmdDialogCanClose(const QString& fileName) {
    m_openFileName = fileName;
}
void TForm1::SaveCmdDialogClose(bool confirmed) {
    if (confirmed) {
        m_queue.Save(localName(m_saveFileName));
    }
}
void TForm1::OpenCmdDialogClose(bool confirmed) {
    if (confirmed) {
        m_queue.Load(localName(m_openFileName));
    }
}

void TForm1::RGRunModeClick() {
    m_run.RGRunModeClick();
}
void TForm1::EditCmdIntervalExit() {
    m_run.EditCmdIntervalExit();
}
void TForm1::AutoCmdTimerTimer() {
    // A tick that falls due under a box is skipped.
    if (!tessary::modalOpen()) {
        m_run.AutoCmdTimerTimer();
    }
}

void TForm1::BitBtn_CommonCmdClick() {
    m_led.BitBtn_CommonCmdClick();
}
void TForm1::cbBuzzerClick() {
    m_led.cbBuzzerClick();
}
void TForm1::EditOnDutyExit() {
    m_led.EditOnDutyExit();
}
void TForm1::EditOffDutyExit() {
    m_led.EditOffDutyExit();
}
void TForm1::EditRepetitionExit() {
    m_led.EditRepetitionExit();
}

void TForm1::Check3242RadioGroupClick() {
    m_memCards.Check3242RadioGroupClick();
}
void TForm1::Check1828RadioGroupClick() {
    m_memCards.Check1828RadioGroupClick();
}
void TForm1::SLE4432CheckBoxClick() {
    m_memCards.SLE4432CheckBoxClick();
}
void TForm1::SLE4418CheckBoxClick() {
    m_memCards.SLE4418CheckBoxClick();
}
void TForm1::BitBtn4442Click(uint16_t tag) {
    m_memCards.BitBtn4442Click(tag);
}
void TForm1::SendBitBtnClick() {
    m_memCards.SendBitBtnClick();
}
void TForm1::SendSle2818BitBtnClick() {
    m_memCards.SendSle2818BitBtnClick();
}
void TForm1::ClearBitBtnClick() {
    m_memCards.ClearBitBtnClick();
}
void TForm1::ClearSle1828BitBtnClick() {
    m_memCards.ClearSle1828BitBtnClick();
}

void TForm1::CB_CardDetectClick() {
    m_cardDetect.CB_CardDetectClick();
}
void TForm1::Timer_CardDetectTimer() {
    // A tick that falls due under a box of an attempt is skipped.
    if (!tessary::modalOpen()) {
        m_cardDetect.Timer_CardDetectTimer();
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    m_closed = true;
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
    // A text typed over the entry counts as no selection.
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

void TForm1::setDetectInputEnabled(bool enabled) {
    m_ui->Panel4->setEnabled(enabled);
    m_ui->MemCardPageControl->setEnabled(enabled);
}

bool TForm1::processPendingEvents() {
    QApplication::processEvents();
    return !m_closed;
}
