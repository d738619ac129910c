// qr_code::image: the pairing address as a QR image, ready to be scaled down without smoothing.
#pragma once

#include <QImage>
#include <optional>
#include <string>

#include "phone/qr_code.h"

namespace brimwick::qr_code {

// The QR code of the text's UTF-8 bytes (level M, see qr_code::matrix): black modules of
// kPixelsPerModule × kPixelsPerModule pixels on white, with a white quiet zone of kQuietZone
// modules around them. Nothing when the text cannot be encoded. GUI thread, like all QImage
// painting here.
std::optional<QImage> image(const std::string& text);

}  // namespace brimwick::qr_code
