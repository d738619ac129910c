// Gaussian-like blur for the glow layers behind highlighted strokes.
#pragma once

#include <QImage>

namespace brimwick {

// Blurs `image` in place with a Gaussian of standard deviation `sigma` pixels, approximated by
// three box blurs per direction. Pixels beyond the edges count as transparent. The image is
// converted to premultiplied ARGB32 first when it is in another format; nothing happens when
// sigma < 0.5 or the image is empty.
void blurImage(QImage& image, double sigma);

}  // namespace brimwick
