#pragma once

#include "engine/display.h"

#include <QColor>
#include <QPalette>

namespace qarn3 {

// The platform colours of the readings and status.
inline QColor toQColor(Colour c) {
    switch (c) {
    case Colour::Red:
        return QColor(255, 0, 0);
    case Colour::Green:
        return QColor(0, 128, 0);
    case Colour::Lime:
        return QColor(0, 255, 0);
    case Colour::Yellow:
        return QColor(255, 255, 0);
    case Colour::Blue:
        return QColor(0, 0, 255);
    case Colour::ButtonFace:
        break;
    }
    return QPalette().color(QPalette::Button);
}

} // namespace qarn3
