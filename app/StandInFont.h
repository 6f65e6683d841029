#pragma once

#include <QString>
#include <QStringList>
#include <initializer_list>

class QWidget;

namespace pelvaro {

// The family that stands in for the layouts' "MS Sans Serif", which Linux
// does not have: metric-compatible with the usual sans serif of Windows.
inline constexpr char kStandInFamily[] = "Liberation Sans";
// Below this a caption is too small to read; it is then cut off instead.
inline constexpr int kSmallestPixelSize = 9;

// Makes every "MS Sans Serif" of the layouts the stand-in; before any
// window is made.
void useStandInFont();

// The captions of a window's buttons, check boxes and one-line labels that
// the control's room cuts off, each as "name "caption" needs n, has m".
QStringList cutOffCaptions(const QWidget& window);

// Sets the windows' stand-in to the largest pixel size, up to the one of
// 8 points, at which every caption fits its control as laid out; the
// controls keep their geometry.
void fitCaptions(std::initializer_list<QWidget*> windows);

} // namespace pelvaro
