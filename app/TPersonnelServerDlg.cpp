#include "app/TPersonnelServerDlg.h"

#include "forms/ui_TPersonnelServerDlg.h"

#include <QSysInfo>
#include <QThread>

namespace pelvaro {

namespace {

const QString kPasswordInUri =
    QStringLiteral("Das Passwort gehört nicht in die Adresse, sondern in die Passwortdatei.");

QString checkText(const ServerCheck& check) {
    if (!check.result.ok())
        return QStringLiteral("Fehlgeschlagen: ") + QString::fromStdString(check.result.message);
    const QString rows = check.rows == 1 ? QStringLiteral("1 Eintrag")
                                         : QStringLiteral("%1 Einträge").arg(check.rows);
    return QStringLiteral("Verbindung in Ordnung, %1 in der Tabelle %2. ")
               .arg(rows, QString::fromLatin1(kServerTable)) +
           (check.mayEdit ? QStringLiteral("Bearbeiten ist erlaubt.")
                          : QStringLiteral("Nur Lesen: es fehlt das Recht zu ändern "
                                           "(INSERT, UPDATE, DELETE)."));
}

} // namespace

std::string stationFor(const PersonnelServerSettings& settings) {
    return settings.station.empty() ? QSysInfo::machineHostName().toStdString() : settings.station;
}

TPersonnelServerDlg::TPersonnelServerDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui(std::make_unique<Ui::TPersonnelServerDlg>()) {
    ui->setupUi(this);
    setFixedSize(size());
    ui->EditStation->setPlaceholderText(QSysInfo::machineHostName());
    connect(ui->ButtonCheck, &QPushButton::clicked, this, &TPersonnelServerDlg::ButtonCheckClick);
    connect(ui->EditServer, &QLineEdit::textChanged, this, &TPersonnelServerDlg::enableControls);
    enableControls();
}

TPersonnelServerDlg::~TPersonnelServerDlg() {
    if (checking_)
        checking_->wait();
}

void TPersonnelServerDlg::setLibrary(std::shared_ptr<const PqLibrary> pq,
                                     const QString& unavailable) {
    pq_ = std::move(pq);
    ui->LabelUnavailable->setText(pq_ ? QString() : unavailable);
    enableControls();
}

void TPersonnelServerDlg::fill(const PersonnelServerSettings& settings) {
    ui->EditServer->setText(QString::fromStdString(settings.server));
    ui->EditStation->setText(QString::fromStdString(settings.station));
    ui->LabelCheck->clear();
    enableControls();
}

PersonnelServerSettings TPersonnelServerDlg::settings() const {
    return {ui->EditServer->text().trimmed().toStdString(),
            ui->EditStation->text().trimmed().toStdString()};
}

void TPersonnelServerDlg::accept() {
    if (connectionNamesPassword(settings().server)) {
        ui->LabelCheck->setText(kPasswordInUri);
        ui->EditServer->setFocus();
        return;
    }
    QDialog::accept();
}

void TPersonnelServerDlg::enableControls() {
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui->EditServer, ui->EditStation, ui->LabelServer, ui->LabelStation, ui->LabelPassword})
        control->setEnabled(pq_ != nullptr);
    ui->ButtonCheck->setEnabled(pq_ && !checking_ && !settings().server.empty());
}

void TPersonnelServerDlg::ButtonCheckClick() {
    const PersonnelServerSettings target = settings();
    if (!pq_ || checking_ || !target.enabled())
        return;
    if (connectionNamesPassword(target.server)) {
        ui->LabelCheck->setText(kPasswordInUri);
        return;
    }
    ui->LabelCheck->setText(QStringLiteral("Prüfe die Verbindung …"));
    // Connecting may take up to libpq's time-out: never on the window's thread.
    checking_.reset(QThread::create([this, target, pq = pq_] {
        PersonnelServer server(pq, target.server, stationFor(target));
        checkResult_ = server.check();
    }));
    connect(checking_.get(), &QThread::finished, this, &TPersonnelServerDlg::showCheckResult);
    checking_->start();
    enableControls();
}

void TPersonnelServerDlg::showCheckResult() {
    checking_->wait();
    checking_.reset();
    ui->LabelCheck->setText(checkText(checkResult_));
    enableControls();
}

} // namespace pelvaro
