// The application's icon: the maker's brand mark as a badge (dark cell, light inside, dark
// letter) that reads on light and dark backgrounds, as a picture and as SVG for the desktop.
#pragma once

#include <QImage>
#include <QString>

namespace brimwick {

// The icon at `pixels` × `pixels`, transparent around the cell. Pure drawing; any thread that
// may paint QImages.
QImage appIconImage(int pixels);

// The same drawing as an SVG document in the mark's 100-unit design square.
QString appIconSvg();

}  // namespace brimwick
