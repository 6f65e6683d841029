// Every caption of the windows fits its control as laid out, with the font
// that stands in for the layouts' "MS Sans Serif".

#include "app/StandInFont.h"
#include "tests/app/ProgramFixture.h"

#include <QFontInfo>

namespace pelvaro {
namespace {

class CaptionFitTest : public test::ProgramFixture {};

TEST_F(CaptionFitTest, EveryCaptionFitsItsControlInAReadableSize) {
    start();
    const QFontInfo font(window().font());
    EXPECT_EQ(font.family(), kStandInFamily);
    EXPECT_GE(font.pixelSize(), 10);
    for (const QWidget* each : std::initializer_list<const QWidget*>{
             &window(), &windows->settings, &windows->delivery, &windows->personnelServer,
             &windows->labelPrompt, &windows->updateInfo, &windows->info}) {
        EXPECT_EQ(cutOffCaptions(*each), QStringList()) << each->objectName().toStdString();
        EXPECT_EQ(QFontInfo(each->font()).pixelSize(), font.pixelSize()) << "one size for all";
    }
    EXPECT_EQ(ui().ButtonExport->size(), QSize(137, 25)) << "no control changes its geometry";
}

} // namespace
} // namespace pelvaro
