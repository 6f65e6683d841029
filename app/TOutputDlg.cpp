#include "app/TOutputDlg.h"

#include "forms/ui_TOutputDlg.h"
#include "keyboard/KeystrokeInjector.h"
#include "text/LocalClock.h"

#include <QMenu>
#include <array>

namespace pelvaro {

namespace {

struct Placeholder {
    const char* text;
    const char* meaning;
};

constexpr std::array<Placeholder, 11> kPlaceholders = {{
    {"{code}", "Code oder Personalnummer, wie bisher getippt"},
    {"{hex}", "Code wie gelesen (hexadezimal)"},
    {"{rhex}", "Code mit umgekehrter Bytefolge"},
    {"{dec}", "ganzer Code als Dezimalzahl"},
    {"{dec10}", "letzte 4 Bytes, 10 Dezimalstellen"},
    {"{w26}", "Wiegand 26: Anlage,Kartennummer"},
    {"{pnr}", "Personalnummer"},
    {"{date}", "Datum (JJJJ-MM-TT)"},
    {"{time}", "Uhrzeit (HH:MM:SS)"},
    {"{tab}", "Tabulatortaste"},
    {"{enter}", "Eingabetaste"},
}};

// The keys as the preview shows them.
QString visibleKeys(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace(QChar(kTabKey), QStringLiteral("⇥"));
    shown.replace(QChar(kEnterKey), QStringLiteral("↵"));
    return shown;
}

} // namespace

TOutputDlg::TOutputDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui(std::make_unique<Ui::TOutputDlg>()) {
    ui->setupUi(this);
    setFixedSize(size());
    auto* placeholders = new QMenu(this);
    for (const Placeholder& placeholder : kPlaceholders) {
        const QString text = QString::fromLatin1(placeholder.text);
        placeholders->addAction(text + QStringLiteral("  ") +
                                    QString::fromUtf8(placeholder.meaning),
                                this, [this, text] { insertPlaceholder(text); });
    }
    ui->ButtonPlaceholders->setMenu(placeholders);
    connect(ui->EditTemplate, &QLineEdit::textChanged, this, &TOutputDlg::EditTemplateChange);
}

TOutputDlg::~TOutputDlg() = default;

void TOutputDlg::fill(const OutputSettings& settings, PreviewCard card) {
    card_ = std::move(card);
    ui->EditTemplate->setText(QString::fromStdString(settings.templateText));
    ui->UpDownRepeatGuard->setValue(settings.repeatGuardSeconds);
    ui->CheckBoxLog->setChecked(settings.log);
    EditTemplateChange(); // also when the text stayed the same
    ui->EditTemplate->setFocus();
}

OutputSettings TOutputDlg::settings() const {
    OutputSettings settings;
    settings.templateText = ui->EditTemplate->text().toStdString();
    settings.repeatGuardSeconds = ui->UpDownRepeatGuard->value();
    settings.log = ui->CheckBoxLog->isChecked();
    return settings;
}

void TOutputDlg::EditTemplateChange() {
    const auto [parsed, problem] = OutputTemplate::parse(ui->EditTemplate->text().toStdString());
    ui->BitBtn1->setEnabled(parsed.has_value());
    ui->LabelTemplateError->setText(QString::fromStdString(templateProblemText(problem)));
    if (!parsed) {
        ui->LabelPreview->clear();
        return;
    }
    const std::string text =
        parsed->render({card_.code, card_.substitute, card_.lookup, localTimeNow()}) +
        (card_.enter ? std::string(1, static_cast<char>(kEnterKey)) : std::string());
    ui->LabelPreview->setText(visibleKeys(text));
}

void TOutputDlg::insertPlaceholder(const QString& placeholder) {
    ui->EditTemplate->insert(placeholder);
    ui->EditTemplate->setFocus();
}

} // namespace pelvaro
