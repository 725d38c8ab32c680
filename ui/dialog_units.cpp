#include "ui/dialog_units.h"

#include <QFontMetrics>
#include <QString>

namespace {

// a * b / c rounded to the nearest integer, halves away from zero, like
// the Windows MulDiv the dialog manager uses.
int mul_div(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // The same rounding as the Windows character-dimension routine.
    base_x_ = (letters / 26 + 1) / 2;
    base_y_ = metrics.height();
    if (base_x_ < 1) {
        base_x_ = 1;
    }
    if (base_y_ < 1) {
        base_y_ = 1;
    }
}

int DialogUnits::x_to_pixels(int units) const {
    return mul_div(units, base_x_, 4);
}

int DialogUnits::y_to_pixels(int units) const {
    return mul_div(units, base_y_, 8);
}

QRect DialogUnits::to_pixels(int x, int y, int width, int height) const {
    return QRect(x_to_pixels(x), y_to_pixels(y), x_to_pixels(width), y_to_pixels(height));
}

QSize DialogUnits::to_pixels(int width, int height) const {
    return QSize(x_to_pixels(width), y_to_pixels(height));
}

int DialogUnits::x_to_units(int pixels) const {
    return mul_div(pixels, 4, base_x_);
}

int DialogUnits::y_to_units(int pixels) const {
    return mul_div(pixels, 8, base_y_);
}
