#include "app/StandInFont.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFont>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>

namespace pelvaro {

namespace {

const QString kLayoutFamily = QStringLiteral("MS Sans Serif");
constexpr int kLayoutPointSize = 8;

// The room a control's style leaves for its caption.
int captionRoom(const QWidget& control) {
    QStyleOptionButton option;
    option.initFrom(&control);
    const auto contents = [&](QStyle::SubElement element) {
        return control.style()->subElementRect(element, &option, &control).width();
    };
    if (qobject_cast<const QPushButton*>(&control))
        return contents(QStyle::SE_PushButtonContents);
    if (qobject_cast<const QCheckBox*>(&control))
        return contents(QStyle::SE_CheckBoxContents);
    if (qobject_cast<const QRadioButton*>(&control))
        return contents(QStyle::SE_RadioButtonContents);
    return control.contentsRect().width();
}

} // namespace

void useStandInFont() {
    QFont::insertSubstitutions(kLayoutFamily, QStringList{QString::fromLatin1(kStandInFamily),
                                                          QStringLiteral("DejaVu Sans")});
}

QStringList cutOffCaptions(const QWidget& window) {
    QStringList cut;
    const auto check = [&](const QWidget& control, const QString& caption) {
        const int needed = control.fontMetrics().size(Qt::TextShowMnemonic, caption).width();
        const int room = captionRoom(control);
        if (!caption.trimmed().isEmpty() && needed > room)
            cut.append(QStringLiteral("%1 \"%2\" needs %3, has %4")
                           .arg(control.objectName(), caption)
                           .arg(needed)
                           .arg(room));
    };
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>())
        check(*button, button->text());
    for (const QLabel* label : window.findChildren<QLabel*>())
        if (!label->wordWrap() && label->pixmap().isNull())
            for (const QString& line : label->text().split(QLatin1Char('\n')))
                check(*label, line);
    return cut;
}

void fitCaptions(std::initializer_list<QWidget*> windows) {
    QFont layout(kLayoutFamily);
    layout.setPointSize(kLayoutPointSize);
    // Each size is applied and measured once; the smallest stays even if it cuts.
    const auto fits = [&](int pixels) {
        for (QWidget* window : windows) {
            QFont font = window->font();
            font.setPixelSize(pixels);
            window->setFont(font);
        }
        return std::ranges::all_of(
            windows, [](const QWidget* window) { return cutOffCaptions(*window).isEmpty(); });
    };
    for (int pixels = QFontInfo(layout).pixelSize(); !fits(pixels) && pixels > kSmallestPixelSize;)
        --pixels;
}

} // namespace pelvaro
