// Dialog units, converted to pixels the way the Windows dialog manager does
// it, so the templates keep their proportions with any font: a horizontal
// unit is a quarter of the dialog font's average character width, a
// vertical unit an eighth of its height. The average width is that of the
// 52 letters A-Z a-z divided by 52, rounded.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    DialogUnits(int base_x, int base_y) : base_x_(base_x), base_y_(base_y) {}

    // The average character width and the character height, in pixels.
    int base_x() const { return base_x_; }
    int base_y() const { return base_y_; }

    int x_to_pixels(int units) const;
    int y_to_pixels(int units) const;
    QRect to_pixels(int x, int y, int width, int height) const;
    QSize to_pixels(int width, int height) const;

    // The nearest dialog units of a pixel distance; undoes the conversion
    // above exactly whenever a unit is at least one pixel.
    int x_to_units(int pixels) const;
    int y_to_units(int pixels) const;

private:
    int base_x_;
    int base_y_;
};
