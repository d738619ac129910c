// Gaussian-like blur for the glow layers behind highlighted strokes.
#pragma once

#include <QImage>

namespace brimwick {

// Blurs `image` in place with a Gaussian of standard deviation `sigma` pixels, approximated by
// three box blurs per direction. Pixels beyond the edges count as transparent. Alpha8 images
// (the cheap choice for one-colour glows) and premultiplied ARGB32 are blurred as they are;
// other formats are converted to premultiplied ARGB32 first. Nothing happens when sigma < 0.5
// or the image is empty.
void blurImage(QImage& image, double sigma);

}  // namespace brimwick
